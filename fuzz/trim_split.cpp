// SPDX-License-Identifier: MIT
// Trimming and line splitting over arbitrary bytes: both agree with the plain
// reading, trimming removes only space and is idempotent, and the lines with
// their breaks put back give the text again.
#include "Check.hpp"
#include "Lintara/text.hpp"
#include "Reference.hpp"

#include <cstdint>
#include <string>

namespace {

std::size_t offsetIn(std::string_view whole, std::string_view part)
{
    return static_cast<std::size_t>(part.data() - whole.data());
}

void checkTrim(std::string_view text)
{
    const std::string_view once = lintara::trimWhitespaceAndNewlines(text);
    LINTARA_FUZZ_CHECK(once.size() <= text.size());
    const std::size_t begin = offsetIn(text, once);
    LINTARA_FUZZ_CHECK(begin <= text.size() - once.size());
    LINTARA_FUZZ_CHECK((lintara::reference::Span { begin, begin + once.size() }) == lintara::reference::trimmed(text));
    LINTARA_FUZZ_CHECK(lintara::trimWhitespaceAndNewlines(once) == once);
    // What was cut off is space and nothing else.
    for (const std::string_view cut : { text.substr(0, begin), text.substr(begin + once.size()) }) {
        for (const lintara::reference::Unit& unit : lintara::reference::units(cut)) {
            LINTARA_FUZZ_CHECK(lintara::reference::isSpace(unit));
        }
    }
}

void checkSplit(std::string_view text)
{
    const std::vector<std::string_view> lines = lintara::splitLines(text);
    const std::vector<lintara::reference::Span> expected = lintara::reference::lines(text);
    LINTARA_FUZZ_CHECK(lines.size() == expected.size());
    std::size_t at = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t begin = offsetIn(text, lines[i]);
        LINTARA_FUZZ_CHECK((lintara::reference::Span { begin, begin + lines[i].size() }) == expected[i]);
        // Between two lines lies exactly one break and nothing else.
        if (i > 0) {
            const lintara::reference::Unit gap = lintara::reference::unitAt(text, at);
            LINTARA_FUZZ_CHECK(lintara::reference::isLineBreak(gap) && at + gap.length == begin);
        }
        at = begin + lines[i].size();
    }
    LINTARA_FUZZ_CHECK(at == text.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkTrim(text);
    checkSplit(text);
    return 0;
}
