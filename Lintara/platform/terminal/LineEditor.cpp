// SPDX-License-Identifier: MIT
#include "LineEditor.hpp"

#include "Cells.hpp"

namespace lintara::terminal {

LineEditor::LineEditor(std::string_view initial) { insert(initial); }

void LineEditor::insert(std::string_view utf8)
{
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t c = nextCodePoint(utf8, pos);
        if (isUnsafeForTerminal(c)) {
            continue;
        }
        if (chars_.size() >= maxLength) {
            return;
        }
        chars_.insert(chars_.begin() + static_cast<std::ptrdiff_t>(caret_), c);
        ++caret_;
    }
}

void LineEditor::backspace()
{
    if (caret_ > 0) {
        --caret_;
        chars_.erase(caret_, 1);
    }
}

void LineEditor::deleteForward()
{
    if (caret_ < chars_.size()) {
        chars_.erase(caret_, 1);
    }
}

void LineEditor::left()
{
    if (caret_ > 0) {
        --caret_;
    }
}

void LineEditor::right()
{
    if (caret_ < chars_.size()) {
        ++caret_;
    }
}

void LineEditor::home() { caret_ = 0; }

void LineEditor::end() { caret_ = chars_.size(); }

void LineEditor::killToStart()
{
    chars_.erase(0, caret_);
    caret_ = 0;
}

std::string LineEditor::text() const
{
    std::string out;
    for (const char32_t c : chars_) {
        appendUtf8(out, c);
    }
    return out;
}

} // namespace lintara::terminal
