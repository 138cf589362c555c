// SPDX-License-Identifier: MIT
// The editable field of a dialog: a single line of text with a caret,
// counted in code points, so that a Hangul syllable is one step of the arrow
// keys and one Backspace, whatever its bytes.
#pragma once

#include <string>
#include <string_view>

namespace lintara::terminal {

class LineEditor {
public:
    explicit LineEditor(std::string_view initial = {});

    // No valid entry comes near this; the bound keeps a huge paste from
    // costing more than a few keys' work.
    static constexpr std::size_t maxLength = 64;

    // Inserts at the caret and moves past it. Controls, line breaks and
    // bidirectional controls are not taken: the field is one line of plain
    // text. What would go past maxLength is dropped.
    void insert(std::string_view utf8);
    void backspace();
    void deleteForward();
    void left();
    void right();
    void home();
    void end();
    // Deletes everything before the caret, as Ctrl-U does in a shell.
    void killToStart();

    [[nodiscard]] std::string text() const;
    [[nodiscard]] std::size_t caret() const { return caret_; }
    [[nodiscard]] std::size_t length() const { return chars_.size(); }
    [[nodiscard]] const std::u32string& codePoints() const { return chars_; }

private:
    std::u32string chars_;
    std::size_t caret_ = 0;
};

} // namespace lintara::terminal
