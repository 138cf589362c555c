// SPDX-License-Identifier: MIT
// The places where lintara-testing, the Win32 front end's test build, reaches
// into the program, and nothing else of the tests.
//
// Each hook says what the person would now see, or hands the test build the
// parts it drives. The shipped lintara.exe links no test code: its hooks are
// these defaults, which do nothing. lintara-testing compiles main.cpp with
// LINTARA_TESTING_BUILD and links TestingHooks.cpp, which defines
// testingHooks().
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <string_view>

namespace lintara::win32 {

class MessageWindow;
class NotifyIconStatusBar;
class Win32Alerts;
class WindowWarnings;

// What a test build may drive, once the message window exists.
struct TestingReach {
    MessageWindow& window;
    NotifyIconStatusBar& statusBar;
    Win32Alerts& alerts;
    WindowWarnings& warnings;
};

class ProgramHooks {
public:
    ProgramHooks() = default;
    virtual ~ProgramHooks() = default;
    ProgramHooks(const ProgramHooks&) = delete;
    ProgramHooks& operator=(const ProgramHooks&) = delete;

    // The clock the controller and the dialogs read, given the wall clock.
    [[nodiscard]] virtual Clock& clock(Clock& wallClock) { return wallClock; }
    virtual void started(const TestingReach& /*reach*/) { }

    virtual void titleShown(std::string_view /*title*/, std::string_view /*iconText*/) { }
    virtual void menuShown(const Menu& /*menu*/) { }
    virtual void menuOpened() { }
    virtual void dialogOpened(const Alert& /*alert*/) { }
    virtual void dialogClosed(const ModalResponse& /*response*/) { }
    virtual void warningShown(const Warning& /*warning*/) { }
    virtual void warningWithdrawn() { }
    virtual void statePublished(const RemoteState& /*state*/) { }
    virtual void logged(LogLevel /*level*/, std::string_view /*line*/) { }
};

#ifdef LINTARA_TESTING_BUILD
[[nodiscard]] ProgramHooks& testingHooks();
#endif

// This program's hooks. Main thread, before the loop runs.
[[nodiscard]] inline ProgramHooks& programHooks()
{
#ifdef LINTARA_TESTING_BUILD
    return testingHooks();
#else
    static ProgramHooks none;
    return none;
#endif
}

} // namespace lintara::win32
