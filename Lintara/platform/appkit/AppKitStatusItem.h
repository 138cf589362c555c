// SPDX-License-Identifier: MIT
// The status item on macOS: an NSStatusItem whose button carries the title,
// with a spoken label that reads a countdown as words, and a new NSMenu on
// every render.
#pragma once

#include "AppKitSupport.hpp"
#include "Lintara/platform/Platform.hpp"

namespace lintara::appkit {

class AppKitStatusBar final : public StatusBar {
public:
    // Menu choices go through the deferral, and the menu holds it while open.
    explicit AppKitStatusBar(ModalDeferral& deferral);

    StatusItem statusItemWithLength(double length) override;

private:
    ModalDeferral& deferral_;
};

} // namespace lintara::appkit
