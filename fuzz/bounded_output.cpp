// SPDX-License-Identifier: MIT
// What a run of the VPN tool keeps of its output: whatever the tool prints, in
// whatever pieces the pipe delivers it, the reading is the state the whole
// output would have read as, and the kept text fits the bound, is valid UTF-8,
// and is the whole output unchanged when that fitted anyway. A small limit,
// chosen by the input, lets the fuzzer reach the cuts with short inputs.
#include "Check.hpp"
#include "Lintara/text.hpp"
#include "Lintara/toolOutput.hpp"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    const std::size_t limit = 4 + data[0] % 61;
    std::uint32_t pieces = data[1] | 1u;
    const std::string_view whole(reinterpret_cast<const char*>(data) + 2, size - 2);

    lintara::ToolOutput output(limit);
    for (std::string_view rest = whole; !rest.empty();) {
        // A small linear congruential sequence of piece sizes, 1 to 2 × limit.
        pieces = pieces * 1103515245u + 12345u;
        const std::size_t piece = std::min<std::size_t>(rest.size(), 1 + (pieces >> 16) % (2 * limit));
        output.append(rest.substr(0, piece));
        rest.remove_prefix(piece);
    }
    const std::optional<bool> state = output.state();
    const std::string kept = output.takeText();

    const std::string decodedWhole = lintara::decodeUtf8(std::string(whole));
    LINTARA_FUZZ_CHECK(state == lintara::parseStateOutput(decodedWhole));
    if (whole.size() <= limit) {
        LINTARA_FUZZ_CHECK(kept == decodedWhole);
    }
    // At most the limit, plus the "…" that stands in for the head of a line
    // cut inside.
    LINTARA_FUZZ_CHECK(kept.size() <= limit + std::string_view("\u2026").size());
    LINTARA_FUZZ_CHECK(lintara::isValidUtf8(kept));
    if (decodedWhole.empty()) {
        LINTARA_FUZZ_CHECK(kept.empty());
    }
    return 0;
}
