// The desktop program's language: its own texts and Qt's standard buttons follow one choice.

#include "tests/ui/ui_test_support.h"

#include "ui/language.h"
#include "ui/progress_dialog.h"

#include <QDialogButtonBox>
#include <QPushButton>

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

}  // namespace
int main(int argc, char** argv) { return uitest::RunUiTests(argc, argv); }
