// SPDX-License-Identifier: MIT
// lintara-term: Lintara in a terminal.
//
// Provides:
//  - the status item as the first line of a full-screen view in the
//    alternate screen, and its menu below it, one entry per line, with a key
//    per entry (a, 1, 2, 4, c, x, q), Up/Down and Enter, and Ctrl-C as quit;
//  - the custom-duration dialog and the message alert drawn in the terminal,
//    with an editable field (UTF-8 and Hangul, Backspace, Delete, Left/Right,
//    Home/End, Ctrl-U), and a long message scrolled inside the screen;
//  - the terminal restored on every way out: quit, Ctrl-C, SIGTERM, SIGHUP,
//    a closed terminal, an uncaught exception or a crash; and handed back to
//    the shell on Ctrl-Z or SIGTSTP, then taken again on fg;
//  - the warning before the deadline as a banner under the title, with one
//    bell, and its keys e and n;
//  - from the GLib base: the one-second tick, the main queue that waits for
//    dialogs, wake from sleep through login1, the settings file, the short
//    time of day through ICU, the one-per-user lock, and the session-bus
//    interface for lintara-ctl, whenever there is a session bus;
//  - from the POSIX base: the VPN tool's runs and the worker threads.
// Leaves out: mouse input, colour, and a tray icon (lintara-gtk has that).
//
// Options: --help, --version and --check (see glib/CommandLine.hpp), which
// need no terminal.
//
// Exit status: 0 after quit, 2 without a terminal on standard input and
// output, with a terminal whose type (TERM) lacks what the full screen needs,
// or after a mistake on the command line, 1 when another Lintara
// holds the lock, 128 + the signal's number after SIGTERM, SIGHUP or SIGINT.
// --check exits 0 when the state is readable, 1 when not.
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
#include "TerminalFrontEnd.hpp"

#include <clocale>
#include <cstdio>
#include <memory>
#include <optional>
#include <unistd.h>

int main(int argc, char* argv[])
{
    lintara::posix::openClosedStandardStreams();
    // The screen is Lintara's: nothing, not even a library's warning, may
    // write over it.
    lintara::glib::sendLogTo(lintara::glib::LogDestination::journalOnly);
    lintara::posix::fixMmapThreshold();
    std::setlocale(LC_ALL, "");
    // Before the terminal is looked at: --help, --version and --check work
    // without one.
    if (const std::optional<int> status = lintara::glib::parseCommandLine("lintara-term", argc, argv)) {
        return *status;
    }
    if (isatty(STDIN_FILENO) == 0 || isatty(STDOUT_FILENO) == 0) {
        std::fputs("lintara-term: needs a terminal on standard input and standard output; "
                   "run it in a terminal window or over ssh -t.\n",
            stderr);
        return 2;
    }
    auto terminal = lintara::terminal::loadSequences(std::getenv("TERM"), STDOUT_FILENO);
    if (const auto* unsuitable = std::get_if<lintara::terminal::Unsuitable>(&terminal)) {
        std::fprintf(stderr, "lintara-term: %s\n", unsuitable->reason.c_str());
        return 2;
    }

    const std::optional<lintara::glib::SingleInstance> lock = lintara::glib::acquireOrRefuse("lintara-term");
    if (!lock) {
        return 1;
    }

    lintara::glib::ProgramHooks& hooks = lintara::glib::programHooks();
    lintara::glib::ModalLoop modalLoop;
    lintara::glib::GlibMainQueue mainQueue(modalLoop);
    lintara::glib::GlibRunLoop runLoop(modalLoop);
    lintara::glib::Login1Wake wake(mainQueue);
    lintara::glib::IcuClock wallClock;
    lintara::Clock& clock = hooks.clock(wallClock);
    // A dialog that closes itself at an instant reads it on the controller's
    // clock.
    modalLoop.useClock(clock);
    lintara::glib::GlibLog log;
    lintara::glib::KeyFileSettings settings(
        lintara::glib::defaultSettingsPath(), lintara::glib::systemSettingsPaths(), &log);
    lintara::posix::ThreadDispatch dispatch(mainQueue);
    lintara::posix::SpawnProcessFactory processes;
    lintara::terminal::TerminalFrontEnd front(
        modalLoop, STDIN_FILENO, STDOUT_FILENO, std::move(std::get<lintara::terminal::Sequences>(terminal)));
    lintara::glib::RemoteExport remote(mainQueue);
    remote.exportOnSessionBus();

    lintara::Platform platform {
        .application = front,
        .statusBar = front,
        .runLoop = runLoop,
        .workspaceNotificationCenter = hooks.wake(wake),
        .clock = clock,
        .standardUserDefaults = settings,
        .alerts = front,
        .dispatch = dispatch,
        .processes = processes,
        .remote = remote,
        .warnings = front,
        .log = log,
    };
    std::unique_ptr<lintara::AppDelegate> controller;
    return lintara::applicationMain(platform, controller);
}
