// The desktop program's language: its own texts and Qt's standard buttons follow one choice,
// and an English window shows no Japanese text of its own.

#include "tests/ui/ui_test_support.h"

#include "settings/settings.h"
#include "settings/settings_store.h"
#include "ui/about_dialog.h"
#include "ui/confirm_dialog.h"
#include "ui/forms.h"
#include "ui/language.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"
#include "ui/progress_dialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(Language, WindowsAndStandardButtonsFollowTheChoice)
{
    struct Case {
        orva::Language language;
        QString title, cancel, yes;
    } const cases[] = {
        { orva::Language::Japanese, QStringLiteral("ORVA 正規化中です..."), QStringLiteral("キャンセル"),
          QStringLiteral("はい(&Y)") },
        { orva::Language::English, QStringLiteral("ORVA is normalizing..."), QStringLiteral("Cancel"),
          QStringLiteral("&Yes") },
    };
    for (const Case& c : cases) {
        UseLanguage(c.language);
        TForm3 dialog;
        EXPECT_EQ(dialog.windowTitle(), c.title);
        EXPECT_EQ(dialog.Button2->text(), c.cancel);
        QDialogButtonBox buttons(QDialogButtonBox::Yes);
        EXPECT_EQ(buttons.button(QDialogButtonBox::Yes)->text(), c.yes);
    }
    UseLanguage(orva::Language::Japanese);
}

/// Every text a window shows of its own (titles, labels, buttons, menus, tips, list captions),
/// not what the user typed into its fields.
QStringList OwnTexts(const QWidget& window)
{
    QStringList texts { window.windowTitle(), window.toolTip() };
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        texts << widget->windowTitle() << widget->toolTip() << widget->statusTip();
        if (auto* button = qobject_cast<const QAbstractButton*>(widget))
            texts << button->text();
        if (auto* label = qobject_cast<const QLabel*>(widget))
            texts << label->text();
        if (auto* group = qobject_cast<const QGroupBox*>(widget))
            texts << group->title();
        if (auto* tabs = qobject_cast<const QTabWidget*>(widget))
            for (int i = 0; i < tabs->count(); ++i)
                texts << tabs->tabText(i);
        if (auto* combo = qobject_cast<const QComboBox*>(widget))
            for (int i = 0; i < combo->count(); ++i)
                texts << combo->itemText(i);
        if (auto* header = qobject_cast<const QHeaderView*>(widget); header && header->model())
            for (int i = 0; i < header->count(); ++i)
                texts << header->model()->headerData(i, header->orientation()).toString();
    }
    for (const QAction* action : window.findChildren<QAction*>())
        texts << action->text() << action->toolTip() << action->statusTip();
    return texts;
}

TEST(Language, EnglishWindowsShowNoJapaneseText)
{
    QTemporaryDir dir;
    orva::IniFilePath = dir.filePath(QStringLiteral("ORVA.INI")).toStdString();
    UseLanguage(orva::Language::English);
    orva::Settings settings;
    TForm1 main;
    TFormOption options(settings);
    TForm2 about;
    TForm3 progress;
    TOKRightDlg confirm;
    const QRegularExpression japanese(QStringLiteral("[\\x{3000}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
    for (const QWidget* window :
         std::initializer_list<const QWidget*> { &main, &options, &about, &progress, &confirm })
        for (const QString& text : OwnTexts(*window))
            EXPECT_FALSE(text.contains(japanese))
                << window->metaObject()->className() << ": " << text.toStdString();
    UseLanguage(orva::Language::Japanese);
    orva::IniFilePath.clear();
}

}  // namespace
int main(int argc, char** argv) { return uitest::RunUiTests(argc, argv); }
