#include "Screen.hpp"

#include "Cells.hpp"

#include <algorithm>

namespace lintara::terminal {

namespace {
    constexpr int ruleWidth = 40;
    constexpr int fieldWidth = 32;
    const std::string reverseOn = "\x1b[7m";
    const std::string reverseOff = "\x1b[27m";

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
    std::string fieldLine(const LineEditor& field, int columns)
    {
        const int width = std::max(4, std::min(fieldWidth, columns - 4));
        const std::u32string& chars = field.codePoints();
        const std::size_t caret = field.caret();
        // Scroll: start far enough right that the text up to the caret, and
        // the caret cell itself, fit.
        std::size_t first = 0;
        const auto widthOf = [&](std::size_t from, std::size_t to) {
            int total = 0;
            for (std::size_t i = from; i < to; ++i) {
                total += cellWidth(chars[i]);
            }
            return total;
        };
        while (first < caret && widthOf(first, caret) + 1 > width) {
            ++first;
        }
        std::string line = "│ [";
        int used = 0;
        for (std::size_t i = first; i <= chars.size(); ++i) {
            const char32_t c = i < chars.size() ? chars[i] : U' ';
            const int w = std::max(1, cellWidth(c));
            if (used + w > width) {
                break;
            }
            std::string cell;
            appendUtf8(cell, cellWidth(c) == 0 ? U' ' : c);
            line += i == caret ? reverseOn + cell + reverseOff : cell;
            used += w;
        }
        line += repeat(" ", width - used) + "]";
        return line;
    }

    void addDialog(std::vector<std::string>& lines, const Dialog& dialog, int columns)
    {
        const Alert& alert = dialog.alert;
        const int inner = std::max(2, columns - 2);
        lines.push_back("┌" + rule(columns - 1));
        for (const std::string& text : { alert.messageText, alert.informativeText }) {
            for (const std::string& piece : wrapToWidth(printable(text, Newlines::keep), inner)) {
                lines.push_back("│ " + piece);
            }
        }
        if (alert.accessoryView) {
            lines.push_back(fieldLine(dialog.field, columns));
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

bool isChoosable(const MenuItem& item) { return !item.isSeparator && item.action != Action::none; }

std::vector<std::string> layoutScreen(const ScreenState& state, int columns, int rows)
{
    columns = std::max(columns, 8);
    std::vector<std::string> lines;
    lines.push_back(fitToWidth(printable(state.title), columns));
    lines.push_back(rule(columns));
    if (state.dialog != nullptr) {
        addDialog(lines, *state.dialog, columns);
    } else {
        for (std::size_t i = 0; i < state.menu.items.size(); ++i) {
            lines.push_back(entryLine(state.menu.items[i], state.selected == i, columns));
        }
        lines.emplace_back();
        lines.push_back(fitToWidth("↑/↓ Enter, or the key in [ ]", columns));
    }
    if (rows > 0 && static_cast<int>(lines.size()) > rows) {
        lines.resize(static_cast<std::size_t>(rows));
    }
    return lines;
}

std::string paintChanges(const std::vector<std::string>& shown, const std::vector<std::string>& next)
{
    std::string out;
    const std::size_t rows = std::max(shown.size(), next.size());
    for (std::size_t row = 0; row < rows; ++row) {
        const bool wasShown = row < shown.size();
        const bool isShown = row < next.size();
        if (wasShown && isShown && shown[row] == next[row]) {
            continue;
        }
        out += "\x1b[" + std::to_string(row + 1) + ";1H";
        if (isShown) {
            out += next[row];
            out += "\x1b[K";
        } else {
            out += "\x1b[2K";
        }
    }
    return out;
}

} // namespace lintara::terminal
