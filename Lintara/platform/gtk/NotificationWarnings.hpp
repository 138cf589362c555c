// SPDX-License-Identifier: MIT
// Warnings on a Linux desktop: a notification from the desktop's notification
// server (org.freedesktop.Notifications, over GDBus) with the warning's
// actions as its buttons; where no server answers, a small window of our own
// with the same texts and buttons, so that a warning is never lost.
//
// The notification has normal urgency, stays when an action is clicked, and,
// where the server honours a timeout, lasts until a minute past the
// deadline; the controller takes it away before that. Only the notification on show counts: an action the
// server reports for any other id (an older warning, or one that an earlier
// run of Lintara left behind) is ignored.
//
// Main thread only. A chosen action is posted to the main queue, so that one
// chosen while a modal dialog is open waits for it to close, as a menu choice
// does.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

typedef struct _GCancellable GCancellable;
typedef struct _GDBusConnection GDBusConnection;
typedef struct _GtkWidget GtkWidget;

namespace lintara::gtk {

class NotificationWarnings final : public Warnings {
public:
    // desktopEntry names the launcher (io.lintara.Lintara), which servers
    // use to find the application's name and icon.
    NotificationWarnings(DispatchQueue& mainQueue, Clock& clock, std::string desktopEntry, std::string iconName);
    ~NotificationWarnings() override;
    NotificationWarnings(const NotificationWarnings&) = delete;
    NotificationWarnings& operator=(const NotificationWarnings&) = delete;

    // Notifications need nobody's leave here.
    void prepare() override { }
    void show(const Warning& warning, std::function<void(WarningAction)> chosen) override;
    void withdraw() override;

private:
    struct Pending;
    void connect();
    void notified(std::uint64_t serial, std::optional<std::uint32_t> id);
    void serverSignalled(const char* signal, std::uint32_t id, const char* actionKey);
    void showWindow();
    void closeWindow();
    void deliver(std::size_t index);

    DispatchQueue& mainQueue_;
    Clock& clock_;
    std::string desktopEntry_;
    std::string iconName_;
    GCancellable* cancellable_;
    GDBusConnection* bus_ = nullptr;
    unsigned subscription_ = 0;
    std::optional<Warning> warning_;
    std::function<void(WarningAction)> chosen_;
    // Counts shows and withdrawals, so that the server's late answer to an
    // earlier Notify is told apart from the answer for the warning on show.
    std::uint64_t serial_ = 0;
    // The server's id for the notification on show; 0 for none.
    std::uint32_t notificationId_ = 0;
    GtkWidget* window_ = nullptr;
};

} // namespace lintara::gtk
