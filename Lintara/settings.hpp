// The two preferences and how they are read back. Internal to the controller.
#pragma once

#include "platform/Platform.hpp"

#include <cstdint>
#include <string_view>

namespace lintara {

inline constexpr std::string_view durationMinutesKey = "durationMinutes";
inline constexpr std::string_view automaticKey = "automatic";

// The duration range, in whole minutes, both ends included: up to seven days.
inline constexpr std::int64_t shortestDuration = 1;
inline constexpr std::int64_t longestDuration = std::int64_t { 7 } * 24 * 60;

// The stored countdown length, unchecked: 0 when nothing usable is stored.
[[nodiscard]] std::int64_t storedDurationMinutes(SettingsStore& store);
// The stored switch: only a stored boolean counts; anything else reads as on.
[[nodiscard]] bool storedAutomatic(SettingsStore& store);

} // namespace lintara
