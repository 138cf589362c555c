// The memory bound on a run's output must not change what Lintara reads from it.
#include "Lintara/platform/posix/BoundedOutput.hpp"
#include "Lintara/text.hpp"

#include <gtest/gtest.h>

namespace lintara::posix {
namespace {

    // Feeds the text in uneven pieces, as reads from a pipe would.
    std::string collect(const std::string& text, std::size_t limit)
    {
        BoundedOutput output(limit);
        for (std::size_t at = 0, piece = 1; at < text.size(); at += piece, piece = piece * 3 % 97 + 1) {
            output.append(std::string_view(text).substr(at, piece));
        }
        return output.take();
    }

    std::string lines(const std::string& line, int count)
    {
        std::string text;
        for (int i = 0; i < count; ++i) {
            text += line + "\n";
        }
        return text;
    }

    TEST(BoundedOutput, KeepsOutputUpToTheLimitExactly)
    {
        const std::string text = lines("  >> notice: \xED\x95\x9C\xEA\xB8\x80 caf\xC3\xA9", 40) + "VPN> ";
        EXPECT_EQ(collect(text, text.size()), text);
        // Invalid bytes within the limit are the decoder's business, not ours.
        const std::string invalid = "  >> state: Connected\n\xFF\xFE\n";
        EXPECT_EQ(collect(invalid, 1024), invalid);

        BoundedOutput defaultSized;
        const std::string mebibyte(BoundedOutput::defaultLimit, 'x');
        defaultSized.append(mebibyte);
        EXPECT_EQ(defaultSized.take(), mebibyte);
        EXPECT_FALSE(defaultSized.truncated());
    }

    TEST(BoundedOutput, BeyondTheLimitKeepsTheEndFromALineStart)
    {
        const std::string text = lines("line of junk that goes on", 500) + "the last line\nVPN> ";
        BoundedOutput output(1000);
        output.append(text);
        const std::string kept = output.take();
        EXPECT_TRUE(output.truncated());
        EXPECT_LE(kept.size(), 1000u);
        EXPECT_GT(kept.size(), 900u);
        EXPECT_EQ(kept.substr(0, 4), "line");
        EXPECT_TRUE(text.ends_with(kept));
        EXPECT_TRUE(kept.ends_with("the last line\nVPN> "));
    }

    TEST(BoundedOutput, TheLastStateLineSurvivesAFloodAfterIt)
    {
        const std::string flood = lines("  >> notice: Connection statistics follow, please wait...", 2000);
        for (const bool connected : { true, false }) {
            const std::string state = connected ? "  >> state: Connected\n" : "  >> state: Disconnected\n";
            const std::string other = connected ? "  >> state: Disconnected\n" : "  >> state: Connected\n";
            const std::string kept = collect(other + state + state + flood + "VPN>\n", 4096);
            EXPECT_LE(kept.size(), 4096u + 32);
            EXPECT_EQ(parseStateOutput(kept), connected);
        }
        // A state line in the kept end wins over an earlier, dropped one.
        const std::string kept = collect("  >> state: Connected\n" + flood + "  >> state: Disconnected\n", 4096);
        EXPECT_EQ(parseStateOutput(kept), false);
        // A flood with no state line at all stays unreadable.
        EXPECT_EQ(parseStateOutput(collect(flood + "  >> state: Unknown\n", 4096)), std::nullopt);
    }

    TEST(BoundedOutput, DroppedInvalidUtf8MakesTheWholeOutputEmpty)
    {
        const std::string flood = lines("  >> notice: junk", 1000);
        EXPECT_EQ(collect("\xC3\x28\n" + flood + "  >> state: Connected\n", 2048), "");
        // Valid multibyte text across the cut stays valid and is kept.
        const std::string korean = lines("\xEC\x97\xB0\xEA\xB2\xB0 \xED\x95\xB4\xEC\xA0\x9C", 2000);
        const std::string kept = collect(korean + "  >> state: Connected\n", 2048);
        EXPECT_TRUE(isValidUtf8(kept));
        EXPECT_EQ(parseStateOutput(kept), true);
    }

    TEST(BoundedOutput, ALineLongerThanTheLimitIsCutAtACharacterBoundary)
    {
        std::string text;
        for (int i = 0; i < 3000; ++i) {
            text += "\xED\x95\x9C";
        }
        const std::string kept = collect(text, 1000);
        // The dropped head of the line is marked by an ellipsis.
        ASSERT_TRUE(kept.starts_with("\u2026"));
        EXPECT_LE(kept.size(), 1003u);
        EXPECT_GE(kept.size(), 999u);
        EXPECT_TRUE(isValidUtf8(kept));
        EXPECT_TRUE(text.ends_with(kept.substr(3)));
    }

    TEST(BoundedOutput, ALineCutInsideReadsAsTheWholeLineWould)
    {
        const std::string blanks(200, ' ');
        // Text, then blanks, then the state: the whole line is no state line,
        // though its kept end alone would read as one.
        EXPECT_EQ(parseStateOutput(collect("x" + blanks + ">> state: Connected\n", 64)), std::nullopt);
        // A state line that only its blanks make long still reads.
        EXPECT_EQ(parseStateOutput(collect(blanks + ">> state: Connected" + blanks + "\nVPN> ", 64)), true);
        EXPECT_EQ(parseStateOutput(collect(blanks + ">> state:" + blanks + "\n", 64)), std::nullopt);
        // Its dropped head alone would read as a state line; the whole does not.
        EXPECT_EQ(parseStateOutput(collect(">> state: Connected" + blanks + "x\n", 64)), std::nullopt);
        EXPECT_EQ(parseStateOutput(collect(">> state: Disconnected" + blanks + "\n", 64)), false);
        // A head that ends in one space can still run on into a state line.
        EXPECT_EQ(parseStateOutput(collect(blanks + ">> state: Connected" + blanks, 20)), true);
    }

    TEST(BoundedOutput, ALimitBelowOneCharacterIsRaisedToOne)
    {
        std::string text;
        for (int i = 0; i < 50; ++i) {
            text += "\xED\x95\x9C";
        }
        for (const std::size_t limit : { 0u, 1u, 2u, 3u }) {
            const std::string kept = collect(text + "\n  >> state: Connected\n" + text, limit);
            EXPECT_TRUE(isValidUtf8(kept)) << limit;
            EXPECT_EQ(parseStateOutput(kept), true) << limit;
        }
    }

} // namespace
} // namespace lintara::posix
