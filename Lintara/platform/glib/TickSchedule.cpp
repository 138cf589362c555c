// SPDX-License-Identifier: MIT
#include "TickSchedule.hpp"

#include <algorithm>
#include <limits>

namespace lintara::glib {

TickSchedule::TickSchedule(std::int64_t startMicros, std::int64_t intervalMicros)
    : start_(startMicros)
    , interval_(std::max<std::int64_t>(intervalMicros, 1))
    , due_(startMicros + interval_)
{
}

void TickSchedule::fired(std::int64_t nowMicros)
{
    if (nowMicros < start_) {
        // A clock that went backwards is not monotonic; stay on the grid.
        return;
    }
    const std::int64_t elapsedIntervals = (nowMicros - start_) / interval_;
    due_ = start_ + (elapsedIntervals + 1) * interval_;
}

void TickSchedule::restartAt(std::int64_t dueMicros)
{
    start_ = dueMicros - interval_;
    due_ = dueMicros;
}

int TickSchedule::millisUntilDue(std::int64_t nowMicros) const
{
    if (nowMicros >= due_) {
        return 0;
    }
    const std::int64_t millis = (due_ - nowMicros + 999) / 1000;
    return static_cast<int>(std::min<std::int64_t>(millis, std::numeric_limits<int>::max()));
}

} // namespace lintara::glib
