#include "ui/ui_services.h"

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

bool QtUiServices::OpenUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }
