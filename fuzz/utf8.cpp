// SPDX-License-Identifier: MIT
// UTF-8 decoding: arbitrary bytes are judged as the table of well-formed
// sequences judges them, valid text comes back byte for byte, and invalid
// text comes back empty. Since random bytes are seldom valid beyond ASCII,
// the input is also read as a list of code points and encoded, which gives
// valid text with characters of every length.
#include "Check.hpp"
#include "Lintara/text.hpp"
#include "Reference.hpp"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const bool valid = lintara::reference::isValidUtf8(bytes);
    LINTARA_FUZZ_CHECK(lintara::isValidUtf8(bytes) == valid);
    LINTARA_FUZZ_CHECK(lintara::decodeUtf8(bytes) == (valid ? bytes : std::string()));

    std::string text;
    for (std::size_t at = 0; at + 3 <= size; at += 3) {
        char32_t c = (char32_t { data[at] } << 16 | char32_t { data[at + 1] } << 8 | data[at + 2]) % 0x110000;
        if (c >= 0xD800 && c <= 0xDFFF) {
            c -= 0xD800; // folded below the surrogates, so that they still yield a character
        }
        text += lintara::reference::encode(c);
    }
    LINTARA_FUZZ_CHECK(lintara::isValidUtf8(text));
    LINTARA_FUZZ_CHECK(lintara::decodeUtf8(text) == text);
    return 0;
}
