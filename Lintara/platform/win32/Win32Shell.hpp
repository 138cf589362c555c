// SPDX-License-Identifier: MIT
// The application on Windows: the message loop, the wake from sleep, the one
// instance per user, and a second start that opens the first's menu.
//
//  - Wake: WM_POWERBROADCAST with PBT_APMRESUMEAUTOMATIC, which the hidden
//    top-level window hears, tells the workspaceDidWake observers, through
//    the main queue, so that a wake during a dialog waits for it.
//  - One instance: a named mutex Local\Lintara-<the user's SID>. A second
//    start finds the first's message window and posts it the message that
//    opens its menu, then exits with status 0.
//  - terminate() takes the icon off the taskbar and ends the process without
//    unwinding: worker threads may still wait on a child.
//
// Main thread only.
#pragma once

#include "Lintara/platform/Platform.hpp"
#include "MessageWindow.hpp"

#include <functional>
#include <string>
#include <vector>

namespace lintara::win32 {

class Win32Shell final : public Application, public NotificationCenter {
public:
    Win32Shell(MessageWindow& window, DispatchQueue& mainQueue);

    void setActivationPolicy(ActivationPolicy /*policy*/) override { }
    void setDelegate(ApplicationDelegate* delegate) override { delegate_ = delegate; }
    void run() override;
    void terminate() override;
    // A dialog brings itself to the front (see Win32Alerts.cpp); the
    // foreground lock lets it, since the person just clicked our icon.
    void activateIgnoringOtherApps(IgnoringOtherApps /*ignoring*/) override { }

    void addObserver(Notification name, std::function<void()> callback) override;

    // What a second start asks of this one, on the main queue after the
    // delegate has rendered: open the menu.
    void onOpenMenu(std::function<void()> open) { openMenu_ = std::move(open); }
    // What must happen before the process ends, such as removing the icon.
    void atTermination(std::function<void()> last) { atTermination_.push_back(std::move(last)); }

private:
    MessageWindow& window_;
    DispatchQueue& mainQueue_;
    ApplicationDelegate* delegate_ = nullptr;
    std::vector<std::function<void()>> wakeObservers_;
    std::function<void()> openMenu_;
    std::vector<std::function<void()>> atTermination_;
};

// The name of the per-user mutex, from the process token's user SID; empty
// when the token cannot be read.
[[nodiscard]] std::wstring instanceMutexName();

enum class Instance { first, handedToRunning, unknown };

// Takes the one instance of this user, or reaches the running one. The
// mutex is held for the life of the process.
[[nodiscard]] Instance claimInstance();

} // namespace lintara::win32
