// SPDX-License-Identifier: MIT
// What the notify icon draws for a title: a clock face while nothing counts
// down, dots while a disconnect runs, and while counting down the time left
// in the fewest characters that fit 16 pixels: whole hours ("4h") at an hour
// or more, else the minutes ("59", down to "0").
//
// Worked out from the title alone, so that the icon never disagrees with the
// tooltip, and pure, so that it is tested without a desktop.
#pragma once

#include <string>
#include <string_view>

namespace lintara::win32 {

enum class IconKind { idle, busy, countdown };

struct IconFace {
    IconKind kind = IconKind::idle;
    // The characters drawn; empty unless counting down.
    std::string text;
    friend bool operator==(const IconFace&, const IconFace&) = default;
};

[[nodiscard]] IconFace iconFace(std::string_view title);

} // namespace lintara::win32
