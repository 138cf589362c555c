// SPDX-License-Identifier: MIT
// Lintara.app: Lintara as a macOS menu-bar application, on AppKit.
//
// Provides:
//  - an accessory application (no Dock icon, no menu bar of its own; the
//    bundle also sets LSUIElement) whose delegate forwards launch and reopen,
//    with a main menu that is never shown but gives text fields the standard
//    editing keys;
//  - one status item of variable length, its title on the item's button with
//    a spoken label that reads a countdown as words, and a new NSMenu on every
//    render, whose entries target an object with the controller's operation
//    names as selectors;
//  - the one-second tick as an NSTimer in the default run-loop mode, and the
//    workspace's wake notification;
//  - the two preferences in NSUserDefaults, under the bundle identifier;
//  - the short time of day from NSDateFormatter, in the user's locale,
//    language and time zone;
//  - modal NSAlerts in front of every other window, one with a text field as
//    its accessory view, and long texts in a bounded scrolling view;
//  - Dispatch's main queue and global utility and default queues, with
//    main-queue work held back while an alert or the status menu is open;
//  - the VPN tool run with posix_spawn by the POSIX process runner;
//  - the URL scheme lintara: (lintara://start?minutes=N, lintara://cancel)
//    for scripts and other applications.
//  - the warning before the deadline as a user notification with its two
//    actions, or a small panel where notifications are not allowed.
//
// Leaves out:
//  - starting at login: the user adds Lintara.app under System Settings,
//    General, Login Items;
//  - a window, a Dock icon, localisation tables, and any shutdown work: the
//    process simply ends on quit, and the controller is never destroyed.
//
// Never built or run on a Mac by its author; on Linux, CI checks its syntax
// against GNUstep's headers (.ci/steps/70-appkit-syntax.sh).
#import <AppKit/AppKit.h>

#include "AppKitPlatform.hpp"
#include "AppKitSupport.hpp"
#include "Conversions.h"

#include "Lintara/Lintara.hpp"

#include <exception>
#include <memory>

namespace {
// The one controller, for as long as the process runs.
std::unique_ptr<lintara::AppDelegate> controller;
} // namespace

int main()
{
    @autoreleasepool {
        try {
            // Quitting ends the process with exit(), which would otherwise
            // destroy the controller: remove the status item and stop the
            // timer in the middle of AppKit's own teardown.
            lintara::appkit::keepAtExit<controller>();
            lintara::appkit::AppKitPlatform platform;
            return lintara::applicationMain(platform.platform(), controller);
        } catch (const std::exception& error) {
            // Only start-up can get here: once the loop runs, every callback
            // catches for itself.
            NSLog(@"Lintara could not start: %@", lintara::appkit::toNSString(error.what()));
        } catch (...) {
            NSLog(@"Lintara could not start: an unknown exception");
        }
        return 1;
    }
}
