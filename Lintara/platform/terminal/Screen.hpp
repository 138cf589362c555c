// SPDX-License-Identifier: MIT
// What the terminal shows, as lines of text, and the bytes that bring a
// terminal from one screen to the next. Pure, so that layout and redraw can
// be tested without a terminal.
//
// Layout, top to bottom: the status item's title exactly as set; a rule; the
// menu, one entry per line in the menu's order; a line of help. An entry
// line reads "> [a] ✓ title": the selection mark, the entry's key in brackets
// (" - " instead when the entry is disabled, blank for lines that do
// nothing), a check mark when its state is on, then its title verbatim. A
// separator is a rule. While a warning shows, two lines come between the
// title and the rule: its summary and body, and its actions with their keys.
// While a dialog is open it takes the menu's place, and the warning's; a
// text too long for the terminal scrolls inside the dialog, between its
// heading and its buttons, which always show. Below the smallest size that
// fits the title and the menu (or the dialog), only "terminal too small"
// shows.
#pragma once

#include "LineEditor.hpp"
#include "Lintara/platform/Platform.hpp"
#include "Terminfo.hpp"

#include <optional>
#include <string>
#include <vector>

namespace lintara::terminal {

// The key that chooses an entry: its own key equivalent if it has one, else
// one by action: a (the switch), the preset's hours (1, 2, 4), c (custom), x
// (cancel), q (quit). None for entries without an action.
[[nodiscard]] std::optional<char> keyFor(const MenuItem& item);
// The key that chooses a warning's action: e (extend), n (disconnect now).
[[nodiscard]] char warningKey(WarningAction action);
// Whether the entry can hold the selection and shows a key: it has an action.
// Whether choosing it then does anything is Menu::choice's to decide.
[[nodiscard]] bool isChoosable(const MenuItem& item);

struct Dialog {
    Alert alert;
    LineEditor field;
    // Lines of the informative text's end scrolled out of view below it; 0
    // shows the newest end, which is where a tool's output says how it went.
    std::size_t scrolledBack = 0;
};

// How far a dialog's text can scroll back in a terminal of the given size,
// and how many of its lines show at once (a page).
struct TextScroll {
    std::size_t limit = 0;
    std::size_t page = 0;
};
[[nodiscard]] TextScroll dialogScroll(const Dialog& dialog, int columns, int rows);

struct ScreenState {
    std::string title;
    Menu menu;
    // Index into menu.items of the entry that Enter chooses.
    std::optional<std::size_t> selected;
    const Dialog* dialog = nullptr;
    const Warning* warning = nullptr;
};

// The lines to show in a terminal of the given size; none wider than
// columns, no more than rows of them. Lines may carry the terminal's reverse
// video sequences (for the field's caret), which take no columns.
[[nodiscard]] std::vector<std::string> layoutScreen(
    const ScreenState& state, int columns, int rows, const Sequences& sequences = Sequences::ansi());

// The bytes that turn a terminal showing `shown` into one showing `next`,
// touching only the rows that differ; or all of them when a changed row could
// be drawn past the last of the given columns (terminals disagree on the width
// of some characters), since it may then have wrapped onto the row below.
[[nodiscard]] std::string paintChanges(const std::vector<std::string>& shown, const std::vector<std::string>& next,
    int columns, const Sequences& sequences = Sequences::ansi());
// The bytes that bring `shown`, a screen from layoutScreen, to the same screen
// with only the title changed, updating `shown` to match; none when the
// title is the same. Nothing, when more than the title's row would change
// (the title no longer fits, or could be drawn past the last column): the
// screen must then be laid out again.
[[nodiscard]] std::optional<std::string> paintTitle(std::vector<std::string>& shown, const std::string& title,
    int columns, const Sequences& sequences = Sequences::ansi());
// The bytes that clear the terminal and draw `next`.
[[nodiscard]] std::string paintWhole(
    const std::vector<std::string>& next, const Sequences& sequences = Sequences::ansi());

} // namespace lintara::terminal
