// Keyboard input from a terminal in raw mode, as keys: UTF-8 text, the
// control keys Lintara uses, and the escape sequences of the usual terminals
// (xterm, VT220, tmux, the Linux console) for arrows, Home, End and Delete.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lintara::terminal {

struct Key {
    enum class Kind { text, enter, escape, up, down, left, right, home, end, backspace, del, interrupt, killLine };
    Kind kind = Kind::text;
    // The typed character, for Kind::text; one code point, valid UTF-8.
    std::string text;

    friend bool operator==(const Key&, const Key&) = default;
};

// Splits a byte stream into keys. Bytes are fed as they arrive; a sequence
// cut between two reads is held until the rest comes. An Escape byte that
// ends a read stands alone: terminals send a whole sequence in one write, so
// it was the Escape key. Unknown sequences are swallowed whole.
class KeyDecoder {
public:
    [[nodiscard]] std::vector<Key> feed(std::string_view bytes);

private:
    std::string pending_;
};

} // namespace lintara::terminal
