// SPDX-License-Identifier: MIT
#include "Cells.hpp"

#include "Lintara/text.hpp"

#include <glib.h>

#include <algorithm>
#include <utility>

namespace lintara::terminal {

namespace {
    constexpr char32_t replacement = 0xFFFD;

    bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }
} // namespace

char32_t nextCodePoint(std::string_view text, std::size_t& pos)
{
    if (const std::optional<char32_t> c = decodeNext(text, pos)) {
        return *c;
    }
    ++pos;
    return replacement;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

int cellWidth(char32_t c)
{
    if (isControl(c) || g_unichar_iszerowidth(c)) {
        return 0;
    }
    return g_unichar_iswide(c) ? 2 : 1;
}

bool isUnsafeForTerminal(char32_t c)
{
    // Line and paragraph separators would break the line; the bidirectional
    // marks, embeddings, overrides and isolates would reorder what follows.
    return isControl(c) || c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E)
        || (c >= 0x2066 && c <= 0x2069);
}

int displayWidth(std::string_view text)
{
    int width = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        width += cellWidth(nextCodePoint(text, pos));
    }
    return width;
}

std::string printable(std::string_view text, Newlines newlines)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const char32_t c = nextCodePoint(text, pos);
        if (newlines == Newlines::keep && (c == '\n' || c == '\r')) {
            // CR LF ends a line as LF alone does; a lone CR, which would send
            // the cursor back over the line, breaks it too.
            if (c == '\r' && pos < text.size() && text[pos] == '\n') {
                ++pos;
            }
            out.push_back('\n');
        } else if (c == '\t') {
            out.push_back(' ');
        } else if (isUnsafeForTerminal(c)) {
            appendUtf8(out, replacement);
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

std::string fitToWidth(std::string_view text, int columns)
{
    int used = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t next = pos;
        const int width = cellWidth(nextCodePoint(text, next));
        if (used + width > columns) {
            break;
        }
        used += width;
        pos = next;
    }
    return std::string(text.substr(0, pos));
}

std::vector<std::string> wrapToWidth(std::string_view text, int columns)
{
    columns = std::max(columns, 2);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        std::string_view paragraph = text.substr(start, end == std::string_view::npos ? text.npos : end - start);
        if (paragraph.empty()) {
            lines.emplace_back();
        }
        while (!paragraph.empty()) {
            std::string piece = fitToWidth(paragraph, columns);
            std::size_t taken = piece.size();
            if (taken < paragraph.size() && paragraph[taken] == ' ') {
                // The piece ends at a word's end: the space goes with the break.
                ++taken;
            } else if (taken < paragraph.size()) {
                const std::size_t space = piece.rfind(' ');
                if (space != std::string::npos && space > 0) {
                    taken = space + 1;
                    piece.resize(space);
                }
            }
            if (taken == 0) {
                // Not even one character fits (a wide one in one column).
                std::size_t next = 0;
                (void)nextCodePoint(paragraph, next);
                taken = next;
                piece = std::string(paragraph.substr(0, next));
            }
            lines.push_back(std::move(piece));
            paragraph.remove_prefix(taken);
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}

} // namespace lintara::terminal
