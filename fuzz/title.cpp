// SPDX-License-Identifier: MIT
// The countdown title over any double, NaN and infinities included: always
// "VPN H:MM:SS" with minutes and seconds below 60, and showing the seconds
// left rounded up, never below zero, saturating at the largest 64-bit value.
#include "Check.hpp"
#include "Lintara/text.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace {

bool allDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::int64_t number(std::string_view digits)
{
    std::int64_t value = 0;
    for (const char c : digits) {
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    double secondsLeft = 0;
    std::memcpy(&secondsLeft, data, std::min(size, sizeof secondsLeft));
    const std::string title = lintara::countdownTitle(secondsLeft);

    // VPN \d+:\d\d:\d\d
    LINTARA_FUZZ_CHECK(title.rfind("VPN ", 0) == 0);
    const std::string_view clock = std::string_view(title).substr(4);
    const std::size_t colon = clock.find(':');
    LINTARA_FUZZ_CHECK(colon != std::string_view::npos && clock.size() == colon + 6 && clock[colon + 3] == ':');
    const std::string_view hours = clock.substr(0, colon);
    const std::string_view minutes = clock.substr(colon + 1, 2);
    const std::string_view seconds = clock.substr(colon + 4, 2);
    LINTARA_FUZZ_CHECK(allDigits(hours) && allDigits(minutes) && allDigits(seconds));
    LINTARA_FUZZ_CHECK(hours.size() == 1 || hours[0] != '0');
    LINTARA_FUZZ_CHECK(number(minutes) < 60 && number(seconds) < 60);
    LINTARA_FUZZ_CHECK(hours.size() <= 16); // (2^63 - 1) / 3600 has 16 digits

    constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max();
    std::int64_t expected = 0;
    const double up = std::ceil(secondsLeft);
    if (up >= 9223372036854775808.0) {
        expected = largest;
    } else if (up > 0) {
        expected = static_cast<std::int64_t>(up);
    }
    LINTARA_FUZZ_CHECK(number(hours) == expected / 3600);
    LINTARA_FUZZ_CHECK(number(minutes) * 60 + number(seconds) == expected % 3600);
    return 0;
}
