// SPDX-License-Identifier: MIT
// lintara: Lintara in the tray of a Linux desktop (GTK 3 and Ayatana
// AppIndicator, on the GLib base and the POSIX process runner).
//
// Provides:
//  - the status item as a StatusNotifierItem whose label carries the title,
//    repeated as the item's title for hosts that draw no labels;
//  - the status menu as one GtkMenu whose entries keep their ids while each
//    redraw changes only what differs (see MenuPlan.hpp);
//  - the custom-duration dialog and the message alert as GTK dialogs, modal
//    in the GLib base's modal loop, centred and brought to the front;
//  - the warning before the deadline as a desktop notification with its two
//    actions, or as a small window of its own without a notification server;
//  - one application per session: launching it again reaches the running one
//    as a reopen, and the second process exits with status 0;
//  - one controller per user, shared with lintara-term, through the lock of
//    the GLib base;
//  - the GLib base's session-bus interface for lintara-ctl, on the
//    application's own connection, which holds the name already;
//  - ticks, the main queue, wake from login1, settings in a key file and the
//    ICU short time from the GLib base; the VPN tool run by the POSIX runner;
//  - on SIGTERM, SIGHUP or SIGINT, an exit with 128 + the signal's number,
//    after ending a running state query as quit does;
//  - the options --help, --version and --check, which need no display and
//    no bus; without a session bus, an error and exit status 1;
//  - a word on standard error, in the log and as one notification when no
//    StatusNotifierItem host shows the item (see TrayHostWatch.hpp).
// Leaves out:
//  - a tray of its own where the desktop has no StatusNotifierItem host (the
//    indicator library then falls back to what it can; see README.md);
//  - any window besides the two dialogs and the warning's.
#include "GtkAlerts.hpp"
#include "GtkShell.hpp"
#include "IndicatorStatusItem.hpp"
#include "NotificationWarnings.hpp"
#include "TrayHostWatch.hpp"

#include "Lintara/Lintara.hpp"
#include "Lintara/platform/glib/CommandLine.hpp"
#include "Lintara/platform/glib/GlibLog.hpp"
#include "Lintara/platform/glib/GlibMainQueue.hpp"
#include "Lintara/platform/glib/GlibRunLoop.hpp"
#include "Lintara/platform/glib/IcuClock.hpp"
#include "Lintara/platform/glib/KeyFileSettings.hpp"
#include "Lintara/platform/glib/Login1Wake.hpp"
#include "Lintara/platform/glib/ModalLoop.hpp"
#include "Lintara/platform/glib/ProgramHooks.hpp"
#include "Lintara/platform/glib/RemoteExport.hpp"
#include "Lintara/platform/glib/SingleInstance.hpp"
#include "Lintara/platform/posix/MmapThreshold.hpp"
#include "Lintara/platform/posix/PosixProcess.hpp"
#include "Lintara/platform/posix/StandardStreams.hpp"
#include "Lintara/platform/posix/ThreadDispatch.hpp"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace {

using namespace lintara;

constexpr const char* applicationId = "io.lintara.Lintara";
constexpr const char* iconName = "io.lintara.Lintara-symbolic";

constexpr int failureStatus = 1;

void complain(const std::string& message) { std::fprintf(stderr, "lintara: %s\n", message.c_str()); }

// Everything between the command line and the launch: the display, the
// session bus, the one controller per user, the interface for lintara-ctl
// and the watch for a tray host.
struct Launch {
    std::optional<glib::SingleInstance> lock;
    std::optional<gtk::TrayHostWatch> hostWatch;
};

// The exit status when the launch must not go on.
std::optional<int> prepareLaunch(gtk::GtkShell& shell, glib::RemoteExport& remote, Launch& launch, Log& log)
{
    if (!gtk_init_check(nullptr, nullptr)) {
        complain("cannot open a display, so there is no tray to sit in. Without a desktop session, "
                 "run lintara-term instead: it does the same in a terminal.");
        return failureStatus;
    }
    std::string error;
    const gtk::Registration registration = shell.registerOnSessionBus(error);
    switch (registration) {
    case gtk::Registration::primary: break;
    case gtk::Registration::handedToRunning: return EXIT_SUCCESS;
    // Not another lintara: lintara-term holds the name, and the lock below
    // says so.
    case gtk::Registration::heldByAnotherProgram: break;
    case gtk::Registration::noSessionBus:
        complain("there is no session bus (" + error
            + "), so no tray can be reached. "
              "Start lintara inside a desktop session, or run lintara-term instead.");
        return failureStatus;
    case gtk::Registration::failed:
        complain("cannot register on the session bus: " + error + ". Run lintara-term instead.");
        return failureStatus;
    }

    // lintara-term, or lintara in another session of the same user, may
    // already run a controller; two would both disconnect.
    launch.lock = glib::acquireOrRefuse("lintara");
    if (!launch.lock) {
        return failureStatus;
    }
    if (registration == gtk::Registration::heldByAnotherProgram) {
        complain(std::string("the name ") + applicationId + " on the session bus belongs to another program");
        return failureStatus;
    }
    remote.exportOn(shell.busConnection());
    launch.hostWatch.emplace(log, iconName);
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[])
{
    using namespace lintara;
    posix::openClosedStandardStreams();
    glib::sendLogTo(glib::LogDestination::journalOrStandardError);
    posix::fixMmapThreshold();
    g_set_prgname("lintara");

    // Nothing here draws with OpenGL, yet probing for it loads the GL
    // driver, which on a software renderer alone more than doubles the
    // resident memory of an application that sits in the tray all day. A
    // GDK_GL already set by the user is left as it is.
    g_setenv("GDK_GL", "disable", FALSE);

    glib::ModalLoop modalLoop;
    glib::GlibMainQueue mainQueue(modalLoop);
    gtk::GtkShell shell(applicationId, iconName, mainQueue);
    glib::GlibLog log;

    glib::ProgramHooks& hooks = glib::programHooks();
    glib::GlibRunLoop runLoop(modalLoop);
    glib::Login1Wake wake(mainQueue);
    glib::IcuClock wallClock;
    Clock& clock = hooks.clock(wallClock);
    // A dialog that closes itself at an instant reads it on the controller's
    // clock.
    modalLoop.useClock(clock);
    glib::KeyFileSettings settings(glib::defaultSettingsPath(), glib::systemSettingsPaths(), &log);
    gtk::GtkAlerts alerts(modalLoop, shell);
    posix::ThreadDispatch dispatch(mainQueue);
    posix::SpawnProcessFactory processes;
    gtk::NotificationWarnings warnings(mainQueue, clock, applicationId, iconName);
    gtk::IndicatorStatusBar statusBar(gtk::IndicatorIdentity { .id = applicationId, .iconName = iconName }, mainQueue);
    glib::RemoteExport remote(mainQueue);

    // The options are parsed when the application runs, before it opens the
    // display or claims its name: --help, --version and --check need
    // neither.
    glib::CommandLine options;
    const auto entries = glib::optionEntries(options);
    Launch launch;
    shell.takeCommandLine(argc, argv, entries.data(), glib::optionSummary, glib::usageText(), glib::usageStatus,
        [&options, &shell, &remote, &launch, &log]() -> std::optional<int> {
            if (const std::optional<int> status = glib::answerCommandLine("lintara", options)) {
                return status;
            }
            return prepareLaunch(shell, remote, launch, log);
        });

    Platform platform {
        .application = shell,
        .statusBar = statusBar,
        .runLoop = runLoop,
        .workspaceNotificationCenter = hooks.wake(wake),
        .clock = clock,
        .standardUserDefaults = settings,
        .alerts = alerts,
        .dispatch = dispatch,
        .processes = processes,
        .remote = remote,
        .warnings = warnings,
        .log = log,
    };
    std::unique_ptr<AppDelegate> controller;
    return applicationMain(platform, controller);
}
