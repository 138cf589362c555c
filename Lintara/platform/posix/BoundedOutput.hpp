// What a run of the VPN tool keeps of its output, however much it prints.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lintara::posix {

// Collects a child's output with a fixed ceiling on memory.
//
// The policy, chosen so that a tool that floods its output can neither exhaust
// Lintara's memory nor change what Lintara reads from it:
//  - Output of up to `limit` bytes (1 MiB) is kept exactly as read.
//  - Past that, reading never stops (the child is never blocked on a full
//    pipe), but only the end is kept: whenever the buffer reaches twice the
//    limit, the oldest bytes are dropped so that at most `limit` remain. At the
//    end the same cut brings the result within the limit.
//  - A cut falls at the start of a line, so the kept text starts where a line
//    starts and stays valid UTF-8 whenever the whole output was. Only a line
//    longer than the limit is cut inside, at a character boundary; the kept
//    rest of it is then preceded by a short stand-in for its dropped head, so
//    that the line reads as a state line exactly when the whole line did: "…"
//    for a head with more text than a state line holds, the head's few
//    characters for a shorter one, nothing for a head of blanks.
//  - Two facts about the dropped bytes are kept, because the readers of the
//    output depend on them: if any dropped byte was not valid UTF-8, the whole
//    output would have decoded to the empty text, so the result is the empty
//    text; and if the dropped bytes held a state line and the kept end holds
//    none, the last dropped one is put back in front of the kept end, so the
//    last state line always survives.
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
    void dropFront(std::size_t keep);

    std::size_t limit_;
    std::string buffer_;
    bool truncated_ = false;
    bool droppedInvalidUtf8_ = false;
    std::optional<bool> droppedState_;
    // The stand-in for the dropped head of the line the buffer starts in;
    // empty when the buffer starts at a line start.
    std::string carried_;
};

} // namespace lintara::posix
