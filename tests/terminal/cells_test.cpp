// SPDX-License-Identifier: MIT
#include "Lintara/platform/terminal/Cells.hpp"

#include <gtest/gtest.h>

using namespace lintara::terminal;

TEST(Cells, WidthsCountColumnsNotBytes)
{
    EXPECT_EQ(displayWidth("VPN 0:59:59"), 11);
    EXPECT_EQ(displayWidth("VPN 해제 중…"), 4 + 4 + 1 + 2 + 1); // Hangul 2 each, … and spaces 1
    EXPECT_EQ(displayWidth("VPN ◷"), 5);
    EXPECT_EQ(displayWidth("✓"), 1);
    EXPECT_EQ(displayWidth("１２"), 4); // full-width digits
    EXPECT_EQ(displayWidth("漢字"), 4);
    EXPECT_EQ(displayWidth("e\u0301"), 1); // a combining accent takes no column
    EXPECT_EQ(displayWidth("\u1100\u1161"), 2); // conjoining jamo: one syllable's width
    EXPECT_EQ(displayWidth("😀"), 2);
    EXPECT_EQ(displayWidth("⚡"), 2); // U+26A1, wide since emoji took it
    EXPECT_EQ(displayWidth("a\u0951 \u05E9\u05C1"), 3); // Devanagari and Hebrew marks take none
    EXPECT_EQ(displayWidth(""), 0);
}

TEST(Cells, FittingNeverSplitsAWideCharacterOrAByteSequence)
{
    EXPECT_EQ(fitToWidth("연결 감지", 5), "연결 ");
    EXPECT_EQ(fitToWidth("연결 감지", 6), "연결 ");
    EXPECT_EQ(fitToWidth("연결 감지", 7), "연결 감");
    EXPECT_EQ(fitToWidth("abc", 10), "abc");
    EXPECT_EQ(fitToWidth("가", 1), "");
    EXPECT_EQ(fitToWidth("abc", 0), "");
}

TEST(Cells, OutsideTextCannotDriveTheTerminal)
{
    // An escape sequence in the tool's output would otherwise clear the
    // screen or move the cursor; invalid bytes would desynchronise UTF-8.
    EXPECT_EQ(printable("a\x1b[2Jb"), "a\uFFFD[2Jb");
    EXPECT_EQ(printable("x\xC2\x9By"), "x\uFFFDy"); // C1 CSI
    EXPECT_EQ(printable("bad \xFF\xC3\x28 end"), "bad \uFFFD\uFFFD( end");
    EXPECT_EQ(printable("\xE2\x80\xAEreversed"), "\uFFFDreversed");
    EXPECT_EQ(printable("tab\there\r\n"), "tab here\uFFFD\uFFFD");
    // Bidirectional controls would reorder what follows them on the screen.
    EXPECT_EQ(printable("\u2066x\u2069\u200E\u200F\u061C\u202B"), "\uFFFDx\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
    // Kept line breaks: CR LF is one, and a lone CR breaks the line too
    // rather than send the cursor back over it.
    EXPECT_EQ(printable("one\ntwo\r\nthree\rfour\r\n\r\n", Newlines::keep), "one\ntwo\nthree\nfour\n\n");
    EXPECT_EQ(printable("한글 ✓"), "한글 ✓");
    // Overlong forms and surrogates are not characters.
    EXPECT_EQ(printable("\xC0\xAF\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(Cells, WrappingBreaksAtSpacesAndLinesAndInsideLongRuns)
{
    EXPECT_EQ(wrapToWidth("1~10,080분을 입력하세요. 연결 중이면", 16),
        (std::vector<std::string> { "1~10,080분을", "입력하세요. 연결", "중이면" }));
    EXPECT_EQ(wrapToWidth("first\nsecond line", 8), (std::vector<std::string> { "first", "second", "line" }));
    EXPECT_EQ(wrapToWidth("가나다라마바", 5), (std::vector<std::string> { "가나", "다라", "마바" }));
    EXPECT_EQ(wrapToWidth("", 10), (std::vector<std::string> { "" }));
    EXPECT_EQ(wrapToWidth("a\n\nb", 10), (std::vector<std::string> { "a", "", "b" }));
    for (const std::string& line : wrapToWidth("  >> state: Disconnected   >> notice: Ready to connect.", 12)) {
        EXPECT_LE(displayWidth(line), 12) << line;
    }
}
