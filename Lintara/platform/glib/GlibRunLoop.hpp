// Timers on a GLib main loop that keep to a fixed grid (see TickSchedule) and
// wait while a modal dialog is open (see ModalGate).
#pragma once

#include "Lintara/platform/Platform.hpp"
#include "ModalGate.hpp"

namespace lintara::glib {

class GlibRunLoop final : public RunLoop {
public:
    explicit GlibRunLoop(ModalGate& gate);

    // Main thread. The callback runs on the main thread; destroying the
    // returned Timer stops it.
    Timer scheduledTimer(double interval, std::function<void()> callback, Repeats repeats) override;

private:
    ModalGate& gate_;
};

} // namespace lintara::glib
