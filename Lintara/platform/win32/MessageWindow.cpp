// SPDX-License-Identifier: MIT
#include "MessageWindow.hpp"

namespace lintara::win32 {

MessageWindow::MessageWindow()
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = className;
    RegisterClassExW(&windowClass);
    handle_ = CreateWindowExW(0, className, title, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this);
    // Never shown: WS_EX_TOOLWINDOW keeps it off the taskbar and Alt-Tab
    // should anything ever show it.
    topLevel_
        = CreateWindowExW(WS_EX_TOOLWINDOW, className, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, this);
}

MessageWindow::~MessageWindow()
{
    DestroyWindow(topLevel_);
    DestroyWindow(handle_);
}

UINT_PTR MessageWindow::addTimer(std::function<void()> fired)
{
    const UINT_PTR id = nextTimer_++;
    timers_[id] = std::move(fired);
    return id;
}

void MessageWindow::removeTimer(UINT_PTR id)
{
    KillTimer(handle_, id);
    timers_.erase(id);
}

void MessageWindow::post(UINT message, WPARAM wParam, LPARAM lParam) const
{
    PostMessageW(handle_, message, wParam, lParam);
}

LRESULT CALLBACK MessageWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->handle(window, message, wParam, lParam);
}

LRESULT MessageWindow::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER) {
        const auto found = timers_.find(wParam);
        if (found != timers_.end()) {
            // A copy: the callback may remove its own timer.
            const std::function<void()> fired = found->second;
            fired();
        }
        return 0;
    }
    const auto found = handlers_.find(message);
    if (found != handlers_.end()) {
        const Handler handler = found->second;
        return handler(wParam, lParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace lintara::win32
