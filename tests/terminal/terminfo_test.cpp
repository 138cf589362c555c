// SPDX-License-Identifier: MIT
// The terminal's sequences come from its terminfo entry, and a terminal that
// cannot place the cursor is refused with a reason.
#include "Lintara/platform/terminal/Screen.hpp"
#include "Lintara/platform/terminal/Terminfo.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

namespace lintara::terminal {
namespace {

    TEST(Terminfo, ATerminalThatCannotPlaceTheCursorOrIsUnknownOrUnnamedIsRefusedWithAReason)
    {
        for (const char* term : { "dumb", "no-such-terminal-type", "", static_cast<const char*>(nullptr) }) {
            const auto loaded = loadSequences(term, STDERR_FILENO);
            ASSERT_TRUE(std::holds_alternative<Unsuitable>(loaded)) << (term != nullptr ? term : "(unset)");
            const std::string& reason = std::get<Unsuitable>(loaded).reason;
            EXPECT_NE(reason.find("TERM"), std::string::npos) << reason;
            if (term != nullptr && *term != '\0') {
                EXPECT_NE(reason.find(term), std::string::npos) << reason;
            }
        }
    }

    TEST(Terminfo, TheScreenIsPaintedWithTheEntrysOwnSequencesWithoutPadding)
    {
        // A VT52 addresses the cursor with ESC Y and two offset bytes, and has
        // no alternate screen, no reverse video and no way to stop wrapping.
        const auto vt52 = loadSequences("vt52", STDERR_FILENO);
        ASSERT_TRUE(std::holds_alternative<Sequences>(vt52));
        const Sequences& sequences = std::get<Sequences>(vt52);
        EXPECT_EQ(paintChanges({ "a", "b" }, { "a", "c" }, 80, sequences),
            "\x1bY! \x1bK"
            "c");
        EXPECT_EQ(paintWhole({ "x" }, sequences), "\x1bH\x1bJ\x1bY  x");
        EXPECT_EQ(sequences.enterScreen + sequences.wrapOff + sequences.reverseOn + sequences.reverseOff, "");

        // A VT100's entry asks for delays ($<50>), which are not sent.
        const auto vt100 = loadSequences("vt100", STDERR_FILENO);
        ASSERT_TRUE(std::holds_alternative<Sequences>(vt100));
        EXPECT_EQ(std::get<Sequences>(vt100).clearScreen, "\x1b[H\x1b[J");
        EXPECT_EQ(std::get<Sequences>(vt100).rowStart(4), "\x1b[5;1H");
    }

} // namespace
} // namespace lintara::terminal
