// SPDX-License-Identifier: MIT
// Modal NSAlerts in front of every other window: one with a text field as its
// accessory view, and long texts in a bounded scrolling view. While one is
// open, main-queue work waits in the deferral.
#pragma once

#include "AppKitSupport.hpp"
#include "Lintara/platform/Platform.hpp"

namespace lintara::appkit {

class AppKitAlerts final : public Alerts {
public:
    // An alert's closesAt is read against clock, the one the controller set
    // it from.
    AppKitAlerts(ModalDeferral& deferral, Clock& clock);

    ModalResponse runModal(const Alert& alert) override;

private:
    ModalDeferral& deferral_;
    Clock& clock_;
};

} // namespace lintara::appkit
