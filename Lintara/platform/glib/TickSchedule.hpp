// SPDX-License-Identifier: MIT
// When a repeating timer is due, on a monotonic clock in microseconds.
//
// The n-th firing is due at start + n × interval. A firing that comes late
// does not move the ones after it, and a timer held up for several intervals
// (a modal dialog, a stopped process) fires once, then returns to the grid.
// Pure, so that the schedule can be tested with any clock.
#pragma once

#include <cstdint>

namespace lintara::glib {

class TickSchedule {
public:
    TickSchedule(std::int64_t startMicros, std::int64_t intervalMicros);

    [[nodiscard]] std::int64_t due() const { return due_; }
    [[nodiscard]] bool isDue(std::int64_t nowMicros) const { return nowMicros >= due_; }
    // Records a firing at nowMicros: the next one is the first grid point
    // strictly after it.
    void fired(std::int64_t nowMicros);
    // Moves the grid: the next firing is due at dueMicros, and the later ones
    // follow it at the interval.
    void restartAt(std::int64_t dueMicros);
    // How long a loop may sleep before the next firing, in whole milliseconds
    // rounded up, so that it never wakes early; 0 when already due.
    [[nodiscard]] int millisUntilDue(std::int64_t nowMicros) const;

private:
    std::int64_t start_;
    std::int64_t interval_;
    std::int64_t due_;
};

} // namespace lintara::glib
