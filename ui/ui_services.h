#pragma once
// The desktop services the windows ask the user or the desktop through: message boxes,
// file and folder choosers, and opening a document or web address with the user's default
// program. The windows never call QMessageBox/QFileDialog/QDesktopServices directly, so
// tests put a double in place (TForm1::SetServices) and answer every question themselves.
// All calls run on the GUI thread; texts are UTF-8 QStrings, paths use '/'.

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

class QFileDialog;
class QWidget;

class UiServices {
public:
    virtual ~UiServices() = default;

    /// A modal message box with one OK button; blocks until dismissed. The answer is not used.
    virtual void ShowMessage(QWidget* parent, const QString& title, const QString& text,
                             QMessageBox::Icon icon) = 0;

    /// A modal Yes/No question; true when the user answered Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& title, const QString& text) = 0;

    /// A folder chooser opening at startDir; the chosen folder (no trailing '/'), or empty.
    virtual QString ChooseFolder(QWidget* parent, const QString& title, const QString& startDir) = 0;

    /// A file-open chooser for several existing files; empty when cancelled.
    /// filter is a Qt name filter such as "ｻｳﾝﾄﾞﾌｧｲﾙ(*.wav *.WAV)".
    virtual QStringList ChooseFiles(QWidget* parent, const QString& title, const QString& startDir,
                                    const QString& filter) = 0;

    /// A file-open chooser for one existing file; empty when cancelled.
    virtual QString ChooseFile(QWidget* parent, const QString& title, const QString& startDir,
                               const QString& filter) = 0;

    /// A file-open chooser for one program, opening at startPath (a folder, or a file name
    /// to propose); it lists executable files first, and offers Windows programs ("*.exe")
    /// and every file. Empty when cancelled.
    virtual QString ChooseProgram(QWidget* parent, const QString& title, const QString& startPath) = 0;

    /// Opens a local document or a web address with the user's default program.
    /// Returns false when the desktop could not start one (callers ignore it).
    virtual bool OpenUrl(const QUrl& url) = 0;
};

/// The chooser behind QtUiServices::ChooseProgram, not yet shown.
std::unique_ptr<QFileDialog> MakeProgramChooser(QWidget* parent, const QString& title,
                                                const QString& startPath);

/// The real services: QMessageBox, QFileDialog and QDesktopServices.
class QtUiServices final : public UiServices {
public:
    void ShowMessage(QWidget* parent, const QString& title, const QString& text,
                     QMessageBox::Icon icon) override;
    bool AskYesNo(QWidget* parent, const QString& title, const QString& text) override;
    QString ChooseFolder(QWidget* parent, const QString& title, const QString& startDir) override;
    QStringList ChooseFiles(QWidget* parent, const QString& title, const QString& startDir,
                            const QString& filter) override;
    QString ChooseFile(QWidget* parent, const QString& title, const QString& startDir,
                       const QString& filter) override;
    QString ChooseProgram(QWidget* parent, const QString& title, const QString& startPath) override;
    bool OpenUrl(const QUrl& url) override;
};
