// SPDX-License-Identifier: MIT
// Pure functions over outside input: UTF-8 text, the user's typed duration, a
// countdown interval. Each stands on its own so that it can be tested and
// fuzzed without a controller.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lintara {

// Whether a code point is white space or a line break in the sense of the
// platform's "whitespacesAndNewlines": the Unicode space separators (Zs),
// U+0009-U+000D, U+0085, U+2028 and U+2029.
[[nodiscard]] bool isWhitespaceOrNewline(char32_t c);

// Whether a code point ends a line: U+000A-U+000D, U+0085, U+2028, U+2029.
[[nodiscard]] bool isNewline(char32_t c);

// Removes white space and line breaks from both ends of UTF-8 text. Bytes that
// do not form valid UTF-8 at an end are kept, and stop the trimming there.
[[nodiscard]] std::string_view trimWhitespaceAndNewlines(std::string_view text);

// Splits UTF-8 text at every line-break character. Each break ends one line, so
// CR LF leaves an empty line between the two, and text that ends in a break
// has an empty last line.
[[nodiscard]] std::vector<std::string_view> splitLines(std::string_view text);

// Returns the bytes unchanged if they are valid UTF-8, and the empty text if
// they are not: no overlong forms, no surrogates, nothing above U+10FFFF.
[[nodiscard]] std::string decodeUtf8(std::string bytes);
[[nodiscard]] bool isValidUtf8(std::string_view bytes);

// The code point that starts at text[at], decoded as strictly as isValidUtf8
// does, with at moved past it. Bytes that are not valid UTF-8 there give
// nothing and leave at where it was.
[[nodiscard]] std::optional<char32_t> decodeNext(std::string_view text, std::size_t& at);

// Whether text[at] leads a UTF-8 sequence longer than the bytes left, so that
// the next piece of a stream may still complete it. Whether the completed
// bytes are valid is decodeNext's to say.
[[nodiscard]] bool cutOffAt(std::string_view text, std::size_t at);

// A base-10 integer: one optional '+' or '-', then one or more ASCII digits,
// and nothing else; the value must fit in 64 signed bits.
[[nodiscard]] std::optional<std::int64_t> parseInt64(std::string_view text);

// The status item's title while a countdown runs: "VPN H:MM:SS" for the given
// seconds left, rounded up, never below zero, hours unbounded. An interval that
// is not finite, or too large for 64 bits, is clamped rather than trusted.
[[nodiscard]] std::string countdownTitle(double secondsLeft);

// The status item's title while nothing counts down, and while a disconnect
// runs. A binding that draws the state (an icon) tells them apart by these.
inline constexpr std::string_view idleTitle = "VPN ◷";
inline constexpr std::string_view busyTitle = "VPN 해제 중…";

// What a dialog lays out of a text that may be huge (a tool that flooded its
// output): the text itself when it fits in maxBytes, otherwise its end, cut at
// a line start where one lies in the last maxBytes (else at a character),
// below a line that holds only "…". The result is at most maxBytes plus that
// line.
inline constexpr std::size_t displayedTextLimit = 64 * 1024;
[[nodiscard]] std::string displayedTail(std::string_view text, std::size_t maxBytes = displayedTextLimit);

} // namespace lintara
