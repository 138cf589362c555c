// SPDX-License-Identifier: MIT
// The preferences and how they are read back. Internal to the controller.
#pragma once

#include "platform/Platform.hpp"

#include <cstdint>
#include <string_view>

namespace lintara {

inline constexpr std::string_view durationMinutesKey = "durationMinutes";
inline constexpr std::string_view automaticKey = "automatic";
inline constexpr std::string_view warningMinutesKey = "warningMinutes";

// The duration range, in whole minutes, both ends included: up to seven days.
inline constexpr std::int64_t shortestDuration = 1;
inline constexpr std::int64_t longestDuration = std::int64_t { 7 } * 24 * 60;

// The stored countdown length, unchecked: 0 when nothing usable is stored.
[[nodiscard]] std::int64_t storedDurationMinutes(SettingsStore& store);
// The stored switch: only a stored boolean counts; anything else reads as on.
[[nodiscard]] bool storedAutomatic(SettingsStore& store);

// How long before the deadline a countdown warns, in whole minutes; 0 turns
// warnings off.
inline constexpr std::int64_t defaultWarningMinutes = 5;
inline constexpr std::int64_t longestWarningMinutes = 60;
// The stored lead time, or the default when none is stored or what is stored
// is not a whole number of minutes in range.
[[nodiscard]] std::int64_t storedWarningMinutes(SettingsStore& store);

} // namespace lintara
