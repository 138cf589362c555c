// SPDX-License-Identifier: MIT
// The bytes lintara-term writes to move about the screen, from the
// terminal's own terminfo entry (libtinfo), not from one terminal's manual;
// and the refusal of a terminal that cannot do what the full screen needs.
//
// Needed: cursor addressing (cup), clearing the screen (clear) and the rest
// of a line (el). Used when the entry has them: the alternate screen
// (smcup, rmcup), hiding the cursor (civis, cnorm), no wrapping at the
// margin (rmam, smam), reverse video for the field's caret (rev, sgr0) and
// the bell. Keys are still read as the usual terminals send them (Keys.hpp).
#pragma once

#include <functional>
#include <string>
#include <variant>

namespace lintara::terminal {

struct Sequences {
    std::string enterScreen;
    std::string leaveScreen;
    std::string hideCursor;
    std::string showCursor;
    std::string wrapOff;
    std::string wrapOn;
    // Clears the whole screen and puts the cursor at its top left.
    std::string clearScreen;
    // Clears from the cursor to the end of its line.
    std::string clearLine;
    std::string reverseOn;
    // Ends reverse video (terminfo knows no narrower way than all
    // attributes off).
    std::string reverseOff;
    std::string ringBell;
    // Puts the cursor at the start of a row, counted from 0.
    std::function<std::string(int row)> rowStart;
    // rowStart(0), kept: the title's row is redrawn every second.
    std::string topRow;

    // What xterm and its kind understand, for tests of layout and painting.
    [[nodiscard]] static Sequences ansi();
};

// Why the terminal cannot host the full screen, for the user.
struct Unsuitable {
    std::string reason;
};

// The sequences of the terminal type named (TERM), looked up in terminfo;
// fd is the terminal, whose size terminfo may read.
[[nodiscard]] std::variant<Sequences, Unsuitable> loadSequences(const char* term, int fd);

} // namespace lintara::terminal
