// Lintara.app: Lintara as a macOS menu-bar application, on AppKit.
//
// Provides:
//  - an accessory application (no Dock icon, no menu bar of its own; the
//    bundle also sets LSUIElement) whose delegate forwards launch and reopen;
//  - one status item of variable length, its title on the item's button with
//    a spoken label that reads a countdown as words, and a new NSMenu on every
//    render, whose entries target an object with the controller's operation
//    names as selectors;
//  - the one-second tick as an NSTimer in the default run-loop mode, and the
//    workspace's wake notification;
//  - the two preferences in NSUserDefaults, under the bundle identifier;
//  - the short time of day from NSDateFormatter, in the user's locale;
//  - modal NSAlerts, one with a text field as its accessory view;
//  - Dispatch's main queue and global utility and default queues, with
//    main-queue work held back while an alert is open;
//  - the VPN tool run with posix_spawn by the POSIX process runner.
//
// Leaves out:
//  - starting at login: the user adds Lintara.app under System Settings,
//    General, Login Items;
//  - a window, a Dock icon, a main menu, localisation tables, and any
//    shutdown work: the process simply ends on quit.
//
// Never built or run on a Mac by its author; on Linux, CI checks its syntax
// against GNUstep's headers (.ci/steps/70-appkit-syntax.sh).
#import <AppKit/AppKit.h>

#include "AppKitPlatform.hpp"
#include "Conversions.h"

#include "Lintara/Lintara.hpp"

#include <exception>

int main()
{
    @autoreleasepool {
        try {
            lintara::appkit::AppKitPlatform platform;
            return lintara::applicationMain(platform.platform());
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
