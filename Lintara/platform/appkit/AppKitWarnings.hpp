// SPDX-License-Identifier: MIT
// The warning before the deadline on macOS: a notification from the user
// notification centre, in a category that holds the warning's actions; and,
// where the person has not allowed Lintara's notifications (or not yet), a
// small non-modal panel with the same texts and buttons.
//
// Leave to notify is asked for on the first countdown that will warn, not at
// launch, so that the request comes when its reason is plain. A chosen
// action is posted to the main queue, which holds it while an alert or the
// status menu is open; only the warning on show counts, so an action on an
// older notification, or one an earlier run left in Notification Centre, is
// ignored.
//
// Plain C++ on the outside, so that the binding's other files need no
// UserNotifications types. Main thread only.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <memory>

namespace lintara::appkit {

class AppKitWarnings final : public Warnings {
public:
    explicit AppKitWarnings(DispatchQueue& mainQueue);
    ~AppKitWarnings() override;
    AppKitWarnings(const AppKitWarnings&) = delete;
    AppKitWarnings& operator=(const AppKitWarnings&) = delete;

    void prepare() override;
    void show(const Warning& warning, std::function<void(WarningAction)> chosen) override;
    void withdraw() override;

    struct State;

private:
    std::unique_ptr<State> state_;
};

} // namespace lintara::appkit
