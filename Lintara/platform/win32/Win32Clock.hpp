// SPDX-License-Identifier: MIT
// The wall clock and the short time of day on Windows.
//
// Provides:
//  - now() from GetSystemTimePreciseAsFileTime, as a Date;
//  - shortTimeString in the user's time zone (the one in force at the
//    instant, daylight saving included) and the user's locale's short time
//    format without seconds, as the taskbar clock shows it ("오후 3:04").
// Leaves out: nothing the seam asks for. An instant before 1601 or after
// 30827, which Windows cannot show, gives an empty text.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <cstdint>

namespace lintara::win32 {

// FILETIME counts 100 ns ticks from 1601-01-01 00:00 UTC; Date counts seconds
// from 2001-01-01 00:00 UTC.
[[nodiscard]] Date dateFromFileTime(std::uint64_t ticks);
// The nearest tick; 0 for an instant before 1601.
[[nodiscard]] std::uint64_t fileTimeFromDate(Date date);

class Win32Clock final : public Clock {
public:
    [[nodiscard]] Date now() override;
    [[nodiscard]] std::string shortTimeString(Date date) override;
};

} // namespace lintara::win32
