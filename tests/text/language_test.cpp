// The language choice over locale environments, and the catalogue lookup it drives.

#include "text/catalogue.h"
#include "text/language.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using orva::Language;
using Environment = std::map<std::string, std::string>;

TEST(LanguageChoice, FollowsTheLocaleAsGettextReadsIt)
{
    const std::vector<std::pair<Environment, Language>> cases = {
        { { { "LANG", "ja_JP.UTF-8" } }, Language::Japanese },
        { { { "LANG", "ja_JP.eucJP" } }, Language::Japanese },
        { { { "LANG", "ja" } }, Language::Japanese },
        { { { "LANG", "C" } }, Language::Japanese },
        { { { "LANG", "C.UTF-8" } }, Language::Japanese },
        { { { "LANG", "POSIX" } }, Language::Japanese },
        { {}, Language::Japanese },
        { { { "LANG", "" } }, Language::Japanese },
        { { { "LANG", "en_US.UTF-8" } }, Language::English },
        { { { "LANG", "de_DE.UTF-8" } }, Language::English },
        { { { "LANG", "jv_ID.UTF-8" } }, Language::English },  // not "ja"
        // LC_ALL over LC_MESSAGES over LANG.
        { { { "LANG", "ja_JP.UTF-8" }, { "LC_ALL", "en_GB.UTF-8" } }, Language::English },
        { { { "LANG", "en_US.UTF-8" }, { "LC_MESSAGES", "ja_JP.UTF-8" } }, Language::Japanese },
        { { { "LC_MESSAGES", "en_US.UTF-8" }, { "LC_ALL", "C" } }, Language::Japanese },
        // LANGUAGE: the first entry ORVA has wins, and a C locale ignores it.
        { { { "LANG", "en_US.UTF-8" }, { "LANGUAGE", "ja" } }, Language::Japanese },
        { { { "LANG", "ja_JP.UTF-8" }, { "LANGUAGE", "en_US:ja" } }, Language::English },
        { { { "LANG", "de_DE.UTF-8" }, { "LANGUAGE", "de:ja" } }, Language::Japanese },
        { { { "LANG", "ja_JP.UTF-8" }, { "LANGUAGE", "fr" } }, Language::Japanese },
        { { { "LANG", "C.UTF-8" }, { "LANGUAGE", "en" } }, Language::Japanese }
    };
    for (const auto& [environment, expected] : cases) {
        std::string shown;
        for (const auto& [name, value] : environment)
            shown += name + "=" + value + " ";
        SCOPED_TRACE(shown);
        const auto lookup = [&environment](const char* name) -> const char* {
            const auto found = environment.find(name);
            return found == environment.end() ? nullptr : found->second.c_str();
        };
        EXPECT_EQ(orva::ChooseLanguage(lookup), expected);
    }
}

TEST(Catalogue, JapaneseIsTheSourceAndEnglishComesFromTheTable)
{
    const char* const source = "予期しないエラーが発生しました。";
    EXPECT_STREQ(orva::Translate(Language::Japanese, "OrvaApplication", source), source);
    EXPECT_STREQ(orva::Translate(Language::English, "OrvaApplication", source),
                 "An unexpected error occurred.");
    EXPECT_STREQ(orva::Translate(Language::English, "NoSuchContext", source), source);
}

}  // namespace
