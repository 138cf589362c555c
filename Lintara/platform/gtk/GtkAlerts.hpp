// SPDX-License-Identifier: MIT
// Modal alerts as GTK dialogs: a bold message, the informative text below it,
// an optional single-line entry, and the buttons in the order given, the first
// being the default that Return activates.
//
// Main thread only. The dialog runs in the GLib base's modal loop, so no tick
// and no main-queue block runs until it has closed.
#pragma once

#include "Lintara/platform/Platform.hpp"
#include "Lintara/platform/glib/ModalLoop.hpp"

namespace lintara::gtk {

class GtkShell;

class GtkAlerts final : public Alerts {
public:
    GtkAlerts(glib::ModalLoop& modalLoop, GtkShell& shell);

    ModalResponse runModal(const Alert& alert) override;

private:
    glib::ModalLoop& modalLoop_;
    GtkShell& shell_;
};

// The code a dialog answers when it was closed without one of its buttons
// (Escape, or the window manager's close button): neither the first nor the
// second button, so it counts as cancel.
inline constexpr long closedWithoutButton = 0;

} // namespace lintara::gtk
