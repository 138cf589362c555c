// SPDX-License-Identifier: MIT
#include "toolOutput.hpp"

#include "text.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace lintara {

namespace {
    // A line whose text runs on past this many bytes is no state line.
    constexpr std::size_t longestStateLine = std::max(connectedStateLine.size(), disconnectedStateLine.size());

    bool isPlain(unsigned char byte) { return byte < 0x80 && (byte < 0x0A || byte > 0x0D); }
    bool isBlank(char byte) { return byte == ' ' || byte == '\t'; }

    // Where the plain text that starts at `at` ends: at the first line break
    // among U+000A to U+000D, or the first byte that is not ASCII. A flood of
    // output is nearly all plain text, so this looks at eight bytes at a time.
    std::size_t plainTextEnd(std::string_view text, std::size_t at)
    {
        constexpr std::uint64_t ones = 0x0101010101010101u;
        constexpr std::uint64_t highBits = 0x80 * ones;
        const char* const bytes = text.data();
        const std::size_t size = text.size();
        for (std::uint64_t word = 0; at + sizeof word <= size; at += sizeof word) {
            std::memcpy(&word, bytes + at, sizeof word);
            // Per byte below 0x80, the high bit of low + 0x76 is set from 0x0A
            // up, and that of low + 0x72 from 0x0E up; no sum carries over.
            const std::uint64_t low = word & ~highBits;
            const std::uint64_t breaks = (low + 0x76 * ones) & ~(low + 0x72 * ones);
            if (((word | breaks) & highBits) != 0) {
                break;
            }
        }
        while (at < text.size() && isPlain(static_cast<unsigned char>(text[at]))) {
            ++at;
        }
        return at;
    }
} // namespace

std::optional<bool> parseStateOutput(std::string_view text)
{
    StateLines lines;
    lines.append(text);
    return lines.lastState();
}

void StateLines::append(std::string_view bytes)
{
    if (cutOff_.empty()) {
        scan(bytes);
        return;
    }
    // Rare: a character split between two reads. The copy is one piece long.
    std::string joined = std::move(cutOff_);
    cutOff_.clear();
    joined.append(bytes);
    scan(joined);
}

std::optional<bool> StateLines::lastState() const
{
    // A character still cut off at the end is bytes that are not valid UTF-8:
    // the line it ends is no state line.
    if (phase_ == Phase::kept && cutOff_.empty()) {
        const std::string_view text = trimWhitespaceAndNewlines(line_);
        if (text == connectedStateLine) {
            return true;
        }
        if (text == disconnectedStateLine) {
            return false;
        }
    }
    return last_;
}

void StateLines::scan(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size()) {
        if (const std::size_t end = plainTextEnd(text, at); end > at) {
            plain(text.substr(at, end - at));
            at = end;
            continue;
        }
        if (static_cast<unsigned char>(text[at]) < 0x80) {
            // Not plain, yet ASCII: a line break.
            endLine();
            ++at;
            continue;
        }
        if (cutOffAt(text, at)) {
            cutOff_.assign(text.substr(at));
            return;
        }
        std::size_t next = at;
        if (const std::optional<char32_t> codePoint = decodeNext(text, next)) {
            unit(text.substr(at, next - at), codePoint);
            at = next;
        } else {
            // As splitLines does: the byte stands alone, and is no break.
            valid_ = false;
            unit(text.substr(at, 1), std::nullopt);
            ++at;
        }
    }
}

void StateLines::plain(std::string_view run)
{
    // Byte by byte, this is unit(): ASCII has one byte per character.
    if (phase_ == Phase::leading) {
        const auto first = std::find_if_not(run.begin(), run.end(), isBlank);
        if (first == run.end()) {
            return;
        }
        run.remove_prefix(static_cast<std::size_t>(first - run.begin()));
        phase_ = Phase::kept;
        line_.clear();
    }
    if (phase_ == Phase::kept) {
        const std::size_t room = longestStateLine - std::min(line_.size(), longestStateLine);
        line_.append(run.substr(0, room));
        run.remove_prefix(std::min(room, run.size()));
        if (!std::all_of(run.begin(), run.end(), isBlank)) {
            phase_ = Phase::noStateLine;
        }
    }
}

void StateLines::unit(std::string_view bytes, std::optional<char32_t> codePoint)
{
    if (codePoint && isNewline(*codePoint)) {
        endLine();
        return;
    }
    const bool blank = codePoint && isWhitespaceOrNewline(*codePoint);
    switch (phase_) {
    case Phase::leading:
        if (!blank) {
            phase_ = Phase::kept;
            line_.assign(bytes);
        }
        return;
    case Phase::kept:
        if (line_.size() < longestStateLine) {
            line_.append(bytes);
        } else if (!blank) {
            // Trimmed, the line would be longer than any state line.
            phase_ = Phase::noStateLine;
        }
        return;
    case Phase::noStateLine: return;
    }
}

void StateLines::endLine()
{
    if (phase_ == Phase::kept) {
        last_ = lastState();
    }
    phase_ = Phase::leading;
    line_.clear();
}

BoundedOutput::BoundedOutput(std::size_t limit)
    // At least one whole character, so that a cut inside a line always finds
    // the end of the character it falls in.
    : limit_(std::max<std::size_t>(limit, 4))
{
}

void BoundedOutput::append(std::string_view bytes)
{
    buffer_.append(bytes);
    if (buffer_.size() >= 2 * limit_) {
        dropFront();
    }
}

std::string BoundedOutput::take()
{
    if (buffer_.size() > limit_) {
        dropFront();
    }
    std::string result = startsInsideLine_ ? "\u2026" + buffer_ : std::move(buffer_);
    buffer_.clear();
    startsInsideLine_ = false;
    return result;
}

void BoundedOutput::dropFront()
{
    const std::size_t earliestCut = buffer_.size() - limit_;
    std::size_t cut = buffer_.find('\n', earliestCut - 1);
    if (cut != std::string::npos) {
        ++cut;
    } else {
        // One line longer than the limit: cut it at a character boundary.
        cut = earliestCut;
        for (int step = 0; step < 3 && cut < buffer_.size(); ++step) {
            if ((static_cast<unsigned char>(buffer_[cut]) & 0xC0u) != 0x80u) {
                break;
            }
            ++cut;
        }
    }
    startsInsideLine_ = buffer_[cut - 1] != '\n';
    buffer_.erase(0, cut);
    truncated_ = true;
}

} // namespace lintara
