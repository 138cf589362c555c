// SPDX-License-Identifier: MIT
// The seam's interfaces, each as the AppKit, Foundation or Dispatch call that
// does the same job on macOS, put together; each piece has a file of its own.
// The controller is reached only through small Objective-C objects (the
// application delegate, the menu target, the timer and notification callback,
// the alert closer), and every one of them catches what the controller might
// throw before it could cross into AppKit (CallGuarded.h).
#import <AppKit/AppKit.h>

#include "AppKitAlerts.h"
#include "AppKitApplication.h"
#include "AppKitPlatform.hpp"
#include "AppKitStatusItem.h"
#include "AppKitSupport.hpp"
#include "AppKitWarnings.hpp"
#include "ClockAndSettings.h"
#include "TimersAndDispatch.h"
#include "UrlSchemeRemote.hpp"

#include "Lintara/platform/posix/PosixProcess.hpp"

#include <memory>

namespace lintara::appkit {

struct AppKitPlatform::Parts {
    ModalDeferral deferral { [this] { scheduleDrain(deferral); } };
    AppKitApplication application { [NSApplication sharedApplication], deferral };
    AppKitStatusBar statusBar { deferral };
    AppKitRunLoop runLoop;
    WorkspaceNotificationCenter workspaceNotificationCenter { deferral };
    FoundationClock clock;
    UserDefaultsStore standardUserDefaults;
    AppKitAlerts alerts { deferral, clock };
    GrandCentralDispatch dispatch { deferral };
    posix::SpawnProcessFactory processes;
    UrlSchemeRemote remote { deferral };
    AppKitWarnings warnings { dispatch.main() };
    UnifiedLog log;
    Platform platform {
        application,
        statusBar,
        runLoop,
        workspaceNotificationCenter,
        clock,
        standardUserDefaults,
        alerts,
        dispatch,
        processes,
        remote,
        warnings,
        log,
    };
};

AppKitPlatform::AppKitPlatform()
    : parts_(std::make_unique<Parts>())
{
}

AppKitPlatform::~AppKitPlatform() = default;

Platform& AppKitPlatform::platform() { return parts_->platform; }

} // namespace lintara::appkit
