// SPDX-License-Identifier: MIT
// Commands from other programs of the same user, and the state they may read.
//
// Each command takes the path of its menu entry or dialog, under the same
// rules, so that a script can do nothing a person at the menu could not.
#include "Lintara.hpp"
#include "settings.hpp"

#include <cmath>
#include <limits>

namespace lintara {

namespace {
    constexpr double secondsPerMinute = 60;

    bool inDurationRange(std::int64_t minutes) { return minutes >= shortestDuration && minutes <= longestDuration; }

    // Readers elsewhere count in Unix seconds. Rounded up, so that a reader
    // never sees the deadline as passed before it has; a clock that hands
    // back nonsense gives 0 or saturates rather than overflowing.
    std::int64_t unixSecondsRoundedUp(Date date)
    {
        const double seconds = std::ceil(date.timeIntervalSinceReferenceDate + unixTimeOfReferenceDate);
        if (!(seconds > 0)) {
            return 0;
        }
        constexpr double limit = 9223372036854775808.0; // 2^63
        return seconds >= limit ? std::numeric_limits<std::int64_t>::max() : static_cast<std::int64_t>(seconds);
    }
} // namespace

RemoteResult AppDelegate::performRemote(const RemoteCommand& command)
{
    switch (command.verb) {
    case RemoteVerb::start:
        if (!inDurationRange(command.minutes)) {
            return RemoteResult::invalidDuration;
        }
        // The presets and the custom dialog are disabled while a disconnect
        // runs.
        if (busy) {
            return RemoteResult::busy;
        }
        selectDuration(command.minutes);
        return RemoteResult::ok;
    case RemoteVerb::cancel:
        // The menu offers cancelling only while a countdown runs.
        if (!deadline) {
            return RemoteResult::noCountdown;
        }
        cancelTimer();
        return RemoteResult::ok;
    case RemoteVerb::setAutomatic:
        if (automatic != (command.automatic == ControlState::on)) {
            toggleAutomatic();
        }
        return RemoteResult::ok;
    case RemoteVerb::extend: {
        if (!inDurationRange(command.minutes)) {
            return RemoteResult::invalidDuration;
        }
        if (busy) {
            // The warning's extend does nothing while a disconnect runs.
            return RemoteResult::busy;
        }
        if (!deadline) {
            return RemoteResult::noCountdown;
        }
        // No countdown ends further away than the longest one that can be
        // chosen: everything that shows the time left counts on that.
        const double secondsLeft = deadline->timeIntervalSince(platform_.clock.now());
        if (secondsLeft + static_cast<double>(command.minutes) * secondsPerMinute
            > static_cast<double>(longestDuration) * secondsPerMinute) {
            return RemoteResult::invalidDuration;
        }
        extendDeadline(command.minutes);
        return RemoteResult::ok;
    }
    }
    return RemoteResult::invalidDuration;
}

void AppDelegate::publishState(const std::string& title)
{
    // Written over the last one: the strings keep their buffers.
    published.connected = connected;
    published.deadline = deadline ? unixSecondsRoundedUp(*deadline) : 0;
    published.automatic = automatic;
    published.selectedMinutes = selectedMinutes;
    published.status = status;
    published.busy = busy;
    published.title = title;
    platform_.remote.publish(published);
}

} // namespace lintara
