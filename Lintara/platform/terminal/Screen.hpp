// What the terminal shows, as lines of text, and the bytes that bring a
// terminal from one screen to the next. Pure, so that layout and redraw can
// be tested without a terminal.
//
// Layout, top to bottom: the status item's title exactly as set; a rule; the
// menu, one entry per line in the menu's order; a line of help. An entry
// line reads "> [a] ✓ title": the selection mark, the entry's key in brackets
// (" - " instead when the entry is disabled, blank for lines that do
// nothing), a check mark when its state is on, then its title verbatim. A
// separator is a rule. While a dialog is open it takes the menu's place.
#pragma once

#include "LineEditor.hpp"
#include "Lintara/platform/Platform.hpp"

#include <optional>
#include <string>
#include <vector>

namespace lintara::terminal {

// The key that chooses an entry: its own key equivalent if it has one, else
// one by action: a (the switch), the preset's hours (1, 2, 4), c (custom), x
// (cancel), q (quit). None for entries without an action.
[[nodiscard]] std::optional<char> keyFor(const MenuItem& item);
// Whether choosing the entry may do something: it has an action.
[[nodiscard]] bool isChoosable(const MenuItem& item);

struct Dialog {
    Alert alert;
    LineEditor field;
};

struct ScreenState {
    std::string title;
    Menu menu;
    // Index into menu.items of the entry that Enter chooses.
    std::optional<std::size_t> selected;
    const Dialog* dialog = nullptr;
};

// The lines to show in a terminal of the given size; none wider than
// columns, no more than rows of them. Lines may carry SGR sequences (reverse
// video for the field's caret) that take no columns.
[[nodiscard]] std::vector<std::string> layoutScreen(const ScreenState& state, int columns, int rows);

// The bytes that turn a terminal showing `shown` into one showing `next`,
// touching only the rows that differ.
[[nodiscard]] std::string paintChanges(const std::vector<std::string>& shown, const std::vector<std::string>& next);

} // namespace lintara::terminal
