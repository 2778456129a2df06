#include "settings/sjis.h"

#include <gtest/gtest.h>

namespace orva {
namespace {

struct RoundTrip {
    const char* utf8;
    const char* shiftJis;
};

TEST(ShiftJis, ConvertsBothWaysByteForByte)
{
    const RoundTrip cases[] = {
        { "", "" },
        { "ORVA 1.0a\t/path", "ORVA 1.0a\t/path" },
        { "「$S」の正規化が終了しました！",
          "\x81\x75$S\x81\x76\x82\xcc\x90\xb3\x8b\x4b\x89\xbb\x82\xaa\x8f\x49\x97\xb9\x82\xb5"
          "\x82\xdc\x82\xb5\x82\xbd\x81\x49" },
        { "午後のこ～だ", "\x8c\xdf\x8c\xe3\x82\xcc\x82\xb1\x81\x60\x82\xbe" },  // ～ exists in CP932 only
        { "①ｱｲ", "\x87\x40\xb1\xb2" },             // NEC special, half-width kana
        { "ソ表能", "\x83\x5c\x95\x5c\x94\x5c" },  // second bytes are "\"
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToShiftJis(c.utf8), c.shiftJis) << c.utf8;
        EXPECT_EQ(FromShiftJis(c.shiftJis), c.utf8) << c.utf8;
        EXPECT_EQ(ShiftJisLength(c.utf8), std::string(c.shiftJis).size()) << c.utf8;
    }
    EXPECT_EQ(ToShiftJis("「$S」の正規化が終了しました！").size(), 30u);
}

TEST(ShiftJis, WhatCannotBeHeldBecomesOneQuestionMarkEach)
{
    EXPECT_EQ(ToShiftJis("a\xc3\xb6"
                         "b"),
              "a?b");                                  // ö
    EXPECT_EQ(ToShiftJis("\xf0\x9f\x98\x80x"), "?x");  // emoji
    EXPECT_EQ(ToShiftJis("\xff\xfe"
                         "a"),
              "??a");                                       // not UTF-8 at all
    EXPECT_EQ(ToShiftJis("\xe3\x81"), "??");                // truncated sequence
    EXPECT_EQ(ToShiftJis("\xed\xa0\x80"), "???");           // surrogate
    EXPECT_EQ(ShiftJisLength("\xc3\xb6\xe3\x81\x82"), 3u);  // "?" + あ

    EXPECT_EQ(FromShiftJis("\x80"
                           "a"),
              "?a");
    EXPECT_EQ(FromShiftJis("a\x82"), "a?");    // lead byte at the end
    EXPECT_EQ(FromShiftJis("\x82\n"), "?\n");  // a line end is never eaten
    EXPECT_EQ(FromShiftJis("\x82\xa0\x82\xa2"), "あい");
}

TEST(ShiftJis, CutsNeverSplitACharacter)
{
    // CP932 bytes: "a"(1) "あ"(2) "ｱ"(1) "い"(2) = 6
    const std::string text = "aあｱい";
    const char* expected[] = { "", "a", "a", "aあ", "aあｱ", "aあｱ", "aあｱい", "aあｱい" };
    for (std::size_t max = 0; max < std::size(expected); ++max)
        EXPECT_EQ(CutToShiftJisLength(text, max), expected[max]) << max;

    const std::string sjis = ToShiftJis(text);
    const std::size_t sjisLengths[] = { 0, 1, 1, 3, 4, 4, 6, 6 };
    for (std::size_t max = 0; max < std::size(sjisLengths); ++max)
        EXPECT_EQ(CutShiftJis(sjis, max), sjis.substr(0, sjisLengths[max])) << max;

    // 128 double-byte characters are 256 bytes: a 255-byte field holds 127 of them.
    std::string wide;
    for (int i = 0; i < 128; ++i)
        wide += "表";
    EXPECT_EQ(CutShiftJis(ToShiftJis(wide), kMaxShiftJisTextBytes).size(), 254u);
    EXPECT_EQ(ShiftJisLength(CutToShiftJisLength(wide, kMaxShiftJisTextBytes)), 254u);
}

}  // namespace
}  // namespace orva
