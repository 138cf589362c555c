// SPDX-License-Identifier: MIT
// The places where a Linux front end's test build reaches into the program,
// and nothing else of the tests.
//
// A shipped program links no test code: its hooks are these defaults, which
// change nothing. Each front end's test build (lintara-testing,
// lintara-term-testing; built only with LINTARA_BUILD_TESTS) compiles its
// main.cpp with LINTARA_TESTING_BUILD and links one source of its own,
// TestingHooks.cpp, which defines testingHooks().
#pragma once

#include "Lintara/platform/Platform.hpp"
#include "Login1Wake.hpp"

namespace lintara::glib {

class ProgramHooks {
public:
    ProgramHooks() = default;
    virtual ~ProgramHooks() = default;
    ProgramHooks(const ProgramHooks&) = delete;
    ProgramHooks& operator=(const ProgramHooks&) = delete;

    // The clock the controller and the modal gate read, given the wall clock.
    [[nodiscard]] virtual Clock& clock(Clock& wallClock) { return wallClock; }
    // The wake registration the controller is given, given login1's.
    [[nodiscard]] virtual NotificationCenter& wake(Login1Wake& wake) { return wake; }
};

#ifdef LINTARA_TESTING_BUILD
// The test build's hooks, from its TestingHooks.cpp.
[[nodiscard]] ProgramHooks& testingHooks();
#endif

// This program's hooks. Main thread, before the main loop runs.
[[nodiscard]] inline ProgramHooks& programHooks()
{
#ifdef LINTARA_TESTING_BUILD
    return testingHooks();
#else
    static ProgramHooks none;
    return none;
#endif
}

} // namespace lintara::glib
