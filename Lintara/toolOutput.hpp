// SPDX-License-Identifier: MIT
// What the controller reads from a run of the VPN tool: the grammar of its
// "state" answer, and what is kept of its output, however much it prints.
//
// The output arrives in pieces of any size, as the pipe reads them (see
// Pipe in platform/Platform.hpp). Everything here takes it that way, so that
// a tool that floods its output can neither exhaust Lintara's memory nor
// change what Lintara reads from it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lintara {

// The two lines of the VPN tool's answer to "state" that Lintara reads.
inline constexpr std::string_view connectedStateLine = ">> state: Connected";
inline constexpr std::string_view disconnectedStateLine = ">> state: Disconnected";

// The VPN tool's answer to "state": the last line that, trimmed of white
// space, is connectedStateLine (true) or disconnectedStateLine (false)
// decides; with neither, the state is unreadable. Lines end at every line
// break character (see splitLines). Bytes that are not valid UTF-8 spoil only
// the line they are in.
[[nodiscard]] std::optional<bool> parseStateOutput(std::string_view text);

// Reads the state lines of output as it passes, holding only as much of the
// line being read as could still make it a state line.
class StateLines {
public:
    void append(std::string_view bytes);
    // What parseStateOutput says of everything appended so far.
    [[nodiscard]] std::optional<bool> lastState() const;
    // Whether everything appended so far is valid UTF-8; a character still
    // cut off at the end is not.
    [[nodiscard]] bool validUtf8() const { return valid_ && cutOff_.empty(); }

private:
    enum class Phase {
        // Only blanks so far: they are trimmed away.
        leading,
        // From the first character that is not blank, kept in line_ up to the
        // length of the longest state line.
        kept,
        // Text too long for a state line, or a byte that is not valid UTF-8.
        noStateLine,
    };

    void scan(std::string_view text);
    void plain(std::string_view run);
    void unit(std::string_view bytes, std::optional<char32_t> codePoint);
    void endLine();

    Phase phase_ = Phase::leading;
    std::string line_;
    std::optional<bool> last_;
    bool valid_ = true;
    // The start of a character that the next piece may complete.
    std::string cutOff_;
};

// Keeps the end of a stream of bytes within a fixed ceiling on memory:
//  - Output of up to `limit` bytes (1 MiB) is kept exactly as read.
//  - Past that, reading never stops (the child is never blocked on a full
//    pipe), but only the end is kept: whenever the buffer reaches twice the
//    limit, the oldest bytes are dropped so that at most `limit` remain. At
//    the end the same cut brings the result within the limit.
//  - A cut falls at the start of a line, so the kept text starts where a line
//    starts and stays valid UTF-8 whenever the whole output was. Only a line
//    longer than the limit is cut inside, at a character boundary, and the
//    kept text then starts with "…" in place of the dropped head.
// Memory held: at most twice the limit plus the largest appended piece.
class BoundedOutput {
public:
    static constexpr std::size_t defaultLimit = std::size_t { 1 } << 20;

    explicit BoundedOutput(std::size_t limit = defaultLimit);

    void append(std::string_view bytes);
    // The output as kept, by the policy above. Leaves the collector empty.
    [[nodiscard]] std::string take();
    // Whether anything had to be dropped so far.
    [[nodiscard]] bool truncated() const { return truncated_; }

private:
    void dropFront();

    std::size_t limit_;
    std::string buffer_;
    bool truncated_ = false;
    bool startsInsideLine_ = false;
};

// One run's output as the controller uses it, decoded as a whole: output that
// is not valid UTF-8 reads as the empty text, so as no state and no message,
// whichever part of it was bad and whether or not that part was kept.
class ToolOutput {
public:
    explicit ToolOutput(std::size_t limit = BoundedOutput::defaultLimit)
        : kept_(limit)
    {
    }

    void append(std::string_view bytes)
    {
        size_ += bytes.size();
        lines_.append(bytes);
        kept_.append(bytes);
    }
    // How many bytes were appended in all, kept or not.
    [[nodiscard]] std::size_t size() const { return size_; }
    // What the whole output says of the state.
    [[nodiscard]] std::optional<bool> state() const { return lines_.validUtf8() ? lines_.lastState() : std::nullopt; }
    // The end of the output, for a message, as BoundedOutput keeps it. Leaves
    // the kept text empty.
    [[nodiscard]] std::string takeText()
    {
        std::string text = kept_.take();
        return lines_.validUtf8() ? text : std::string();
    }

private:
    StateLines lines_;
    BoundedOutput kept_;
    std::size_t size_ = 0;
};

} // namespace lintara
