#include "ui/ui_services.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>

void QtUiServices::ShowMessage(QWidget* parent, const QString& title, const QString& text,
                               QMessageBox::Icon icon)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

bool QtUiServices::AskYesNo(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QString QtUiServices::ChooseFolder(QWidget* parent, const QString& title, const QString& startDir)
{
    return QFileDialog::getExistingDirectory(parent, title, startDir, QFileDialog::ShowDirsOnly);
}

QStringList QtUiServices::ChooseFiles(QWidget* parent, const QString& title, const QString& startDir,
                                      const QString& filter)
{
    // Qt's own dialog matches name filters in any letter case (a native one may not), and
    // only returns files that exist.
    return QFileDialog::getOpenFileNames(parent, title, startDir, filter, nullptr,
                                         QFileDialog::DontUseNativeDialog);
}

QString QtUiServices::ChooseFile(QWidget* parent, const QString& title, const QString& startDir,
                                 const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, title, startDir, filter, nullptr,
                                        QFileDialog::DontUseNativeDialog);
}

std::unique_ptr<QFileDialog> MakeProgramChooser(QWidget* parent, const QString& title,
                                                const QString& startPath)
{
    auto dialog = std::make_unique<QFileDialog>(parent, title, startPath);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    const QStringList filters = { QCoreApplication::translate("UiServices", "実行ファイル (*)"),
                                  QCoreApplication::translate("UiServices", "Windows のプログラム (*.exe)"),
                                  QCoreApplication::translate("UiServices", "すべてのファイル (*)") };
    dialog->setNameFilters(filters);
    // A name pattern cannot tell programs on Linux (tools/scmpx-lame has no extension): the
    // first filter lists the files the user may run; folders always show.
    auto applyFilter = [chooser = dialog.get(), first = filters.first()](const QString& chosen) {
        const QDir::Filters common = QDir::AllDirs | QDir::Files | QDir::NoDot;
        chooser->setFilter(chosen == first ? common | QDir::Executable : common);
    };
    QObject::connect(dialog.get(), &QFileDialog::filterSelected, dialog.get(), applyFilter);
    dialog->selectNameFilter(filters.first());
    applyFilter(filters.first());
    return dialog;
}

QString QtUiServices::ChooseProgram(QWidget* parent, const QString& title, const QString& startPath)
{
    const std::unique_ptr<QFileDialog> dialog = MakeProgramChooser(parent, title, startPath);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return QString();
    return dialog->selectedFiles().first();
}

bool QtUiServices::OpenUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }
