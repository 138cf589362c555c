// SPDX-License-Identifier: MIT
// The pure readers of outside input: trimming, line splitting, UTF-8, the
// typed duration, the tool's state output and the countdown title.
#include "Lintara/text.hpp"
#include "Lintara/toolOutput.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

namespace lintara {
namespace {

    std::string fixture(const std::string& name)
    {
        std::ifstream in(std::string(LINTARA_FIXTURES_DIR) + "/vpn-cli/" + name, std::ios::binary);
        EXPECT_TRUE(in) << name;
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

    TEST(Trim, RemovesEveryKindOfSpaceAndBreakAtBothEnds)
    {
        // tab, LF, VT, FF, CR, NEL, NBSP, ogham space, en quad, hair space,
        // narrow NBSP, medium math space, ideographic space, LS, PS
        const std::string all = "\t\n\v\f\r\u0085\u00A0\u1680\u2000\u200A\u202F\u205F\u3000\u2028\u2029 ";
        EXPECT_EQ(trimWhitespaceAndNewlines(all + "90" + all), "90");
        EXPECT_EQ(trimWhitespaceAndNewlines(all), "");
        EXPECT_EQ(trimWhitespaceAndNewlines(""), "");
    }

    TEST(Trim, KeepsWhatIsInsideAndWhatIsNotSpace)
    {
        EXPECT_EQ(trimWhitespaceAndNewlines("  1 2  "), "1 2");
        // Zero-width space and BOM are not white space in this sense.
        EXPECT_EQ(trimWhitespaceAndNewlines("\u200B5\uFEFF"), "\u200B5\uFEFF");
        // Invalid bytes at an end stop the trimming instead of being eaten.
        EXPECT_EQ(trimWhitespaceAndNewlines("\xFF 5 \xC3"), "\xFF 5 \xC3");
        EXPECT_EQ(trimWhitespaceAndNewlines(" \x80 "), "\x80");
    }

    TEST(SplitLines, EveryBreakCharacterEndsALine)
    {
        const auto lines = splitLines("a\nb\rc\vd\fe\u0085f\u2028g\u2029h");
        EXPECT_EQ(lines, (std::vector<std::string_view> { "a", "b", "c", "d", "e", "f", "g", "h" }));
    }

    TEST(SplitLines, CrLfLeavesAnEmptyLineAndATrailingBreakAnEmptyLast)
    {
        EXPECT_EQ(splitLines("a\r\nb\n"), (std::vector<std::string_view> { "a", "", "b", "" }));
        EXPECT_EQ(splitLines(""), (std::vector<std::string_view> { "" }));
    }

    TEST(SplitLines, InvalidBytesAreNotBreaks)
    {
        // 0xC2 0x85 is NEL, but 0x85 alone is a stray continuation byte.
        EXPECT_EQ(splitLines("a\x85"
                             "b"),
            (std::vector<std::string_view> { "a\x85"
                                             "b" }));
    }

    TEST(Utf8, ValidTextPassesUnchanged)
    {
        for (const std::string& text : { std::string(), std::string("plain"), std::string("VPN 해제 중…"),
                 std::string("\xF0\x9F\x98\x80"), std::string("\xF4\x8F\xBF\xBF"), std::string("a\0b", 3) }) {
            EXPECT_EQ(decodeUtf8(text), text);
        }
    }

    TEST(Utf8, AnythingInvalidGivesTheEmptyText)
    {
        for (const char* bad : { "\xC0\xAF", // overlong '/'
                 "\xE0\x80\xAF", // overlong, three bytes
                 "\xF0\x80\x80\xAF", // overlong, four bytes
                 "\xED\xA0\x80", // surrogate D800
                 "\xED\xBF\xBF", // surrogate DFFF
                 "\xF4\x90\x80\x80", // above U+10FFFF
                 "\xF5\x80\x80\x80", "\xFF", "\x80", // bytes that never start anything
                 "ok\xE2\x80", // cut short at the end
                 "\xE2\x28\xA1" }) { // bad continuation
            EXPECT_EQ(decodeUtf8(bad), "") << bad;
        }
    }

    TEST(ParseInt64, AcceptsOneSignAndAsciiDigits)
    {
        EXPECT_EQ(parseInt64("90"), 90);
        EXPECT_EQ(parseInt64("+90"), 90);
        EXPECT_EQ(parseInt64("-5"), -5);
        EXPECT_EQ(parseInt64("0090"), 90);
        EXPECT_EQ(parseInt64("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
        EXPECT_EQ(parseInt64("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
        EXPECT_EQ(parseInt64("-0"), 0);
    }

    TEST(ParseInt64, RejectsEverythingElse)
    {
        for (const char* bad : { "", "+", "-", "+-1", "--1", "1 0", " 1", "1.0", "10,080", "1e3", "0x10", "90분",
                 "\xEF\xBC\x99\xEF\xBC\x90", // full-width 90
                 "\xD9\xA9", // Arabic-Indic nine
                 "9223372036854775808", "-9223372036854775809", "99999999999999999999" }) {
            EXPECT_EQ(parseInt64(bad), std::nullopt) << bad;
        }
    }

    TEST(StateOutput, RealCapturesReadAsTheirIndexSays)
    {
        // INDEX.tsv beside the captures names the reading of each.
        std::ifstream index(std::string(LINTARA_FIXTURES_DIR) + "/vpn-cli/INDEX.tsv");
        std::string line;
        std::getline(index, line); // header
        int checked = 0;
        while (std::getline(index, line)) {
            std::istringstream fields(line);
            std::string file;
            std::string reading;
            std::getline(fields, file, '\t');
            std::getline(fields, reading, '\t');
            const std::optional<bool> parsed = parseStateOutput(decodeUtf8(fixture(file)));
            if (reading == "connected") {
                EXPECT_EQ(parsed, true) << file;
            } else if (reading == "disconnected") {
                EXPECT_EQ(parsed, false) << file;
            } else if (reading == "unreadable") {
                EXPECT_EQ(parsed, std::nullopt) << file;
            } else {
                continue; // the disconnect capture is shown, not parsed
            }
            ++checked;
        }
        EXPECT_EQ(checked, 5);
    }

    TEST(StateOutput, TheDisconnectCaptureEndsOnDisconnected)
    {
        // Its last state line is Disconnected, after "Disconnecting" lines
        // that must not count.
        EXPECT_EQ(parseStateOutput(fixture("disconnect-success.txt")), false);
    }

    TEST(StateOutput, LastMatchingLineDecides)
    {
        EXPECT_EQ(parseStateOutput(">> state: Connected\n>> state: Disconnected\n"), false);
        EXPECT_EQ(parseStateOutput(">> state: Disconnected\n>> state: Connected\n"), true);
        // Version 5 opens with Unknown, which is no state line.
        EXPECT_EQ(parseStateOutput("  >> state: Unknown\n  >> state: Connected\n  >> state: Unknown\n"), true);
    }

    TEST(StateOutput, MatchesOnlyTheExactTrimmedLine)
    {
        EXPECT_EQ(parseStateOutput(" \t>> state: Connected\u3000\r\n"), true);
        EXPECT_EQ(parseStateOutput("\r  >> state: Connected\n\rVPN> "), true);
        EXPECT_EQ(parseStateOutput(">> state: connected"), std::nullopt);
        EXPECT_EQ(parseStateOutput(">> State: Connected"), std::nullopt);
        EXPECT_EQ(parseStateOutput(">> state:  Connected"), std::nullopt);
        EXPECT_EQ(parseStateOutput(">>state: Connected"), std::nullopt);
        EXPECT_EQ(parseStateOutput(">> state: Connected."), std::nullopt);
        EXPECT_EQ(parseStateOutput(">> state: Disconnecting"), std::nullopt);
        EXPECT_EQ(parseStateOutput("x >> state: Connected"), std::nullopt);
        EXPECT_EQ(parseStateOutput(""), std::nullopt);
    }

    TEST(CountdownTitle, RoundsUpAndNeverGoesBelowZero)
    {
        EXPECT_EQ(countdownTitle(0.2), "VPN 0:00:01");
        EXPECT_EQ(countdownTitle(0.0), "VPN 0:00:00");
        EXPECT_EQ(countdownTitle(-0.0), "VPN 0:00:00");
        EXPECT_EQ(countdownTitle(-0.5), "VPN 0:00:00");
        EXPECT_EQ(countdownTitle(-3600), "VPN 0:00:00");
        EXPECT_EQ(countdownTitle(59.5), "VPN 0:01:00");
        EXPECT_EQ(countdownTitle(3599.2), "VPN 1:00:00");
        EXPECT_EQ(countdownTitle(3600), "VPN 1:00:00");
        EXPECT_EQ(countdownTitle(3600.000001), "VPN 1:00:01");
        EXPECT_EQ(countdownTitle(3661), "VPN 1:01:01");
    }

    TEST(CountdownTitle, HoursNeitherWrapNorPad)
    {
        EXPECT_EQ(countdownTitle(604800), "VPN 168:00:00");
        EXPECT_EQ(countdownTitle(25 * 3600 - 1), "VPN 24:59:59");
    }

    TEST(CountdownTitle, IntervalsNoDeadlineOfOursProducesSaturate)
    {
        EXPECT_EQ(countdownTitle(std::nan("")), "VPN 0:00:00");
        EXPECT_EQ(countdownTitle(-std::numeric_limits<double>::infinity()), "VPN 0:00:00");
        // 2^63 - 1 seconds.
        const std::string top = "VPN 2562047788015215:30:07";
        EXPECT_EQ(countdownTitle(std::numeric_limits<double>::infinity()), top);
        EXPECT_EQ(countdownTitle(1e300), top);
        EXPECT_EQ(countdownTitle(9223372036854775808.0), top);
    }

    TEST(DisplayedTail, KeepsTheEndOfALongTextFromALineStartBelowAMark)
    {
        EXPECT_EQ(displayedTail("short\ntext", 64), "short\ntext");
        EXPECT_EQ(displayedTail("first line\nsecond\nlast", 12), "…\nsecond\nlast");
        // A limit that falls on a line start keeps that whole line.
        EXPECT_EQ(displayedTail("abc\ndef", 3), "…\ndef");
        // One line longer than the limit is cut between characters, never inside
        // one: each "가" is three bytes.
        EXPECT_EQ(displayedTail("가가가가", 5), "…\n가");
        EXPECT_EQ(displayedTail(std::string(3 * 1024 * 1024, 'x') + "\nend"), "…\nend");
        std::string lines;
        while (lines.size() < 1024 * 1024) {
            lines += "0123456789\n";
        }
        const std::string shown = displayedTail(lines);
        EXPECT_LE(shown.size(), displayedTextLimit + std::string("…\n").size());
        EXPECT_TRUE(shown.starts_with("…\n0123456789\n")) << "cut at a line start";
    }

} // namespace
} // namespace lintara
