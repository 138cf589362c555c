// SPDX-License-Identifier: MIT
#include "WindowWarnings.hpp"

#include <algorithm>

namespace lintara::win32 {

WindowWarnings::WindowWarnings(DispatchQueue& mainQueue, ProgramHooks& hooks)
    : mainQueue_(mainQueue)
    , hooks_(hooks)
{
}

WindowWarnings::~WindowWarnings() { close(); }

void WindowWarnings::show(const Warning& warning, std::function<void(WarningAction)> chosen)
{
    close();
    warning_ = warning;
    chosen_ = std::move(chosen);
    content_ = DialogContent {};
    content_.message = warning.summary;
    content_.informative = warning.body;
    for (const Warning::Choice& choice : warning.actions) {
        content_.buttons.push_back(choice.title);
    }
    const std::vector<WORD> dialogTemplate
        = win32::dialogTemplate(content_, 0, WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE);
    window_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
        reinterpret_cast<LPCDLGTEMPLATEW>(dialogTemplate.data()), nullptr, procedure, reinterpret_cast<LPARAM>(this));
    if (window_ != nullptr) {
        ShowWindow(window_, SW_SHOWNOACTIVATE);
    }
    hooks_.warningShown(warning);
}

void WindowWarnings::withdraw()
{
    if (warning_) {
        hooks_.warningWithdrawn();
    }
    close();
    warning_.reset();
    chosen_ = nullptr;
}

bool WindowWarnings::press(std::string_view title)
{
    if (!warning_ || window_ == nullptr) {
        return false;
    }
    const auto& actions = warning_->actions;
    const auto found = std::find_if(
        actions.begin(), actions.end(), [title](const Warning::Choice& choice) { return choice.title == title; });
    if (found == actions.end()) {
        return false;
    }
    deliver(static_cast<std::size_t>(found - actions.begin()));
    return true;
}

void WindowWarnings::deliver(std::size_t index)
{
    if (!warning_ || index >= warning_->actions.size()) {
        return;
    }
    mainQueue_.async([chosen = chosen_, action = warning_->actions[index].action] { chosen(action); });
}

void WindowWarnings::close()
{
    if (window_ != nullptr) {
        DestroyWindow(window_);
        window_ = nullptr;
    }
}

INT_PTR CALLBACK WindowWarnings::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = dialogOwner<WindowWarnings>(window, message, lParam);
    if (self == nullptr) {
        return FALSE;
    }
    switch (message) {
    case WM_INITDIALOG:
        layOutDialog(window, self->content_, Placement::bottomRight);
        // Returning FALSE leaves the focus alone: nothing here takes it.
        return FALSE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id >= firstButtonControl) {
            self->deliver(static_cast<std::size_t>(id - firstButtonControl));
        } else if (id == IDCANCEL) {
            // Dismissed, as a notification can be; the controller still
            // takes it away in its own time.
            self->close();
        }
        return TRUE;
    }
    case WM_DESTROY: releaseDialogFont(window); return FALSE;
    default: return FALSE;
    }
}

} // namespace lintara::win32
