// SPDX-License-Identifier: MIT
// lintara.exe: Lintara in the notification area of Windows, on plain Win32.
//
// Provides:
//  - the status item as a notify icon whose tooltip is the title and whose
//    icon draws the state, the hours or minutes left while counting down;
//  - the status menu as a popup on a left or right click, with check marks,
//    greyed entries and the quit entry's key shown;
//  - the custom-duration dialog and the message alert as modal dialogs, and
//    the warning before the deadline as a small window above the others;
//  - the main queue and the tick on the message window, held while a dialog
//    is open; wake from sleep; one instance per user, where a second start
//    opens the first's menu and exits with status 0;
//  - the clock, the registry settings, the background queues and the VPN
//    tool run in a job object, from the binding's base;
//  - the log to the debugger's output.
// Leaves out:
//  - remote control by other programs: the state is kept, but no transport
//    reaches it (see HeldRemote.hpp);
//  - the options --check, --version and --help of the Linux front ends;
//  - a toast for the warning (see WindowWarnings.hpp).
#include "DebugLog.hpp"
#include "HeldRemote.hpp"
#include "MessageWindow.hpp"
#include "ModalGate.hpp"
#include "NotifyIcon.hpp"
#include "ProgramHooks.hpp"
#include "Win32Alerts.hpp"
#include "Win32MainQueue.hpp"
#include "Win32RunLoop.hpp"
#include "Win32Shell.hpp"
#include "WindowWarnings.hpp"

#include "Lintara/Lintara.hpp"
#include "Lintara/platform/win32/RegistrySettings.hpp"
#include "Lintara/platform/win32/Win32Clock.hpp"
#include "Lintara/platform/win32/Win32Dispatch.hpp"
#include "Lintara/platform/win32/Win32Process.hpp"

#include <cstdlib>
#include <memory>

int main()
{
    using namespace lintara;
    using namespace lintara::win32;

    ProgramHooks& hooks = programHooks();
    // Two controllers would both disconnect. Should the user's token be
    // unreadable, running is better than refusing to.
    if (claimInstance() == Instance::handedToRunning) {
        return EXIT_SUCCESS;
    }

    MessageWindow window;
    ModalGate gate(window);
    Win32MainQueue mainQueue(window, gate);
    Win32Shell shell(window, mainQueue);
    Win32RunLoop runLoop(window, gate);
    Win32Clock wallClock;
    Clock& clock = hooks.clock(wallClock);
    RegistrySettings settings;
    Win32Alerts alerts(gate, clock, hooks);
    Win32Dispatch dispatch(mainQueue);
    Win32ProcessFactory processes;
    HeldRemote remote(hooks);
    WindowWarnings warnings(mainQueue, hooks);
    DebugLog log(hooks);
    NotifyIconStatusBar statusBar(window, mainQueue, hooks);

    shell.onOpenMenu([&statusBar] {
        if (NotifyIconItem* item = statusBar.item()) {
            POINT at {};
            GetCursorPos(&at);
            item->openMenu(at);
        }
    });
    shell.atTermination([&statusBar] {
        if (NotifyIconItem* item = statusBar.item()) {
            item->remove();
        }
    });
    hooks.started(TestingReach { window, statusBar, alerts, warnings });

    Platform platform {
        .application = shell,
        .statusBar = statusBar,
        .runLoop = runLoop,
        .workspaceNotificationCenter = shell,
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
