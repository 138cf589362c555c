// SPDX-License-Identifier: MIT
#include "IconFace.hpp"

#include "Lintara/text.hpp"

#include <algorithm>
#include <cctype>

namespace lintara::win32 {

namespace {
    bool allDigits(std::string_view text)
    {
        return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        });
    }
} // namespace

IconFace iconFace(std::string_view title)
{
    if (title == busyTitle) {
        return { IconKind::busy, {} };
    }
    // "VPN H:MM:SS", as countdownTitle writes it; anything else is idle.
    constexpr std::string_view prefix = "VPN ";
    const std::size_t firstColon = title.find(':');
    if (!title.starts_with(prefix) || firstColon == std::string_view::npos || title.size() != firstColon + 6
        || title[firstColon + 3] != ':') {
        return { IconKind::idle, {} };
    }
    const std::string_view hours = title.substr(prefix.size(), firstColon - prefix.size());
    const std::string_view minutes = title.substr(firstColon + 1, 2);
    if (!allDigits(hours) || !allDigits(minutes) || !allDigits(title.substr(firstColon + 4))) {
        return { IconKind::idle, {} };
    }
    if (hours.find_first_not_of('0') != std::string_view::npos) {
        return { IconKind::countdown, std::string(hours.substr(hours.find_first_not_of('0'))) + "h" };
    }
    return { IconKind::countdown, minutes[0] == '0' ? std::string(1, minutes[1]) : std::string(minutes) };
}

} // namespace lintara::win32
