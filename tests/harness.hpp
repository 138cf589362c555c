// SPDX-License-Identifier: MIT
// A started controller on the fake platform, with the words tests use most.
#pragma once

#include "Lintara/Lintara.hpp"
#include "Lintara/platform/fake/FakePlatform.hpp"

#include <gtest/gtest.h>

#include <string>

namespace lintara::testing {

inline const std::string connectedOutput = "  >> state: Connected\n";
inline const std::string disconnectedOutput = "  >> state: Disconnected\n";

// While a countdown runs, ticks land a hair after each whole second before its
// deadline. A test that steps whole seconds from the moment a countdown starts
// first steps this much, so that each later step ends just after a tick.
inline constexpr double pastTheTick = 0.05;

class ControllerTest : public ::testing::Test {
protected:
    fake::FakePlatform fake;

    void start() { fake.start(); }
    AppDelegate::Snapshot fields() { return fake.controller().snapshot(); }

    // The next state query reads this, and every later one too until changed.
    void vpnReads(const std::string& output) { fake.scriptDefault("state", fake::ScriptedRun::printing(output)); }

    // Starts with the VPN already up: the launch query finds it and, with the
    // switch on, the countdown starts at once.
    void startConnected()
    {
        vpnReads(connectedOutput);
        start();
        fake.settle();
    }

    // Ticks one second at a time, letting every query finish as it would on a
    // machine where the tool answers at once.
    void tickAndSettle(int ticks)
    {
        for (int i = 0; i < ticks; ++i) {
            fake.advance(1.0);
            fake.settle();
        }
    }

    // Lets the next poll come round and be applied.
    void pollOnce()
    {
        const auto before = fake.runsOf("state");
        for (int i = 0; i < 5 && fake.runsOf("state") == before; ++i) {
            tickAndSettle(1);
        }
        ASSERT_EQ(fake.runsOf("state"), before + 1) << "no poll came round within five ticks";
    }

    double secondsUntilDeadline()
    {
        const auto deadline = fields().deadline;
        EXPECT_TRUE(deadline.has_value());
        return deadline ? deadline->timeIntervalSince(fake.now()) : -1;
    }
};

} // namespace lintara::testing
