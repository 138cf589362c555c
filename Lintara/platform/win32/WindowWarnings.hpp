// SPDX-License-Identifier: MIT
// The warning before the deadline as a small window of its own, above the
// others at the bottom right of the work area, with the summary, the body
// and the actions as buttons. It never takes the keyboard from whatever the
// person is typing into, where a stray Return would press a button.
//
// Leaves out a toast or balloon notification: the window is the one way the
// warning shows, so it cannot be lost to Focus Assist.
//
// Main thread only. A chosen action is posted to the main queue, so that one
// chosen while a modal dialog is open waits for it to close, as a menu choice
// does. Closing the window dismisses the warning and chooses nothing.
#pragma once

#include "DialogLayout.hpp"
#include "Lintara/platform/Platform.hpp"
#include "ProgramHooks.hpp"

#include <windows.h>

#include <functional>
#include <optional>
#include <string_view>

namespace lintara::win32 {

class WindowWarnings final : public Warnings {
public:
    WindowWarnings(DispatchQueue& mainQueue, ProgramHooks& hooks);
    ~WindowWarnings() override;
    WindowWarnings(const WindowWarnings&) = delete;
    WindowWarnings& operator=(const WindowWarnings&) = delete;

    // Nobody's leave is needed to show a window.
    void prepare() override { }
    void show(const Warning& warning, std::function<void(WarningAction)> chosen) override;
    void withdraw() override;

    // Presses the action with this title, as a click would; false when no
    // warning shows or it has no such action.
    bool press(std::string_view title);

private:
    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void deliver(std::size_t index);
    void close();

    DispatchQueue& mainQueue_;
    ProgramHooks& hooks_;
    std::optional<Warning> warning_;
    DialogContent content_;
    std::function<void(WarningAction)> chosen_;
    HWND window_ = nullptr;
};

} // namespace lintara::win32
