// SPDX-License-Identifier: MIT
// What lintara-ctl prints for a status bar.
#include "Lintara/platform/glib/CtlStatus.hpp"

#include <gtest/gtest.h>

namespace lintara::glib {
namespace {

    TEST(CtlStatus, WaybarClassFollowsBusyTheDeadlineAndTheConnection)
    {
        RemoteState state;
        state.connected = true;
        state.deadline = 1000;
        EXPECT_STREQ(waybarClass(state, 1000 - warningSeconds - 0.5), "counting");
        // The title shows whole seconds rounded up: 300 s left is the warning.
        EXPECT_STREQ(waybarClass(state, 1000 - warningSeconds - 0.0), "warning");
        EXPECT_STREQ(waybarClass(state, 999.5), "warning");
        state.busy = true;
        EXPECT_STREQ(waybarClass(state, 0), "busy");
        state = RemoteState {};
        EXPECT_STREQ(waybarClass(state, 0), "idle") << "not known yet";
        state.connected = false;
        EXPECT_STREQ(waybarClass(state, 0), "disconnected");
    }

    TEST(CtlStatus, TheTimeLeftComesFromTheDeadlineRoundedUpAndNeverBelowZero)
    {
        RemoteState state;
        state.title = "VPN ◷";
        EXPECT_EQ(remainingSeconds(state, 5), 0);
        EXPECT_EQ(titleAt(state, 5), "VPN ◷");
        state.deadline = 4000;
        EXPECT_EQ(remainingSeconds(state, 399.25), 3601);
        EXPECT_EQ(titleAt(state, 399.25), "VPN 1:00:01");
        EXPECT_EQ(remainingSeconds(state, 4000.5), 0);
    }

    TEST(CtlStatus, JsonStringsEscapeQuotesBackslashesAndControlsAndKeepUtf8)
    {
        EXPECT_EQ(jsonString("예약 \"중\"\\\n\t\x01"), "\"예약 \\\"중\\\"\\\\\\n\\u0009\\u0001\"");
    }

} // namespace
} // namespace lintara::glib
