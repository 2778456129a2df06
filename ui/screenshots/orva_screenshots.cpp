// Saves pictures of ORVA's windows for review: `orva-screenshots OUTDIR FILE...` builds the
// program's windows exactly as `orva` does, adds FILEs to the list, and writes one PNG per
// scene into OUTDIR. Run under a real display server (scripts/screenshots uses xvfb-run).

#include "ui/about_dialog.h"
#include "ui/application.h"
#include "ui/forms.h"
#include "ui/help.h"
#include "ui/main_window.h"
#include "ui/screenshots/dialog_scenes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QTreeView>
#include <QWidget>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

/// Lets the window system map and paint the windows.
void Settle(int milliseconds = 400)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Save(QWidget* window, const QString& path)
{
    Settle();
    const bool saved = window->grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    return saved;
}

struct Scene {
    const char* name;                     ///< PNG file name without extension
    std::function<QWidget*()> show;       ///< shows the scene; returns the window to grab
    std::function<void(QWidget*)> close;  ///< undoes it
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: orva-screenshots OUTDIR [FILE...]\n");
        return 2;
    }
    PrepareDesktop();
    OrvaApplication app(argc, argv);
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);

    TForm1* form1 = CreateForms();
    for (int i = 2; i < argc; ++i)
        form1->AddFileToList(QDir(QString::fromLocal8Bit(argv[i])).absolutePath().toStdString());
    form1->show();
    form1->ListView1->selectionModel()->select(form1->ListView1->model()->index(0, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);

    std::vector<Scene> scenes = {
        { "main_window", [&] { return static_cast<QWidget*>(form1); }, [](QWidget*) {} },
        { "main_window_menu",
          [&] {
              form1->aaa1->popup(form1->mapToGlobal(QPoint(0, form1->MainMenu1->height())));
              Settle();
              return static_cast<QWidget*>(form1->aaa1);
          },
          [&](QWidget*) { form1->aaa1->hide(); } },
        { "about_dialog",
          [&] {
              Form2->show();
              return static_cast<QWidget*>(Form2);
          },
          [&](QWidget*) { Form2->hide(); } },
        { "main_window_levels",
          [&] {
              // Every file measured, with a loudness target so that the gain column shows.
              form1->ListView1->clearSelection();
              form1->Settings.TargetMode = 2;
              form1->Settings.Target = -160;
              form1->ApplyOptions();
              form1->resize(1000, 320);
              // Room for the level columns: the folder and support columns step aside.
              form1->ListView1->setColumnHidden(1, true);
              form1->ListView1->setColumnHidden(orva::FileListModel::SupportColumn, true);
              form1->Analyze1->trigger();
              QElapsedTimer waited;
              waited.start();
              while (form1->Measuring() && waited.elapsed() < 60000)
                  QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
              return static_cast<QWidget*>(form1);
          },
          [&](QWidget*) {
              form1->Settings.TargetMode = 0;
              form1->Settings.Target = 0;
              form1->ApplyOptions();
              form1->ListView1->setColumnHidden(1, false);
              form1->ListView1->setColumnHidden(orva::FileListModel::SupportColumn, false);
              form1->resize(598, form1->height());
          } },
        { "help_window",
          [&] {
              form1->H1Click();
              return static_cast<QWidget*>(form1->HelpWindow1);
          },
          [&](QWidget* window) {
              if (window != nullptr)
                  window->hide();
          } },
        // Further dialogs join here as scenes of their own.
    };
    dialogscenes::AddDialogScenes(scenes, form1);

    bool ok = true;
    for (const Scene& scene : scenes) {
        QWidget* window = scene.show();
        ok =
            Save(window, outDir + QLatin1Char('/') + QString::fromLatin1(scene.name) + QStringLiteral(".png"))
            && ok;
        scene.close(window);
    }
    DestroyForms();
    return ok ? 0 : 1;
}
