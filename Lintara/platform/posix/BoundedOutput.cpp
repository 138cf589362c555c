#include "BoundedOutput.hpp"

#include "Lintara/text.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace lintara::posix {

namespace {

    constexpr std::string_view stateMarker = ">> state: ";

    // Valid UTF-8 check that skips plain ASCII quickly, since floods of output
    // are nearly always ASCII and this runs over every dropped byte.
    bool isValidUtf8Fast(std::string_view bytes)
    {
        constexpr std::uint64_t highBits = 0x8080808080808080u;
        std::size_t at = 0;
        for (std::uint64_t word = 0; at + sizeof word <= bytes.size(); at += sizeof word) {
            std::memcpy(&word, bytes.data() + at, sizeof word);
            if ((word & highBits) != 0) {
                break;
            }
        }
        while (at < bytes.size() && static_cast<unsigned char>(bytes[at]) < 0x80) {
            ++at;
        }
        // Everything before `at` is ASCII, so `at` starts a character.
        return at == bytes.size() || isValidUtf8(bytes.substr(at));
    }

    // The reading of the last state line in the text, if it has one. Only
    // pieces between '\n' bytes that contain the marker are parsed, from the
    // end backwards: no grammar line spans a '\n', so the first piece that
    // reads as a state holds the last state line of the whole text.
    std::optional<bool> lastStateIn(std::string_view text)
    {
        if (::memmem(text.data(), text.size(), stateMarker.data(), stateMarker.size()) == nullptr) {
            return std::nullopt;
        }
        std::size_t end = text.size();
        while (end > 0) {
            std::size_t start = end;
            while (start > 0 && text[start - 1] != '\n') {
                --start;
            }
            const std::string_view piece = text.substr(start, end - start);
            if (::memmem(piece.data(), piece.size(), stateMarker.data(), stateMarker.size()) != nullptr) {
                if (const std::optional<bool> reading = parseStateOutput(piece)) {
                    return reading;
                }
            }
            end = start == 0 ? 0 : start - 1;
        }
        return std::nullopt;
    }

    // Stands in for the dropped head of a line that was cut inside, in as few
    // bytes as keep what the whole line reads as. A state line, trimmed, is at
    // most this long and holds single spaces only.
    constexpr std::size_t longestStateLine = 22;
    std::string standInForHead(std::string_view head)
    {
        const std::string_view text = trimWhitespaceAndNewlines(head);
        if (text.empty()) {
            return {};
        }
        if (text.size() > longestStateLine) {
            return "\u2026";
        }
        // What follows the text in the head decides whether it can still run
        // on into a state line: one space can, other blanks only if the rest of
        // the line is blank too, which a tab keeps.
        const std::string_view after = head.substr(static_cast<std::size_t>(text.data() - head.data()) + text.size());
        return std::string(text) + (after.empty() ? "" : after == " " ? " " : "\t");
    }

} // namespace

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
        dropFront(limit_);
    }
}

std::string BoundedOutput::take()
{
    if (buffer_.size() > limit_) {
        dropFront(limit_);
    }
    std::string result;
    if (droppedInvalidUtf8_) {
        // What decoding the whole output would have given.
        result.clear();
    } else {
        std::string kept = carried_ + buffer_;
        if (droppedState_ && !lastStateIn(kept)) {
            result = *droppedState_ ? ">> state: Connected\n" : ">> state: Disconnected\n";
        }
        result += kept;
    }
    buffer_.clear();
    carried_.clear();
    return result;
}

void BoundedOutput::dropFront(std::size_t keep)
{
    const std::size_t earliestCut = buffer_.size() - keep;
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
    const std::string_view dropped(buffer_.data(), cut);
    if (!droppedInvalidUtf8_ && !isValidUtf8Fast(dropped)) {
        droppedInvalidUtf8_ = true;
    }
    // The dropped text, after the stand-in for a head dropped earlier, holds
    // whole lines and, when the cut fell inside a line, that line's head.
    const std::string joined = carried_.empty() ? std::string() : carried_ + std::string(dropped);
    const std::string_view lead = carried_.empty() ? dropped : std::string_view(joined);
    const bool insideLine = cut == 0 || buffer_[cut - 1] != '\n';
    std::size_t wholeLines = lead.size();
    if (insideLine) {
        wholeLines -= splitLines(lead).back().size();
    }
    if (const std::optional<bool> reading = lastStateIn(lead.substr(0, wholeLines))) {
        droppedState_ = reading;
    }
    carried_ = insideLine ? standInForHead(lead.substr(wholeLines)) : std::string();
    buffer_.erase(0, cut);
    truncated_ = true;
}

} // namespace lintara::posix
