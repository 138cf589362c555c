// SPDX-License-Identifier: MIT
// Keyboard input from a terminal in raw mode, as keys: UTF-8 text, the
// control keys Lintara uses, and the escape sequences of the usual terminals
// (xterm, VT220, tmux, the Linux console) for arrows, Home, End and Delete.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lintara::terminal {

struct Key {
    enum class Kind {
        text,
        enter,
        escape,
        up,
        down,
        left,
        right,
        home,
        end,
        pageUp,
        pageDown,
        backspace,
        del,
        interrupt,
        killLine,
        suspend
    };
    Kind kind = Kind::text;
    // The typed character, for Kind::text; one code point, valid UTF-8.
    std::string text;

    friend bool operator==(const Key&, const Key&) = default;
};

// Splits a byte stream into keys. Bytes are fed as they arrive; a sequence
// cut between two reads is held until the rest comes. That includes an
// Escape byte that ends a read: a sequence can arrive in two pieces (over a
// slow link, or cut by the terminal's writes), so whether it was the Escape
// key is known only once no more bytes come for a moment. Unknown sequences
// are swallowed whole.
class KeyDecoder {
public:
    [[nodiscard]] std::vector<Key> feed(std::string_view bytes);

    // Whether the bytes held start an escape sequence whose rest has not come.
    [[nodiscard]] bool holdsEscape() const;
    // No more bytes came: a lone Escape byte held was the Escape key; the
    // start of a longer sequence is dropped.
    [[nodiscard]] std::vector<Key> giveUpWaiting();

private:
    std::string pending_;
};

} // namespace lintara::terminal
