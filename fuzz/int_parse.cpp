// SPDX-License-Identifier: MIT
// The strict integer reading of a typed duration: it accepts exactly the
// grammar (sign, digits, in range) with the right value, and every 64-bit
// value written out in decimal reads back as itself.
#include "Check.hpp"
#include "Lintara/text.hpp"
#include "Reference.hpp"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::int64_t> value = lintara::parseInt64(text);
    LINTARA_FUZZ_CHECK(value == lintara::reference::integer(text));
    if (value) {
        LINTARA_FUZZ_CHECK(lintara::parseInt64(std::to_string(*value)) == value);
    }

    if (size >= sizeof(std::int64_t)) {
        std::int64_t number = 0;
        std::memcpy(&number, data, sizeof number);
        const std::string written = std::to_string(number);
        LINTARA_FUZZ_CHECK(lintara::parseInt64(written) == number);
        // Leading zeros and an explicit plus sign are still the same number.
        const std::size_t digits = written.find_first_of("0123456789");
        const std::string padded
            = written.substr(0, digits) + std::string(data[8 % size] % 24, '0') + written.substr(digits);
        LINTARA_FUZZ_CHECK(lintara::parseInt64(padded) == number);
        if (number >= 0) {
            LINTARA_FUZZ_CHECK(lintara::parseInt64("+" + written) == number);
        }
    }
    return 0;
}
