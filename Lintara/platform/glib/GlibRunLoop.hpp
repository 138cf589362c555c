// SPDX-License-Identifier: MIT
// Timers on a GLib main loop that keep to a fixed grid (see TickSchedule) and
// wait while a modal dialog is open (see ModalLoop).
#pragma once

#include "Lintara/platform/Platform.hpp"
#include "ModalLoop.hpp"

namespace lintara::glib {

class GlibRunLoop final : public RunLoop {
public:
    explicit GlibRunLoop(ModalLoop& modalLoop);

    // Main thread. The callback runs on the main thread; destroying the
    // returned Timer stops it.
    Timer scheduledTimer(double interval, std::function<void()> callback, Repeats repeats) override;

private:
    ModalLoop& modalLoop_;
};

} // namespace lintara::glib
