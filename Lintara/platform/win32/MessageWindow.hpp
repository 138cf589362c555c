// SPDX-License-Identifier: MIT
// The windows that everything of the Win32 front end hangs on, and the one
// window procedure that hands their messages to whichever part asked.
//
// A message-only window (HWND_MESSAGE) owns the main queue's messages, the
// timers, the notify icon's callbacks and the message a second start sends;
// a second Lintara finds it by class and title. Message-only windows hear no
// broadcasts, though, and cannot come to the foreground, so a hidden
// top-level window of the same class hears TaskbarCreated and
// WM_POWERBROADCAST and owns the popup menu. Both go to the same handlers.
//
// Main thread only, except post(), which any thread may call.
#pragma once

#include <windows.h>

#include <functional>
#include <unordered_map>

namespace lintara::win32 {

// Messages of our own, posted to the message-only window.
enum : UINT {
    drainMessage = WM_APP + 1,
    resumeMessage,
    iconMessage,
    openMenuMessage,
    showMenuMessage,
};

class MessageWindow {
public:
    static constexpr const wchar_t* className = L"Lintara.MessageWindow";
    static constexpr const wchar_t* title = L"Lintara";

    MessageWindow();
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    [[nodiscard]] HWND handle() const { return handle_; }
    [[nodiscard]] HWND topLevel() const { return topLevel_; }

    using Handler = std::function<LRESULT(WPARAM, LPARAM)>;
    // One handler per message; a later one replaces an earlier one.
    void onMessage(UINT message, Handler handler) { handlers_[message] = std::move(handler); }
    // A fresh id for SetTimer on handle(), and what its WM_TIMER runs.
    UINT_PTR addTimer(std::function<void()> fired);
    void removeTimer(UINT_PTR id);

    // Any thread.
    void post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND handle_ = nullptr;
    HWND topLevel_ = nullptr;
    std::unordered_map<UINT, Handler> handlers_;
    std::unordered_map<UINT_PTR, std::function<void()>> timers_;
    UINT_PTR nextTimer_ = 1;
};

} // namespace lintara::win32
