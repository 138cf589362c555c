// lintara: Lintara in the tray of a Linux desktop (GTK 3 and Ayatana
// AppIndicator, on the GLib base and the POSIX process runner).
//
// Provides:
//  - the status item as a StatusNotifierItem whose label carries the title,
//    repeated as the item's title for hosts that draw no labels;
//  - the status menu as one GtkMenu whose entries keep their ids while each
//    redraw changes only what differs (see MenuPlan.hpp);
//  - the custom-duration dialog and the message alert as GTK dialogs, modal
//    under the GLib base's gate, centred and brought to the front;
//  - one application per session: launching it again reaches the running one
//    as a reopen, and the second process exits with status 0;
//  - one controller per user, shared with lintara-term, through the lock of
//    the GLib base;
//  - ticks, the main queue, wake from login1, settings in a key file and the
//    ICU short time from the GLib base; the VPN tool run by the POSIX runner;
//  - on SIGTERM, SIGHUP or SIGINT, an exit with 128 + the signal's number,
//    after ending a running state query as quit does.
// Leaves out:
//  - a tray of its own where the desktop has no StatusNotifierItem host (the
//    indicator library then falls back to what it can; see README.md);
//  - any window besides the two dialogs, and any command-line option.
#include "GtkAlerts.hpp"
#include "GtkShell.hpp"
#include "IndicatorStatusItem.hpp"

#include "Lintara/Lintara.hpp"
#include "Lintara/platform/glib/GlibMainQueue.hpp"
#include "Lintara/platform/glib/GlibRunLoop.hpp"
#include "Lintara/platform/glib/IcuClock.hpp"
#include "Lintara/platform/glib/KeyFileSettings.hpp"
#include "Lintara/platform/glib/Login1Wake.hpp"
#include "Lintara/platform/glib/LongRunning.hpp"
#include "Lintara/platform/glib/ModalGate.hpp"
#include "Lintara/platform/glib/SingleInstance.hpp"
#include "Lintara/platform/posix/PosixProcess.hpp"
#include "Lintara/platform/posix/StandardStreams.hpp"
#include "Lintara/platform/posix/ThreadDispatch.hpp"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

constexpr const char* applicationId = "io.lintara.Lintara";
constexpr const char* iconName = "io.lintara.Lintara-symbolic";

constexpr int failureStatus = 1;

void complain(const std::string& message) { std::fprintf(stderr, "lintara: %s\n", message.c_str()); }

#ifdef LINTARA_TESTING_BUILD
// The test build's clock may run faster than the wall clock, so that an
// end-to-end test can see a countdown of minutes end within seconds. The rate
// comes from LINTARA_TESTING_CLOCK_SCALE; the real lintara has no such knob.
class ScaledClock final : public lintara::Clock {
public:
    ScaledClock(lintara::Clock& clock, double scale)
        : clock_(clock)
        , scale_(scale)
        , start_(clock.now())
    {
    }
    lintara::Date now() override
    {
        const double elapsed = clock_.now().timeIntervalSince(start_);
        return start_.addingTimeInterval(elapsed * scale_);
    }
    std::string shortTimeString(lintara::Date date) override { return clock_.shortTimeString(date); }

private:
    lintara::Clock& clock_;
    double scale_;
    lintara::Date start_;
};

double testingClockScale()
{
    const char* text = std::getenv("LINTARA_TESTING_CLOCK_SCALE");
    const double scale = text != nullptr ? std::strtod(text, nullptr) : 1.0;
    return scale > 0 ? scale : 1.0;
}
#endif

} // namespace

int main()
{
    using namespace lintara;
    posix::openClosedStandardStreams();
    lintara::glib::tuneAllocatorForLongRuns();

    // Nothing here draws with OpenGL, yet probing for it loads the GL
    // driver, which on a software renderer alone more than doubles the
    // resident memory of an application that sits in the tray all day. A
    // GDK_GL already set by the user is left as it is.
    g_setenv("GDK_GL", "disable", FALSE);
    if (!gtk_init_check(nullptr, nullptr)) {
        complain("cannot open a display, so there is no tray to sit in. Without a desktop session, "
                 "run lintara-term instead: it does the same in a terminal.");
        return failureStatus;
    }

    glib::ModalGate gate;
    glib::GlibMainQueue mainQueue(gate);
    gtk::GtkShell shell(applicationId, iconName, mainQueue);

    std::string error;
    switch (shell.registerOnSessionBus(error)) {
    case gtk::Registration::primary: break;
    case gtk::Registration::handedToRunning: shell.abandon(EXIT_SUCCESS);
    case gtk::Registration::failed:
        complain("cannot register on the session bus: " + error + ". Run lintara-term instead.");
        return failureStatus;
    }

    // lintara-term, or lintara in another session of the same user, may
    // already run a controller; two would both disconnect.
    const std::optional<glib::SingleInstance> lock = glib::acquireOrRefuse("lintara");
    if (!lock) {
        shell.abandon(failureStatus);
    }

    glib::GlibRunLoop runLoop(gate);
    glib::Login1Wake wake(mainQueue);
#ifdef LINTARA_TESTING_BUILD
    // Tests wait for this line before they announce a wake.
    wake.setOnReady([](const std::string& owner) {
        std::fprintf(stderr, "lintara: listening for wake from %s\n", owner.empty() ? "nobody" : owner.c_str());
    });
    glib::IcuClock wallClock;
    ScaledClock clock(wallClock, testingClockScale());
    gate.useClock(clock);
#else
    glib::IcuClock clock;
#endif
    glib::KeyFileSettings settings(glib::defaultSettingsPath());
    gtk::GtkAlerts alerts(gate, shell);
    posix::ThreadDispatch dispatch(mainQueue);
    posix::ProcessFactory processes;
    gtk::IndicatorStatusBar statusBar(gtk::IndicatorIdentity { .id = applicationId, .iconName = iconName }, mainQueue);

    Platform platform {
        .application = shell,
        .statusBar = statusBar,
        .runLoop = runLoop,
        .workspaceNotificationCenter = wake,
        .clock = clock,
        .standardUserDefaults = settings,
        .alerts = alerts,
        .dispatch = dispatch,
        .processes = processes,
    };
    return applicationMain(platform);
}
