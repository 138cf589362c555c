// SPDX-License-Identifier: MIT
#include "Win32Shell.hpp"

#include <sddl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace lintara::win32 {

Win32Shell::Win32Shell(MessageWindow& window, DispatchQueue& mainQueue)
    : window_(window)
    , mainQueue_(mainQueue)
{
    // Broadcast to top-level windows only, so the hidden one hears it.
    window_.onMessage(WM_POWERBROADCAST, [this](WPARAM event, LPARAM) -> LRESULT {
        if (event == PBT_APMRESUMEAUTOMATIC) {
            for (const std::function<void()>& observer : wakeObservers_) {
                mainQueue_.async(observer);
            }
        }
        return TRUE;
    });
    // Windows is logging off or shutting down: the icon goes, as on quit.
    window_.onMessage(WM_ENDSESSION, [this](WPARAM ending, LPARAM) -> LRESULT {
        if (ending != FALSE) {
            terminate();
        }
        return 0;
    });
    window_.onMessage(openMenuMessage, [this](WPARAM, LPARAM) -> LRESULT {
        mainQueue_.async([this] {
            if (delegate_ != nullptr) {
                (void)delegate_->applicationShouldHandleReopen();
            }
            // The popup's loop runs main-queue blocks; opened from inside
            // one, they would run nested in it.
            window_.post(showMenuMessage);
        });
        return 0;
    });
    window_.onMessage(showMenuMessage, [this](WPARAM, LPARAM) -> LRESULT {
        if (openMenu_) {
            openMenu_();
        }
        return 0;
    });
}

void Win32Shell::run()
{
    if (delegate_ != nullptr) {
        delegate_->applicationDidFinishLaunching();
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void Win32Shell::terminate()
{
    for (const std::function<void()>& last : atTermination_) {
        last();
    }
    std::fflush(nullptr);
    // A child that ends with the application is in a job that closes with
    // the process; one that outlives it is not.
    std::_Exit(EXIT_SUCCESS);
}

void Win32Shell::addObserver(Notification name, std::function<void()> callback)
{
    if (name == Notification::workspaceDidWake) {
        wakeObservers_.push_back(std::move(callback));
    }
}

std::wstring instanceMutexName()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return {};
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    const auto buffer = std::make_unique<unsigned char[]>(size);
    std::wstring name;
    if (GetTokenInformation(token, TokenUser, buffer.get(), size, &size)) {
        const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.get());
        LPWSTR sid = nullptr;
        if (ConvertSidToStringSidW(user->User.Sid, &sid)) {
            name = std::wstring(L"Local\\Lintara-") + sid;
            LocalFree(sid);
        }
    }
    CloseHandle(token);
    return name;
}

Instance claimInstance()
{
    const std::wstring name = instanceMutexName();
    if (name.empty()) {
        return Instance::unknown;
    }
    // Never closed: the mutex is the claim, and goes with the process.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    if (mutex == nullptr) {
        return Instance::unknown;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
        return Instance::first;
    }
    CloseHandle(mutex);
    // The first may still be starting; its window comes soon after its mutex.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (HWND running = FindWindowExW(HWND_MESSAGE, nullptr, MessageWindow::className, MessageWindow::title)) {
            // The first may bring its menu to the front.
            DWORD process = 0;
            GetWindowThreadProcessId(running, &process);
            AllowSetForegroundWindow(process);
            PostMessageW(running, openMenuMessage, 0, 0);
            break;
        }
        Sleep(100);
    }
    return Instance::handedToRunning;
}

} // namespace lintara::win32
