// SPDX-License-Identifier: MIT
// Start-up, the two stored preferences, reopen and quit.
#include "harness.hpp"

#include <algorithm>

namespace lintara::testing {
namespace {

    using fake::ScriptedRun;

    class Shell : public ControllerTest { };

    std::ptrdiff_t indexOf(const std::vector<std::string>& events, const std::string& event)
    {
        const auto found = std::find(events.begin(), events.end(), event);
        return found == events.end() ? -1 : found - events.begin();
    }

    TEST_F(Shell, LaunchDrawsOnceThenStartsTheFirstQuery)
    {
        start();
        EXPECT_EQ(fake.activationPolicy(), ActivationPolicy::accessory);
        EXPECT_EQ(fake.statusItemsCreated(), 1);
        EXPECT_TRUE(fake.timerScheduled());
        EXPECT_TRUE(fields().hasItem);
        EXPECT_TRUE(fields().hasTimer);

        // Drawn before any query has answered: the state is not yet known.
        ASSERT_EQ(fake.titles(), std::vector<std::string> { "VPN ◷" });
        ASSERT_EQ(fake.menus().size(), 1u);
        EXPECT_EQ(fake.menu().items.front().title, "VPN 상태 확인 중");
        // The query has been handed to a background queue, not run here, and
        // only after the first drawing.
        EXPECT_TRUE(fields().polling);
        EXPECT_EQ(fake.pendingBackground(), 1u);
        EXPECT_LT(indexOf(fake.events(), "menu"), indexOf(fake.events(), "background"));
        EXPECT_TRUE(fake.runs().empty());
        EXPECT_EQ(fields().pollCounter, 0);
        fake.settle();
        const auto& events = fake.events();
        ASSERT_GE(indexOf(events, "launch state"), 0);
        EXPECT_LT(indexOf(events, "menu"), indexOf(events, "launch state"));
    }

    TEST_F(Shell, FieldsStartAsDocumented)
    {
        start();
        const auto view = fields();
        EXPECT_FALSE(view.deadline);
        EXPECT_FALSE(view.busy);
        EXPECT_FALSE(view.connected);
        EXPECT_EQ(view.status, "예약 없음");
        EXPECT_EQ(view.vpnPath, "/opt/cisco/secureclient/bin/vpn");
    }

    TEST_F(Shell, AnEmptyStoreGivesSixtyMinutesAndTheSwitchOnAndStaysEmpty)
    {
        AppDelegate constructed(fake.platform());
        EXPECT_EQ(constructed.snapshot().selectedMinutes, 0) << "the range is applied at launch, not before";

        start();
        fake.settle();
        EXPECT_EQ(fields().selectedMinutes, 60);
        EXPECT_TRUE(fields().automatic);
        EXPECT_TRUE(fake.settings().empty());
        EXPECT_TRUE(fake.settingWrites().empty());
    }

    struct StoredDuration {
        SettingValue stored;
        std::int64_t afterLaunch;
    };

    class StoredDurations : public Shell, public ::testing::WithParamInterface<StoredDuration> { };

    TEST_P(StoredDurations, AreRepairedInMemoryOnly)
    {
        fake.settings()["durationMinutes"] = GetParam().stored;
        start();
        EXPECT_EQ(fields().selectedMinutes, GetParam().afterLaunch);
        EXPECT_EQ(fake.settings()["durationMinutes"], GetParam().stored) << "the stored value must stay";
        EXPECT_TRUE(fake.settingWrites().empty());
    }

    INSTANTIATE_TEST_SUITE_P(Shell, StoredDurations,
        ::testing::Values(StoredDuration { std::int64_t { 1 }, 1 }, StoredDuration { std::int64_t { 10080 }, 10080 },
            StoredDuration { std::int64_t { 90 }, 90 }, StoredDuration { std::int64_t { 0 }, 60 },
            StoredDuration { std::int64_t { -5 }, 60 }, StoredDuration { std::int64_t { 10081 }, 60 },
            StoredDuration { std::int64_t { -9223372036854775807 - 1 }, 60 },
            StoredDuration { std::string("not a number"), 60 }));

    struct StoredSwitch {
        std::optional<SettingValue> stored;
        bool automatic;
    };

    class StoredSwitches : public Shell, public ::testing::WithParamInterface<StoredSwitch> { };

    TEST_P(StoredSwitches, OnlyABooleanCountsAndAnythingElseIsOn)
    {
        if (GetParam().stored) {
            fake.settings()["automatic"] = *GetParam().stored;
        }
        start();
        EXPECT_EQ(fields().automatic, GetParam().automatic);
    }

    INSTANTIATE_TEST_SUITE_P(Shell, StoredSwitches,
        ::testing::Values(StoredSwitch { std::nullopt, true }, StoredSwitch { false, false },
            StoredSwitch { true, true }, StoredSwitch { std::string("false"), true },
            StoredSwitch { std::string("NO"), true }, StoredSwitch { std::int64_t { 0 }, true },
            StoredSwitch { 0.0, true }));

    TEST_F(Shell, ReopenRedrawsAndAnswersFalse)
    {
        start();
        const auto titles = fake.titles().size();
        const auto menus = fake.menus().size();
        bool answer = true;
        fake.reopen(&answer);
        EXPECT_FALSE(answer);
        EXPECT_EQ(fake.titles().size(), titles + 1);
        EXPECT_EQ(fake.menus().size(), menus + 1);
        EXPECT_EQ(fake.statusItemsCreated(), 1);
        EXPECT_TRUE(fake.alerts().empty());
    }

    TEST_F(Shell, QuitWithADeadlineEndsWithoutDisconnectingAndTheNextStartWaitsForAPoll)
    {
        startConnected();
        ASSERT_TRUE(fields().deadline);
        fake.choose("2시간");
        const auto writes = fake.settingWrites().size();

        fake.choose("종료 (예약도 취소)");
        EXPECT_TRUE(fake.terminated());
        EXPECT_EQ(fake.runsOf("disconnect"), 0u);
        EXPECT_EQ(fake.settingWrites().size(), writes);
        EXPECT_TRUE(fields().deadline) << "quitting changes no field; the deadline goes with the process";

        // The next start remembers the duration but not the deadline.
        fake::FakePlatform next;
        next.settings() = fake.settings();
        next.script("state", ScriptedRun::hanging(connectedOutput.substr(0, 10)));
        next.scriptDefault("state", ScriptedRun::printing(connectedOutput));
        next.start();
        EXPECT_FALSE(next.controller().snapshot().deadline);
        EXPECT_EQ(next.controller().snapshot().selectedMinutes, 120);
        next.settle(); // the launch query hangs until its watchdog ends it
        EXPECT_FALSE(next.controller().snapshot().deadline) << "a hung query is unreadable and starts nothing";
        EXPECT_EQ(next.controller().snapshot().status, "VPN 상태를 읽을 수 없음");
        for (int tick = 0; tick < 5 && next.runsOf("state") < 2; ++tick) {
            next.advance(1.0);
            next.settle();
        }
        ASSERT_TRUE(next.controller().snapshot().deadline);
        EXPECT_DOUBLE_EQ(next.controller().snapshot().deadline->timeIntervalSince(next.now()), 120 * 60.0);
    }

    TEST_F(Shell, WakeTicksAtOnceAndCountsTowardTheFifthTick)
    {
        start();
        fake.settle();
        const auto polls = fake.runsOf("state");
        fake.advance(3.0);
        fake.wake();
        EXPECT_EQ(fields().pollCounter, 4);
        EXPECT_EQ(fake.runsOf("state"), polls);
        fake.advance(1.0);
        fake.settle();
        EXPECT_EQ(fake.runsOf("state"), polls + 1) << "timer ticks and the wake make five";
        EXPECT_EQ(fields().pollCounter, 0);
    }

    TEST_F(Shell, AnItemWithoutAButtonStillGetsItsMenu)
    {
        fake.giveItemNoButton();
        startConnected();
        tickAndSettle(3);
        EXPECT_TRUE(fake.titles().empty());
        EXPECT_EQ(fake.menus().size(), 6u) << "launch, poll result (twice: countdown start), three ticks";
    }

} // namespace
} // namespace lintara::testing
