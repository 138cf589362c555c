// SPDX-License-Identifier: MIT
// The application object on macOS: NSApplication, with a delegate that hands
// launch and reopen to the seam's delegate, and a main menu that is never shown
// but gives text fields the standard editing keys.
#pragma once

#import <AppKit/AppKit.h>

#include "AppKitSupport.hpp"
#include "Lintara/platform/Platform.hpp"

@class LintaraApplicationBridge;

namespace lintara::appkit {

class AppKitApplication final : public Application {
public:
    // A reopen that comes while an alert is open waits in the deferral.
    AppKitApplication(NSApplication* application, ModalDeferral& deferral);

    void setActivationPolicy(ActivationPolicy policy) override;
    void setDelegate(ApplicationDelegate* delegate) override;
    void run() override;
    void terminate() override;
    void activateIgnoringOtherApps(IgnoringOtherApps ignoring) override;

private:
    NSApplication* application_;
    ModalDeferral& deferral_;
    LintaraApplicationBridge* bridge_ = nil;
};

} // namespace lintara::appkit
