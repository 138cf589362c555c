// SPDX-License-Identifier: MIT
#include "Terminfo.hpp"

// term.h defines a macro for every capability's long name (bell, lines,
// columns, clear_screen, ...), so it comes last and this file uses none of
// those names.
#include <term.h>

namespace lintara::terminal {

namespace {
    // A capability's string with its padding ($<5>, $<50/>) left out: the
    // terminals that wanted delays are long gone, and tputs is not used.
    std::string withoutPadding(const char* capability)
    {
        std::string text;
        for (const char* at = capability; *at != '\0'; ++at) {
            if (at[0] == '$' && at[1] == '<') {
                const char* end = at + 2;
                while (*end != '\0' && *end != '>') {
                    ++end;
                }
                if (*end == '>') {
                    at = end;
                    continue;
                }
            }
            text += *at;
        }
        return text;
    }

    // The capability's string, or nothing when the entry has none. tigetstr
    // answers (char*)-1 for a name that is not a string capability.
    std::string capability(const char* name)
    {
        char* value = tigetstr(name);
        if (value == nullptr || value == reinterpret_cast<char*>(-1)) {
            return {};
        }
        return withoutPadding(value);
    }
} // namespace

Sequences Sequences::ansi()
{
    Sequences ansi;
    ansi.enterScreen = "\x1b[?1049h";
    ansi.leaveScreen = "\x1b[?1049l";
    ansi.hideCursor = "\x1b[?25l";
    ansi.showCursor = "\x1b[?25h";
    ansi.wrapOff = "\x1b[?7l";
    ansi.wrapOn = "\x1b[?7h";
    ansi.clearScreen = "\x1b[H\x1b[2J";
    ansi.clearLine = "\x1b[2K";
    ansi.reverseOn = "\x1b[7m";
    ansi.reverseOff = "\x1b[27m";
    ansi.ringBell = "\a";
    ansi.rowStart = [](int row) { return "\x1b[" + std::to_string(row + 1) + ";1H"; };
    ansi.topRow = ansi.rowStart(0);
    return ansi;
}

std::variant<Sequences, Unsuitable> loadSequences(const char* term, int fd)
{
    if (term == nullptr || *term == '\0') {
        return Unsuitable { "TERM is not set, so the terminal's type is unknown; set it to the terminal's "
                            "type (such as xterm-256color)." };
    }
    const std::string name(term);
    int status = 0;
    // OK (0) on success; ERR with status telling why otherwise.
    if (setupterm(name.c_str(), fd, &status) != 0) {
        return Unsuitable { "the terminal type " + name
            + " (TERM) has no terminfo entry on this machine; set "
              "TERM to one that has (infocmp lists an entry), or install ncurses-term." };
    }
    // Everything needed is copied out, so the entry is freed on every way
    // out; tiparm needs no loaded terminal.
    struct Loaded {
        ~Loaded() { del_curterm(cur_term); }
    } loaded;
    Sequences sequences;
    const std::string move = capability("cup");
    sequences.clearScreen = capability("clear");
    sequences.clearLine = capability("el");
    if (move.empty() || sequences.clearScreen.empty() || sequences.clearLine.empty()) {
        return Unsuitable { "the terminal type " + name
            + " (TERM) cannot place the cursor or clear the screen, which the full screen needs; run "
              "lintara-term in a terminal that can, or set TERM to its type." };
    }
    sequences.rowStart = [move](int row) {
        // tiparm takes its arguments as the capability declares them; cup
        // takes the row and the column.
        return withoutPadding(tiparm(move.c_str(), row, 0));
    };
    sequences.topRow = sequences.rowStart(0);
    sequences.enterScreen = capability("smcup");
    sequences.leaveScreen = capability("rmcup");
    sequences.hideCursor = capability("civis");
    sequences.showCursor = capability("cnorm");
    sequences.wrapOff = capability("rmam");
    sequences.wrapOn = capability("smam");
    sequences.reverseOn = capability("rev");
    sequences.reverseOff = sequences.reverseOn.empty() ? std::string() : capability("sgr0");
    sequences.ringBell = capability("bel");
    return sequences;
}

} // namespace lintara::terminal
