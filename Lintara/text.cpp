// SPDX-License-Identifier: MIT
#include "text.hpp"

#include <limits>

namespace lintara {
namespace {

    struct Decoded {
        char32_t codePoint;
        std::size_t length; // 0 when the bytes at this place are not valid UTF-8
    };

    // How many bytes the UTF-8 sequence that this byte leads has: 1 for ASCII
    // and for a byte that leads none.
    std::size_t sequenceLength(unsigned char lead)
    {
        if (lead >= 0xC2 && lead <= 0xDF) {
            return 2;
        }
        if (lead >= 0xE0 && lead <= 0xEF) {
            return 3;
        }
        if (lead >= 0xF0 && lead <= 0xF4) {
            return 4;
        }
        return 1;
    }

    // Decodes one code point starting at text[at], strictly (RFC 3629).
    Decoded decodeAt(std::string_view text, std::size_t at)
    {
        auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
        const unsigned char lead = byte(at);
        if (lead < 0x80) {
            return { lead, 1 };
        }
        const std::size_t length = sequenceLength(lead);
        if (length == 1) {
            return { 0, 0 };
        }
        // The lead byte's payload bits, and the least value each length may
        // carry: anything below it is an overlong form.
        constexpr char32_t leadMasks[] = { 0, 0, 0x1F, 0x0F, 0x07 };
        constexpr char32_t minimums[] = { 0, 0, 0x80, 0x800, 0x10000 };
        char32_t value = lead & leadMasks[length];
        const char32_t minimum = minimums[length];
        if (text.size() - at < length) {
            return { 0, 0 };
        }
        for (std::size_t i = 1; i < length; ++i) {
            const unsigned char next = byte(at + i);
            if ((next & 0xC0u) != 0x80u) {
                return { 0, 0 };
            }
            value = (value << 6u) | (next & 0x3Fu);
        }
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return { 0, 0 };
        }
        return { value, length };
    }

    // The code point that ends at text[end - 1], if the bytes there are valid.
    Decoded decodeBefore(std::string_view text, std::size_t end)
    {
        std::size_t start = end;
        for (std::size_t steps = 0; start > 0 && steps < 4; ++steps) {
            --start;
            if ((static_cast<unsigned char>(text[start]) & 0xC0u) != 0x80u) {
                const Decoded decoded = decodeAt(text, start);
                if (decoded.length == end - start) {
                    return decoded;
                }
                return { 0, 0 };
            }
        }
        return { 0, 0 };
    }

} // namespace

bool isNewline(char32_t c) { return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029; }

bool isWhitespaceOrNewline(char32_t c)
{
    if (c == 0x09 || isNewline(c)) {
        return true;
    }
    // General category Zs.
    return c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F
        || c == 0x3000;
}

std::string_view trimWhitespaceAndNewlines(std::string_view text)
{
    std::size_t begin = 0;
    while (begin < text.size()) {
        const Decoded decoded = decodeAt(text, begin);
        if (decoded.length == 0 || !isWhitespaceOrNewline(decoded.codePoint)) {
            break;
        }
        begin += decoded.length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        const Decoded decoded = decodeBefore(text, end);
        if (decoded.length == 0 || !isWhitespaceOrNewline(decoded.codePoint)) {
            break;
        }
        end -= decoded.length;
    }
    return text.substr(begin, end - begin);
}

std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t lineStart = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const Decoded decoded = decodeAt(text, at);
        if (decoded.length == 0) {
            // Not valid UTF-8 here: it cannot be a break, so step over the byte.
            ++at;
            continue;
        }
        if (isNewline(decoded.codePoint)) {
            lines.push_back(text.substr(lineStart, at - lineStart));
            lineStart = at + decoded.length;
        }
        at += decoded.length;
    }
    lines.push_back(text.substr(lineStart));
    return lines;
}

bool isValidUtf8(std::string_view bytes)
{
    for (std::size_t at = 0; at < bytes.size();) {
        const Decoded decoded = decodeAt(bytes, at);
        if (decoded.length == 0) {
            return false;
        }
        at += decoded.length;
    }
    return true;
}

bool cutOffAt(std::string_view text, std::size_t at)
{
    return at < text.size() && text.size() - at < sequenceLength(static_cast<unsigned char>(text[at]));
}

std::optional<char32_t> decodeNext(std::string_view text, std::size_t& at)
{
    const Decoded decoded = decodeAt(text, at);
    if (decoded.length == 0) {
        return std::nullopt;
    }
    at += decoded.length;
    return decoded.codePoint;
}

std::string decodeUtf8(std::string bytes)
{
    if (!isValidUtf8(bytes)) {
        return {};
    }
    return bytes;
}

std::optional<std::int64_t> parseInt64(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    // Accumulate towards the negative side, which has room for the minimum.
    constexpr std::int64_t minimum = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const int digit = c - '0';
        if (value < (minimum + digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == minimum) {
            return std::nullopt;
        }
        value = -value;
    }
    return value;
}

std::string displayedTail(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes) {
        return std::string(text);
    }
    std::size_t start = text.size() - maxBytes;
    if (text[start - 1] != '\n') {
        const std::size_t lineEnd = text.find('\n', start);
        if (lineEnd != std::string_view::npos && lineEnd + 1 < text.size()) {
            start = lineEnd + 1;
        } else {
            // One line longer than the limit: cut at a character boundary.
            while (start < text.size() && (static_cast<unsigned char>(text[start]) & 0xC0U) == 0x80U) {
                ++start;
            }
        }
    }
    return "…\n" + std::string(text.substr(start));
}

} // namespace lintara
