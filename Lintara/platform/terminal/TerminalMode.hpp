// SPDX-License-Identifier: MIT
// The terminal's modes, and putting them back. Lintara takes the terminal
// over (raw input, the alternate screen, no cursor) and must hand it back on
// every way out: a normal exit, a signal, an uncaught exception, a crash.
// The state needed to restore is kept in one place, so that a signal handler
// can restore with async-signal-safe calls alone.
#pragma once

#include "Terminfo.hpp"

#include <string_view>

namespace lintara::terminal {

// Raw input (no echo, no line editing, no signals from keys, so Ctrl-C
// arrives as a key), the alternate screen, the cursor hidden, no wrapping at
// the margin, as far as the terminal's sequences offer them. Registers the
// restore for exit(), std::terminate and fatal signals, and for SIGTSTP: the
// terminal is restored before the stop and taken again on SIGCONT.
void enterFullScreen(int inputFd, int outputFd, const Sequences& sequences);

// Readable each time the terminal has been taken again after a stop, when
// the screen must be drawn anew; read it empty first. -1 before
// enterFullScreen.
[[nodiscard]] int continuedFd();

// Puts back the modes saved by enterFullScreen. Safe to call more than once,
// and from a signal handler.
void restoreTerminal();

// Writes all of the bytes to the terminal, retrying after interruptions.
void writeToTerminal(std::string_view bytes);

} // namespace lintara::terminal
