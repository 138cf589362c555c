// SPDX-License-Identifier: MIT
// What lintara-ctl prints for `status`: the title, the JSON of every property,
// and waybar's custom-module JSON. Plain C++ over the interface's values, so
// that it is tested without a bus.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace lintara::glib {

// The last minutes of a countdown, which waybar's class "warning" marks.
inline constexpr std::int64_t warningSeconds = 5 * 60;

// Whole seconds from now (Unix seconds, with fractions) to the deadline,
// rounded up and never below zero; 0 without a deadline.
[[nodiscard]] std::int64_t remainingSeconds(const RemoteState& state, double now);

// The title at now, worked out from the deadline while there is one, as
// Lintara draws it; otherwise the title Lintara last gave. The formats below
// print state.title as it is: `status --follow` puts this there first.
[[nodiscard]] std::string titleAt(const RemoteState& state, double now);

// A JSON string literal, quotes included.
[[nodiscard]] std::string jsonString(std::string_view text);

// One line of JSON: every property, by its name in snake case, and
// remaining_seconds.
[[nodiscard]] std::string statusJson(const RemoteState& state, double now);

// waybar's class: busy, counting, warning (the last warningSeconds),
// disconnected or idle.
[[nodiscard]] const char* waybarClass(const RemoteState& state, double now);

// One line of waybar's JSON: text (the title), tooltip (the status line, and
// the time of the disconnect while one is pending) and class.
[[nodiscard]] std::string waybarJson(const RemoteState& state, double now);

} // namespace lintara::glib
