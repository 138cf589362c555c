// SPDX-License-Identifier: MIT
// The memory bound on a run's output must not change what Lintara reads from it.
#include "Lintara/text.hpp"
#include "Lintara/toolOutput.hpp"

#include <gtest/gtest.h>

namespace lintara {
namespace {

    // Feeds the text in uneven pieces, as reads from a pipe would.
    template <typename Reader> void feed(Reader& reader, const std::string& text)
    {
        for (std::size_t at = 0, piece = 1; at < text.size(); at += piece, piece = piece * 3 % 97 + 1) {
            reader.append(std::string_view(text).substr(at, piece));
        }
    }

    std::string keep(const std::string& text, std::size_t limit)
    {
        BoundedOutput output(limit);
        feed(output, text);
        return output.take();
    }

    struct Read {
        std::optional<bool> state;
        std::string text;
    };

    Read read(const std::string& text, std::size_t limit)
    {
        ToolOutput output(limit);
        feed(output, text);
        return { output.state(), output.takeText() };
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
        EXPECT_EQ(keep(text, text.size()), text);
        // Invalid bytes within the limit are the decoder's business, not ours.
        const std::string invalid = "  >> state: Connected\n\xFF\xFE\n";
        EXPECT_EQ(keep(invalid, 1024), invalid);

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

    TEST(ToolOutput, TheLastStateLineSurvivesAFloodAfterIt)
    {
        const std::string flood = lines("  >> notice: Connection statistics follow, please wait...", 2000);
        for (const bool connected : { true, false }) {
            const std::string state = connected ? "  >> state: Connected\n" : "  >> state: Disconnected\n";
            const std::string other = connected ? "  >> state: Disconnected\n" : "  >> state: Connected\n";
            const Read output = read(other + state + state + flood + "VPN>\n", 4096);
            EXPECT_LE(output.text.size(), 4096u + 32);
            EXPECT_EQ(output.state, connected);
        }
        // A state line in the kept end wins over an earlier, dropped one.
        EXPECT_EQ(read("  >> state: Connected\n" + flood + "  >> state: Disconnected\n", 4096).state, false);
        // A flood with no state line at all stays unreadable.
        EXPECT_EQ(read(flood + "  >> state: Unknown\n", 4096).state, std::nullopt);
    }

    TEST(ToolOutput, DroppedInvalidUtf8MakesTheWholeOutputEmpty)
    {
        const std::string flood = lines("  >> notice: junk", 1000);
        const Read invalid = read("\xC3\x28\n" + flood + "  >> state: Connected\n", 2048);
        EXPECT_EQ(invalid.text, "");
        EXPECT_EQ(invalid.state, std::nullopt);
        // Valid multibyte text across the cut stays valid and is kept.
        const std::string korean = lines("\xEC\x97\xB0\xEA\xB2\xB0 \xED\x95\xB4\xEC\xA0\x9C", 2000);
        const Read kept = read(korean + "  >> state: Connected\n", 2048);
        EXPECT_TRUE(isValidUtf8(kept.text));
        EXPECT_TRUE(kept.text.ends_with("  >> state: Connected\n"));
        EXPECT_EQ(kept.state, true);
    }

    TEST(BoundedOutput, ALineLongerThanTheLimitIsCutAtACharacterBoundary)
    {
        std::string text;
        for (int i = 0; i < 3000; ++i) {
            text += "\xED\x95\x9C";
        }
        const std::string kept = keep(text, 1000);
        // The dropped head of the line is marked by an ellipsis.
        ASSERT_TRUE(kept.starts_with("\u2026"));
        EXPECT_LE(kept.size(), 1003u);
        EXPECT_GE(kept.size(), 999u);
        EXPECT_TRUE(isValidUtf8(kept));
        EXPECT_TRUE(text.ends_with(kept.substr(3)));
    }

    TEST(ToolOutput, ALineCutInsideReadsAsTheWholeLineWould)
    {
        const std::string blanks(200, ' ');
        // Text, then blanks, then the state: the whole line is no state line,
        // though its kept end alone would read as one.
        EXPECT_EQ(read("x" + blanks + ">> state: Connected\n", 64).state, std::nullopt);
        // A state line that only its blanks make long still reads.
        EXPECT_EQ(read(blanks + ">> state: Connected" + blanks + "\nVPN> ", 64).state, true);
        EXPECT_EQ(read(blanks + ">> state:" + blanks + "\n", 64).state, std::nullopt);
        // Its dropped head alone would read as a state line; the whole does not.
        EXPECT_EQ(read(">> state: Connected" + blanks + "x\n", 64).state, std::nullopt);
        EXPECT_EQ(read(">> state: Disconnected" + blanks + "\n", 64).state, false);
        // A head that ends in one space can still run on into a state line.
        EXPECT_EQ(read(blanks + ">> state: Connected" + blanks, 20).state, true);
    }

    TEST(ToolOutput, ALimitBelowOneCharacterIsRaisedToOne)
    {
        std::string text;
        for (int i = 0; i < 50; ++i) {
            text += "\xED\x95\x9C";
        }
        for (const std::size_t limit : { 0u, 1u, 2u, 3u }) {
            const Read output = read(text + "\n  >> state: Connected\n" + text, limit);
            EXPECT_FALSE(output.text.empty()) << limit;
            EXPECT_TRUE(isValidUtf8(output.text)) << limit;
            EXPECT_EQ(output.state, true) << limit;
        }
    }

} // namespace
} // namespace lintara
