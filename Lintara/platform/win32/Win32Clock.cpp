// SPDX-License-Identifier: MIT
#include "Win32Clock.hpp"

#include "Conversions.hpp"

#include <cmath>

#include <windows.h>

namespace lintara::win32 {

namespace {
    constexpr double ticksPerSecond = 1e7;
    // From 1601-01-01 to 1970-01-01: 369 years with 89 leap days.
    constexpr double unixTimeOfFileTimeEpoch = -11644473600.0;
    constexpr double fileTimeSecondsOfReferenceDate = unixTimeOfReferenceDate - unixTimeOfFileTimeEpoch;
    // Beyond this FILETIME has no SYSTEMTIME (year 30828).
    constexpr double largestTicks = 0x7FFFFFFFFFFFFFFF;
} // namespace

Date dateFromFileTime(std::uint64_t ticks)
{
    return Date { static_cast<double>(ticks) / ticksPerSecond - fileTimeSecondsOfReferenceDate };
}

std::uint64_t fileTimeFromDate(Date date)
{
    const double ticks
        = std::round((date.timeIntervalSinceReferenceDate + fileTimeSecondsOfReferenceDate) * ticksPerSecond);
    if (!(ticks > 0)) {
        return 0;
    }
    return ticks >= largestTicks ? static_cast<std::uint64_t>(largestTicks) : static_cast<std::uint64_t>(ticks);
}

Date Win32Clock::now()
{
    FILETIME now {};
    ::GetSystemTimePreciseAsFileTime(&now);
    return dateFromFileTime((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

std::string Win32Clock::shortTimeString(Date date)
{
    const std::uint64_t ticks = fileTimeFromDate(date);
    const FILETIME fileTime { static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32) };
    SYSTEMTIME utc {};
    SYSTEMTIME local {};
    if (!::FileTimeToSystemTime(&fileTime, &utc) || !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return {};
    }
    wchar_t text[64];
    const int length = ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, text, 64);
    if (length <= 1) {
        return {};
    }
    return narrow(std::wstring_view(text, static_cast<std::size_t>(length - 1)));
}

} // namespace lintara::win32
