// SPDX-License-Identifier: MIT
#include "Screen.hpp"

#include "Cells.hpp"
#include "Lintara/text.hpp"

#include <algorithm>

namespace lintara::terminal {

namespace {
    constexpr int ruleWidth = 40;
    constexpr int fieldWidth = 32;
    // An entry's selection mark, key and check mark, and a few cells of its
    // title.
    constexpr int narrowest = 16;
    // The title, the rule, and the dialog box's top, button line and bottom.
    constexpr int dialogFrameRows = 5;

    std::string repeat(std::string_view piece, int count)
    {
        std::string out;
        for (int i = 0; i < count; ++i) {
            out.append(piece);
        }
        return out;
    }

    std::string rule(int columns) { return repeat("─", std::min(columns, ruleWidth)); }

    std::string entryLine(const MenuItem& item, bool selected, int columns)
    {
        if (item.isSeparator) {
            return "  " + repeat("─", std::max(0, std::min(columns, ruleWidth) - 2));
        }
        std::string line = selected ? "> " : "  ";
        const std::optional<char> key = keyFor(item);
        if (!isChoosable(item)) {
            line += "    ";
        } else if (!item.isEnabled() || !key) {
            line += " -  ";
        } else {
            line += std::string("[") + *key + "] ";
        }
        line += item.state == ControlState::on ? "✓ " : "  ";
        line += printable(item.title);
        return fitToWidth(line, columns);
    }

    // The field, a fixed number of cells wide, scrolled so that the caret
    // shows, the caret drawn as a reverse-video cell.
    std::string fieldLine(const LineEditor& field, int columns, const Sequences& sequences)
    {
        const int width = std::max(4, std::min(fieldWidth, columns - 4));
        const std::u32string& chars = field.codePoints();
        const std::size_t caret = field.caret();
        // Scroll: start far enough right that the text up to the caret, and
        // the caret cell itself, fit.
        // A zero-width character gets a cell of its own, drawn as a space.
        const auto cells = [](char32_t c) { return std::max(1, cellWidth(c)); };
        std::size_t first = caret;
        for (int used = 1; first > 0 && used + cells(chars[first - 1]) <= width;) {
            --first;
            used += cells(chars[first]);
        }
        std::string line = "│ [";
        int used = 0;
        for (std::size_t i = first; i <= chars.size(); ++i) {
            const char32_t c = i < chars.size() ? chars[i] : U' ';
            const int w = cells(c);
            if (used + w > width) {
                break;
            }
            std::string cell;
            appendUtf8(cell, cellWidth(c) == 0 ? U' ' : c);
            line += i == caret ? sequences.reverseOn + cell + sequences.reverseOff : cell;
            used += w;
        }
        line += repeat(" ", width - used) + "]";
        return line;
    }

    // The dialog's texts wrapped to the box, and how many lines of each fit
    // between the box's top and its field and buttons. Only the end of a huge
    // text is laid out at all.
    struct DialogView {
        std::vector<std::string> heading;
        std::vector<std::string> body;
        std::size_t headingRows = 0;
        std::size_t bodyRows = 0;
        bool scrolls = false;
        bool fits = true;
        [[nodiscard]] std::size_t scrollLimit() const { return body.size() - bodyRows; }
    };

    DialogView viewOf(const Dialog& dialog, int columns, int rows)
    {
        const auto wrapped = [inner = columns - 2](const std::string& text) {
            return wrapToWidth(printable(displayedTail(text), Newlines::keep), inner);
        };
        DialogView view { wrapped(dialog.alert.messageText), wrapped(dialog.alert.informativeText) };
        const int room = rows - dialogFrameRows - (dialog.alert.accessoryView ? 1 : 0);
        const std::size_t lines = view.heading.size() + view.body.size();
        if (room >= 0 && lines <= static_cast<std::size_t>(room)) {
            view.headingRows = view.heading.size();
            view.bodyRows = view.body.size();
            return view;
        }
        // Too long: the heading keeps at most half of the room, and the body
        // scrolls in the rest, above a line that tells where the view is.
        if (room < 3) {
            view.fits = false;
            return view;
        }
        view.scrolls = true;
        const auto left = static_cast<std::size_t>(room - 1);
        view.bodyRows = std::min(view.body.size(), left - std::min(view.heading.size(), left / 2));
        view.headingRows = std::min(view.heading.size(), left - view.bodyRows);
        return view;
    }

    void addDialog(std::vector<std::string>& lines, const Dialog& dialog, const DialogView& view, int columns,
        const Sequences& sequences)
    {
        const Alert& alert = dialog.alert;
        lines.push_back("┌" + rule(columns - 1));
        for (std::size_t i = 0; i < view.headingRows; ++i) {
            lines.push_back("│ " + view.heading[i]);
        }
        const std::size_t end = view.body.size() - std::min(dialog.scrolledBack, view.scrollLimit());
        for (std::size_t i = end - view.bodyRows; i < end; ++i) {
            lines.push_back("│ " + view.body[i]);
        }
        if (view.scrolls) {
            lines.push_back(fitToWidth("│ ↑/↓ PgUp/PgDn: lines " + std::to_string(end - view.bodyRows + 1) + "-"
                    + std::to_string(end) + " of " + std::to_string(view.body.size()),
                columns));
        }
        if (alert.accessoryView) {
            lines.push_back(fieldLine(dialog.field, columns, sequences));
        }
        std::string buttons = "│ ";
        if (alert.buttons.size() == 1) {
            buttons += "Enter/Esc: " + printable(alert.buttons[0]);
        } else if (!alert.buttons.empty()) {
            buttons += "Enter: " + printable(alert.buttons[0]) + "   Esc: " + printable(alert.buttons[1]);
        } else {
            buttons += "Enter/Esc";
        }
        lines.push_back(fitToWidth(buttons, columns));
        lines.push_back("└" + rule(columns - 1));
    }

    // Whether a terminal this wide holds a title of this many cells and an
    // entry line; below that only tooSmall shows.
    bool fitsTitle(int columns, int titleWidth) { return columns >= std::max(narrowest, titleWidth); }

    // Shown alone in a terminal too small for anything else: a line that
    // would wrap could scroll the screen away.
    std::vector<std::string> tooSmall(int columns)
    {
        for (const char* note : { "terminal too small", "too small" }) {
            if (displayWidth(note) <= columns) {
                return { note };
            }
        }
        return { "" };
    }

    // Whether a terminal could draw the row past its last column: characters
    // outside ASCII counted narrower than two cells are drawn one cell wider
    // by some terminals (East Asian ambiguous ones in CJK setups, marks and
    // new emoji by terminals with older tables).
    bool couldOverflow(std::string_view row, int columns, const Sequences& sequences)
    {
        int width = 0;
        for (std::size_t pos = 0; pos < row.size();) {
            // The caret's reverse video takes no cells.
            bool skipped = false;
            for (const std::string& attribute : { sequences.reverseOn, sequences.reverseOff }) {
                if (!attribute.empty() && row.compare(pos, attribute.size(), attribute) == 0) {
                    pos += attribute.size();
                    skipped = true;
                    break;
                }
            }
            if (skipped) {
                continue;
            }
            const char32_t c = nextCodePoint(row, pos);
            const int cells = cellWidth(c);
            width += c >= 0x80 && cells < 2 ? cells + 1 : cells;
        }
        return width > columns;
    }
} // namespace

std::optional<char> keyFor(const MenuItem& item)
{
    if (!item.keyEquivalent.empty()) {
        return item.keyEquivalent.front();
    }
    switch (item.action) {
    case Action::none: return std::nullopt;
    case Action::toggleAutomatic: return 'a';
    case Action::preset:
        if (item.tag && *item.tag >= 1 && *item.tag <= 9) {
            return static_cast<char>('0' + *item.tag);
        }
        return std::nullopt;
    case Action::customDuration: return 'c';
    case Action::cancelTimer: return 'x';
    case Action::quitApp: return 'q';
    }
    return std::nullopt;
}

char warningKey(WarningAction action) { return action == WarningAction::extend ? 'e' : 'n'; }

bool isChoosable(const MenuItem& item) { return !item.isSeparator && item.action != Action::none; }

TextScroll dialogScroll(const Dialog& dialog, int columns, int rows)
{
    const DialogView view = viewOf(dialog, columns, rows);
    return { view.scrollLimit(), view.bodyRows };
}

std::vector<std::string> layoutScreen(const ScreenState& state, int columns, int rows, const Sequences& sequences)
{
    const std::string title = printable(state.title);
    if (!fitsTitle(columns, displayWidth(title))) {
        return tooSmall(columns);
    }
    std::vector<std::string> lines { title };
    if (state.warning != nullptr && state.dialog == nullptr) {
        lines.push_back(fitToWidth(printable(state.warning->summary + ": " + state.warning->body), columns));
        std::string keys;
        for (const Warning::Choice& choice : state.warning->actions) {
            keys += std::string(keys.empty() ? "" : "   ") + "[" + warningKey(choice.action) + "] "
                + printable(choice.title);
        }
        lines.push_back(fitToWidth(keys, columns));
    }
    lines.push_back(rule(columns));
    if (state.dialog != nullptr) {
        const DialogView view = viewOf(*state.dialog, columns, rows);
        if (!view.fits) {
            return tooSmall(columns);
        }
        addDialog(lines, *state.dialog, view, columns, sequences);
    } else {
        if (rows < static_cast<int>(lines.size() + state.menu.items.size())) {
            return tooSmall(columns);
        }
        for (std::size_t i = 0; i < state.menu.items.size(); ++i) {
            lines.push_back(entryLine(state.menu.items[i], state.selected == i, columns));
        }
        lines.emplace_back();
        lines.push_back(fitToWidth("↑/↓ Enter, or the key in [ ]", columns));
    }
    if (static_cast<int>(lines.size()) > rows) {
        lines.resize(static_cast<std::size_t>(rows));
    }
    return lines;
}

std::string paintChanges(const std::vector<std::string>& shown, const std::vector<std::string>& next, int columns,
    const Sequences& sequences)
{
    std::string out;
    const std::size_t rows = std::max(shown.size(), next.size());
    for (std::size_t row = 0; row < rows; ++row) {
        const bool wasShown = row < shown.size();
        const bool isShown = row < next.size();
        if (wasShown && isShown && shown[row] == next[row]) {
            continue;
        }
        if (isShown && couldOverflow(next[row], columns, sequences)) {
            return paintWhole(next, sequences);
        }
        // Erased before it is drawn: with wrapping off, erasing after a row
        // that fills the line would take its last cell away.
        out += sequences.rowStart(static_cast<int>(row)) + sequences.clearLine;
        if (isShown) {
            out += next[row];
        }
    }
    return out;
}

std::optional<std::string> paintTitle(
    std::vector<std::string>& shown, const std::string& title, int columns, const Sequences& sequences)
{
    // A screen of one line says only that the terminal is too small; the
    // title is the first row of every other.
    if (shown.size() < 2) {
        return std::nullopt;
    }
    // A countdown is printable ASCII, a cell a byte, which no terminal draws
    // wider; the rest of the checks are for text that is not.
    const bool plain = std::all_of(title.begin(), title.end(), [](char c) { return c >= ' ' && c <= '~'; });
    std::string row = plain ? title : printable(title);
    const int width = plain ? static_cast<int>(row.size()) : displayWidth(row);
    if (!fitsTitle(columns, width) || (!plain && couldOverflow(row, columns, sequences))) {
        return std::nullopt;
    }
    std::string out;
    if (row != shown.front()) {
        out = sequences.topRow + sequences.clearLine + row;
        shown.front() = std::move(row);
    }
    return out;
}

std::string paintWhole(const std::vector<std::string>& next, const Sequences& sequences)
{
    std::string out = sequences.clearScreen;
    for (std::size_t row = 0; row < next.size(); ++row) {
        out += sequences.rowStart(static_cast<int>(row)) + next[row];
    }
    return out;
}

} // namespace lintara::terminal
