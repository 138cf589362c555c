// SPDX-License-Identifier: MIT
// Plain readings of the grammars Lintara parses, written apart from the code
// under test so that a fuzzer can compare the two. They favour being obviously
// right over being fast: UTF-8 comes from the table of well-formed byte
// sequences in RFC 3629, and the character classes are spelled out as lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lintara::reference {

// One step through the bytes: a well-formed character, or a single byte that
// does not start one. Reading resumes at the next byte after a bad one, so a
// good character right behind a bad byte is still seen.
struct Unit {
    std::size_t offset = 0;
    std::size_t length = 1;
    char32_t codePoint = 0;
    bool valid = false;
};

inline Unit unitAt(std::string_view text, std::size_t offset)
{
    // A byte past the end reads as 0x100, which no range below contains.
    const auto byte
        = [&](std::size_t at) -> unsigned { return at < text.size() ? static_cast<unsigned char>(text[at]) : 0x100u; };
    const auto within = [](unsigned value, unsigned low, unsigned high) { return value >= low && value <= high; };
    const unsigned lead = byte(offset);
    if (lead <= 0x7F) {
        return { offset, 1, lead, true };
    }
    struct Row {
        unsigned leadLow, leadHigh, secondLow, secondHigh;
        std::size_t length;
        unsigned leadMask;
    };
    // RFC 3629, section 4: the only well-formed sequences.
    static constexpr Row rows[] = {
        { 0xC2, 0xDF, 0x80, 0xBF, 2, 0x1F },
        { 0xE0, 0xE0, 0xA0, 0xBF, 3, 0x0F },
        { 0xE1, 0xEC, 0x80, 0xBF, 3, 0x0F },
        { 0xED, 0xED, 0x80, 0x9F, 3, 0x0F },
        { 0xEE, 0xEF, 0x80, 0xBF, 3, 0x0F },
        { 0xF0, 0xF0, 0x90, 0xBF, 4, 0x07 },
        { 0xF1, 0xF3, 0x80, 0xBF, 4, 0x07 },
        { 0xF4, 0xF4, 0x80, 0x8F, 4, 0x07 },
    };
    for (const Row& row : rows) {
        if (!within(lead, row.leadLow, row.leadHigh)) {
            continue;
        }
        if (!within(byte(offset + 1), row.secondLow, row.secondHigh)) {
            return { offset, 1, 0, false };
        }
        char32_t value = lead & row.leadMask;
        for (std::size_t i = 1; i < row.length; ++i) {
            const unsigned next = byte(offset + i);
            if (!within(next, 0x80, 0xBF)) {
                return { offset, 1, 0, false };
            }
            value = value * 64 + (next - 0x80);
        }
        return { offset, row.length, value, true };
    }
    return { offset, 1, 0, false };
}

inline std::vector<Unit> units(std::string_view text)
{
    std::vector<Unit> result;
    for (std::size_t at = 0; at < text.size();) {
        result.push_back(unitAt(text, at));
        at += result.back().length;
    }
    return result;
}

inline bool isValidUtf8(std::string_view text)
{
    for (const Unit& unit : units(text)) {
        if (!unit.valid) {
            return false;
        }
    }
    return true;
}

// The UTF-8 form of a scalar value (not a surrogate, at most U+10FFFF).
inline std::string encode(char32_t c)
{
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

inline bool isLineBreak(const Unit& unit)
{
    if (!unit.valid) {
        return false;
    }
    for (const char32_t c : { 0x0A, 0x0B, 0x0C, 0x0D, 0x85, 0x2028, 0x2029 }) {
        if (unit.codePoint == c) {
            return true;
        }
    }
    return false;
}

inline bool isSpace(const Unit& unit)
{
    if (!unit.valid) {
        return false;
    }
    if (isLineBreak(unit) || (unit.codePoint >= 0x2000 && unit.codePoint <= 0x200A)) {
        return true;
    }
    for (const char32_t c : { 0x09, 0x20, 0xA0, 0x1680, 0x202F, 0x205F, 0x3000 }) {
        if (unit.codePoint == c) {
            return true;
        }
    }
    return false;
}

// Where trimming should leave the text: [begin, end) as byte offsets.
struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;
    friend bool operator==(const Span&, const Span&) = default;
};

inline Span trimmed(std::string_view text)
{
    const std::vector<Unit> all = units(text);
    std::size_t first = 0;
    std::size_t last = all.size();
    while (first < last && isSpace(all[first])) {
        ++first;
    }
    while (last > first && isSpace(all[last - 1])) {
        --last;
    }
    if (first == all.size()) {
        // Nothing but space: the empty text at the end.
        return { text.size(), text.size() };
    }
    return { all[first].offset, all[last - 1].offset + all[last - 1].length };
}

inline std::vector<Span> lines(std::string_view text)
{
    std::vector<Span> result;
    std::size_t start = 0;
    for (const Unit& unit : units(text)) {
        if (isLineBreak(unit)) {
            result.push_back({ start, unit.offset });
            start = unit.offset + unit.length;
        }
    }
    result.push_back({ start, text.size() });
    return result;
}

// The VPN tool's "state" answer: the last line that, stripped of space at
// both ends, is exactly one of the two state lines.
inline std::optional<bool> stateReading(std::string_view text)
{
    std::optional<bool> reading;
    for (const Span& line : lines(text)) {
        const std::string_view body = text.substr(line.begin, line.end - line.begin);
        const Span kept = trimmed(body);
        const std::string_view word = body.substr(kept.begin, kept.end - kept.begin);
        if (word == ">> state: Connected") {
            reading = true;
        } else if (word == ">> state: Disconnected") {
            reading = false;
        }
    }
    return reading;
}

// A signed decimal integer in 64 bits: an optional sign, then digits only.
// The range check compares digit strings, so it needs no wider integer.
inline std::optional<std::int64_t> integer(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    while (text.size() > 1 && text[0] == '0') {
        text.remove_prefix(1);
    }
    const std::string_view limit = negative ? "9223372036854775808" : "9223372036854775807";
    if (text.size() > limit.size() || (text.size() == limit.size() && text > limit)) {
        return std::nullopt;
    }
    std::uint64_t magnitude = 0;
    for (const char c : text) {
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (!negative) {
        return static_cast<std::int64_t>(magnitude);
    }
    // Two's complement negation, done in unsigned arithmetic where it is
    // defined for the minimum as well.
    return static_cast<std::int64_t>(~magnitude + 1);
}

} // namespace lintara::reference
