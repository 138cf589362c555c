// SPDX-License-Identifier: MIT
// The wake-from-sleep notification on Linux: login1's PrepareForSleep signal
// on the system bus. PrepareForSleep(false) means the machine has woken; each
// observer then runs once, through the main queue, so that a wake that comes
// while a modal dialog is open waits for the dialog like any other block.
//
// Only signals sent by the current owner of org.freedesktop.login1 count:
// any client on the bus can emit a signal with login1's interface name.
// Without a system bus there is no registration and nothing is reported.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <functional>
#include <string>
#include <vector>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GCancellable GCancellable;

namespace lintara::glib {

class Login1Wake final : public NotificationCenter {
public:
    // mainQueue must outlive this object. Main thread.
    explicit Login1Wake(DispatchQueue& mainQueue);
    ~Login1Wake() override;
    Login1Wake(const Login1Wake&) = delete;
    Login1Wake& operator=(const Login1Wake&) = delete;

    // Connects to the system bus in the background on the first call; the
    // registration lasts as long as this object.
    void addObserver(Notification name, std::function<void()> callback) override;

    // Told once the subscription is in place and login1's owner is known
    // (or known to be absent), and again whenever the owner changes. For
    // diagnostics and tests; main thread.
    void setOnReady(std::function<void(const std::string& owner)> onReady) { onReady_ = std::move(onReady); }

private:
    void connected(GDBusConnection* connection);
    void ownerChanged(std::string owner);
    void signalled(const char* sender, bool sleeping);

    DispatchQueue& mainQueue_;
    std::vector<std::function<void()>> observers_;
    std::function<void(const std::string&)> onReady_;
    GCancellable* cancellable_ = nullptr;
    GDBusConnection* connection_ = nullptr;
    unsigned subscription_ = 0;
    unsigned watch_ = 0;
    std::string owner_;
};

} // namespace lintara::glib
