// SPDX-License-Identifier: MIT
// The alerts as modal Win32 dialogs, built in memory (no resource script):
// the bold message, the informative text, the optional field, and the
// buttons in the order given, the first one the default. An alert without a
// field is the tool's output, which may be long: it shows in a read-only edit
// that scrolls once it is taller than half the work area.
//
// Sizes are the seam's in pixels at 96 DPI, scaled for the dialog's monitor.
// Escape and the close box cancel (alertSecondButtonReturn). An alert with
// closesAt looks at the controller's clock at least once a second and closes
// itself at that instant, answering modalResponseAbort.
//
// Main thread only. While a dialog is open the gate holds ticks and
// main-queue blocks (see ModalGate.hpp).
#pragma once

#include "Lintara/platform/Platform.hpp"
#include "ModalGate.hpp"
#include "ProgramHooks.hpp"

#include <string_view>

namespace lintara::win32 {

class Win32Alerts final : public Alerts {
public:
    Win32Alerts(ModalGate& gate, Clock& clock, ProgramHooks& hooks);
    ModalResponse runModal(const Alert& alert) override;

    // Presses the button with this title in the open dialog, after typing
    // fieldText into its field, as a person would; false when no dialog is
    // open or it has no such button.
    bool press(std::string_view button, std::string_view fieldText);

    struct Open;

private:
    ModalGate& gate_;
    Clock& clock_;
    ProgramHooks& hooks_;
    Open* open_ = nullptr;
};

} // namespace lintara::win32
