// SPDX-License-Identifier: MIT
// Timers on the message window, with the seam's schedule: a repeating
// timer's n-th firing is due at start + n × interval on the monotonic clock,
// a late firing does not push back the later ones, and fireAfter moves the
// phase (glib/TickSchedule.hpp keeps that arithmetic, for both front ends).
//
// SetTimer's own repetition drifts by the time each firing takes and rounds
// every interval up to the system tick, so each timer is a one-shot SetTimer
// re-armed for the next due time. A timer is held while a modal dialog is
// open, and fires once after the last one closes if it fell due meanwhile.
//
// Main thread only.
#pragma once

#include "Lintara/platform/Platform.hpp"
#include "MessageWindow.hpp"
#include "ModalGate.hpp"

#include <set>

namespace lintara::win32 {

class Win32RunLoop final : public RunLoop {
public:
    Win32RunLoop(MessageWindow& window, ModalGate& gate);
    Timer scheduledTimer(double interval, std::function<void()> callback, Repeats repeats) override;

    class Backend;

private:
    MessageWindow& window_;
    ModalGate& gate_;
    std::set<Backend*> timers_;
};

// The monotonic clock the timers run on, in microseconds.
[[nodiscard]] std::int64_t monotonicMicros();

} // namespace lintara::win32
