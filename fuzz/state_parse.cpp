// SPDX-License-Identifier: MIT
// The reading of the VPN tool's "state" answer must agree with the plain
// reading of the same grammar on any bytes, valid UTF-8 or not, and must not
// depend on which of the line breaks the tool happened to use.
#include "Check.hpp"
#include "Lintara/text.hpp"
#include "Lintara/toolOutput.hpp"
#include "Reference.hpp"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<bool> reading = lintara::parseStateOutput(text);
    LINTARA_FUZZ_CHECK(reading == lintara::reference::stateReading(text));

    // The same output with CR LF or CR line ends reads the same.
    std::string crlf;
    std::string cr;
    for (const char c : text) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        cr += c == '\n' ? '\r' : c;
    }
    LINTARA_FUZZ_CHECK(lintara::parseStateOutput(crlf) == reading);
    LINTARA_FUZZ_CHECK(lintara::parseStateOutput(cr) == reading);
    return 0;
}
