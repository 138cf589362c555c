// SPDX-License-Identifier: MIT
// Text measured in terminal cells. Hangul and other wide scripts take two
// columns, combining marks none, so widths here never come from byte counts,
// and never from the user's locale either: they come from GLib's Unicode
// tables, so a C locale cannot make Korean text overflow its line.
//
// Text from outside (the VPN tool's output shown in an alert) may hold escape
// sequences or invalid UTF-8; printable() makes it safe to send to a terminal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lintara::terminal {

// The next code point of UTF-8 text, advancing pos past it. Invalid or
// truncated bytes come back one at a time as U+FFFD. Decoded by the one strict
// decoder of Lintara/text.hpp.
[[nodiscard]] char32_t nextCodePoint(std::string_view text, std::size_t& pos);
void appendUtf8(std::string& out, char32_t c);

// Columns a code point takes: 0 for controls, combining marks and other
// zero-width characters, 2 for East Asian wide and full-width ones, 1
// otherwise. East Asian "ambiguous" characters (…, ◷, box drawing) count 1, as
// terminals outside CJK locales draw them.
[[nodiscard]] int cellWidth(char32_t c);
[[nodiscard]] int displayWidth(std::string_view text);

// Whether a terminal would act on the code point rather than show it: C0 and
// C1 controls, DEL, line and paragraph separators, and every bidirectional
// control (marks, embeddings, overrides, isolates).
[[nodiscard]] bool isUnsafeForTerminal(char32_t c);

// Replaces what a terminal would act on rather than show, and invalid UTF-8,
// with U+FFFD; a tab becomes a space. Line breaks are kept only when newlines
// says so: then LF, CR LF and a lone CR each become one LF.
enum class Newlines { replace, keep };
[[nodiscard]] std::string printable(std::string_view text, Newlines newlines = Newlines::replace);

// The longest prefix that fits in the given columns; a wide character that
// would straddle the edge is left out whole.
[[nodiscard]] std::string fitToWidth(std::string_view text, int columns);

// Breaks printable text into lines of at most the given columns, at line
// breaks and, within a line, after the last space that fits (or anywhere, for
// a run without spaces, as Korean often is).
[[nodiscard]] std::vector<std::string> wrapToWidth(std::string_view text, int columns);

} // namespace lintara::terminal
