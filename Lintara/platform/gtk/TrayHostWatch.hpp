// SPDX-License-Identifier: MIT
// Whether anything shows the tray item: a StatusNotifierItem host, reached
// through org.kde.StatusNotifierWatcher on the session bus. GNOME Shell has
// none without its AppIndicator extension, and the item then sits unseen
// while the countdown runs on, so a missing host is said out loud: on
// standard error and in the log each time one has been missing for a while,
// and once per run as a desktop notification, where a notification server
// exists. The indicator keeps waiting, and shows up when a host comes.
//
// Main thread only.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <string>

namespace lintara::gtk {

class TrayHostWatch {
public:
    // A host that comes within graceSeconds of the start, or of the last one
    // leaving, was only late: a panel that starts after Lintara at login, or
    // restarts.
    TrayHostWatch(Log& log, std::string iconName, unsigned graceSeconds = 10);
    ~TrayHostWatch();
    TrayHostWatch(const TrayHostWatch&) = delete;
    TrayHostWatch& operator=(const TrayHostWatch&) = delete;

private:
    void appeared();
    void vanished();
    void graceOver();

    Log& log_;
    std::string iconName_;
    unsigned graceSeconds_;
    unsigned watch_ = 0;
    unsigned timer_ = 0;
    bool missingSaid_ = false;
    bool notified_ = false;
};

// What Lintara says when no host shows its item.
[[nodiscard]] std::string missingHostMessage();

} // namespace lintara::gtk
