#include "Cells.hpp"

#include <algorithm>
#include <array>
#include <utility>

namespace lintara::terminal {

namespace {
    constexpr char32_t replacement = 0xFFFD;

    struct Range {
        char32_t first;
        char32_t last;
    };

    // Zero-width: combining marks of the common blocks, Hangul medial and
    // final jamo (they join the preceding initial), zero-width spaces and
    // joiners, variation selectors.
    constexpr std::array zeroWidth {
        Range { 0x0300, 0x036F },
        Range { 0x0483, 0x0489 },
        Range { 0x0591, 0x05BD },
        Range { 0x0610, 0x061A },
        Range { 0x064B, 0x065F },
        Range { 0x0E31, 0x0E31 },
        Range { 0x0E34, 0x0E3A },
        Range { 0x1160, 0x11FF },
        Range { 0x1AB0, 0x1AFF },
        Range { 0x1DC0, 0x1DFF },
        Range { 0x200B, 0x200F },
        Range { 0x2028, 0x202E },
        Range { 0x2060, 0x2064 },
        Range { 0x20D0, 0x20FF },
        Range { 0x302A, 0x302F },
        Range { 0x3099, 0x309A },
        Range { 0xD7B0, 0xD7FF },
        Range { 0xFE00, 0xFE0F },
        Range { 0xFE20, 0xFE2F },
        Range { 0xFEFF, 0xFEFF },
        Range { 0xE0100, 0xE01EF },
    };

    // Wide (W) and full-width (F) in Unicode's East Asian Width, in blocks.
    constexpr std::array wide {
        Range { 0x1100, 0x115F },
        Range { 0x231A, 0x231B },
        Range { 0x2329, 0x232A },
        Range { 0x23E9, 0x23EC },
        Range { 0x23F0, 0x23F0 },
        Range { 0x23F3, 0x23F3 },
        Range { 0x25FD, 0x25FE },
        Range { 0x2614, 0x2615 },
        Range { 0x2648, 0x2653 },
        Range { 0x26AA, 0x26AB },
        Range { 0x26BD, 0x26BE },
        Range { 0x26C4, 0x26C5 },
        Range { 0x26D4, 0x26D4 },
        Range { 0x26EA, 0x26EA },
        Range { 0x26F2, 0x26F5 },
        Range { 0x26FA, 0x26FD },
        Range { 0x2705, 0x2705 },
        Range { 0x270A, 0x270B },
        Range { 0x2728, 0x2728 },
        Range { 0x274C, 0x274C },
        Range { 0x2753, 0x2757 },
        Range { 0x2795, 0x2797 },
        Range { 0x27B0, 0x27B0 },
        Range { 0x27BF, 0x27BF },
        Range { 0x2B1B, 0x2B1C },
        Range { 0x2B50, 0x2B50 },
        Range { 0x2B55, 0x2B55 },
        Range { 0x2E80, 0x303E },
        Range { 0x3041, 0x3247 },
        Range { 0x3250, 0x4DBF },
        Range { 0x4E00, 0xA4CF },
        Range { 0xA960, 0xA97F },
        Range { 0xAC00, 0xD7A3 },
        Range { 0xF900, 0xFAFF },
        Range { 0xFE10, 0xFE19 },
        Range { 0xFE30, 0xFE6F },
        Range { 0xFF00, 0xFF60 },
        Range { 0xFFE0, 0xFFE6 },
        Range { 0x16FE0, 0x16FE4 },
        Range { 0x17000, 0x18CFF },
        Range { 0x1AFF0, 0x1B2FF },
        Range { 0x1F004, 0x1F004 },
        Range { 0x1F0CF, 0x1F0CF },
        Range { 0x1F18E, 0x1F18E },
        Range { 0x1F191, 0x1F19A },
        Range { 0x1F200, 0x1F265 },
        Range { 0x1F300, 0x1F64F },
        Range { 0x1F680, 0x1F6FF },
        Range { 0x1F7E0, 0x1F7EB },
        Range { 0x1F90C, 0x1F9FF },
        Range { 0x1FA70, 0x1FAFF },
        Range { 0x20000, 0x2FFFD },
        Range { 0x30000, 0x3FFFD },
    };

    template <std::size_t N> bool inRanges(const std::array<Range, N>& ranges, char32_t c)
    {
        const auto found = std::upper_bound(
            ranges.begin(), ranges.end(), c, [](char32_t value, const Range& range) { return value < range.first; });
        return found != ranges.begin() && c <= std::prev(found)->last;
    }

    bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }
} // namespace

char32_t nextCodePoint(std::string_view text, std::size_t& pos)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    int length = 0;
    char32_t c = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
        least = 0x10000;
    } else {
        ++pos;
        return replacement;
    }
    if (pos + static_cast<std::size_t>(length) > text.size()) {
        ++pos;
        return replacement;
    }
    for (int i = 1; i < length; ++i) {
        const unsigned char next = byte(pos + static_cast<std::size_t>(i));
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return replacement;
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++pos;
        return replacement;
    }
    pos += static_cast<std::size_t>(length);
    return c;
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
    if (c == 0 || isControl(c) || inRanges(zeroWidth, c)) {
        return 0;
    }
    return inRanges(wide, c) ? 2 : 1;
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
        if (c == '\n' && newlines == Newlines::keep) {
            out.push_back('\n');
        } else if (c == '\t') {
            out.push_back(' ');
        } else if (isControl(c) || (c >= 0x2028 && c <= 0x202E)) {
            // Line and paragraph separators and the bidirectional overrides
            // would reorder or break what follows them.
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
        if (!paragraph.empty() && paragraph.back() == '\r') {
            paragraph.remove_suffix(1);
        }
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
