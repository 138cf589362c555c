// SPDX-License-Identifier: MIT
// The deadline and its tick, the choice of duration, and the switch that
// starts a countdown by itself.
#include "harness.hpp"

#include "Lintara/text.hpp"

namespace lintara::testing {
namespace {

    using fake::Answer;
    using fake::ScriptedRun;

    class Countdown : public ControllerTest { };

    // ------------------------------------------------------------ the tick

    TEST_F(Countdown, PollsOnEveryFifthTickAndAtNoOtherTime)
    {
        start();
        fake.settle();
        std::vector<std::size_t> pollsAfterTick;
        for (int tick = 1; tick <= 15; ++tick) {
            tickAndSettle(1);
            pollsAfterTick.push_back(fake.runsOf("state"));
        }
        EXPECT_EQ(pollsAfterTick, (std::vector<std::size_t> { 1, 1, 1, 1, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 4 }));
    }

    TEST_F(Countdown, ARefusedPollWaitsForTheNextFifthTick)
    {
        fake.script("state", ScriptedRun::hanging(disconnectedOutput));
        start();
        // The launch query is still in flight at tick 5: that chance is gone.
        fake.advance(5.0);
        EXPECT_EQ(fields().pollCounter, 0);
        fake.settle(); // the hung query runs into its watchdog at launch + 8 s
        ASSERT_FALSE(fields().polling);
        const auto polls = fake.runsOf("state");
        const double ticks = fake.monotonic();
        for (int tick = 0; tick < 10 && fake.runsOf("state") == polls; ++tick) {
            tickAndSettle(1);
        }
        // Ticks 6 to 13 passed inside the hang; the next poll is tick 15.
        EXPECT_DOUBLE_EQ(fake.monotonic() - ticks, 2.0);
    }

    TEST_F(Countdown, ADeadlineEqualToNowIsDueAndFiresOnce)
    {
        startConnected();
        ASSERT_DOUBLE_EQ(secondsUntilDeadline(), 3600.0);
        fake.advance(pastTheTick);
        tickAndSettle(3599);
        EXPECT_EQ(fake.runsOf("disconnect"), 0u);
        EXPECT_EQ(fake.title(), "VPN 0:00:01");

        // A wake ticks at once: exactly at the deadline.
        fake.setWallClock(fields().deadline->timeIntervalSinceReferenceDate);
        fake.wake();
        EXPECT_FALSE(fields().deadline);
        EXPECT_TRUE(fields().busy);
        EXPECT_EQ(fake.title(), "VPN 해제 중…");
        fake.runBackground();
        EXPECT_EQ(fake.runsOf("disconnect"), 1u);
        fake.runMain();
        tickAndSettle(3);
        EXPECT_EQ(fake.runsOf("disconnect"), 1u);
    }

    TEST_F(Countdown, ScheduleReplacesARunningCountdownFromNow)
    {
        startConnected();
        tickAndSettle(100);
        fake.choose("1시간");
        EXPECT_DOUBLE_EQ(secondsUntilDeadline(), 3600.0);
        EXPECT_EQ(fields().status, "예약 중");
        fake.choose("4시간");
        EXPECT_DOUBLE_EQ(secondsUntilDeadline(), 4 * 3600.0);
    }

    TEST_F(Countdown, CancelDropsTheDeadlineAndSaysSoEvenWithoutOne)
    {
        startConnected();
        fake.choose("예약 취소");
        EXPECT_FALSE(fields().deadline);
        EXPECT_EQ(fields().status, "예약 취소됨");
        EXPECT_EQ(fake.title(), "VPN ◷");
        tickAndSettle(4000);
        EXPECT_EQ(fake.runsOf("disconnect"), 0u);

        // The entry is disabled now; the operation itself still works.
        const auto menus = fake.menus().size();
        fake.controller().cancelTimer();
        EXPECT_EQ(fields().status, "예약 취소됨");
        EXPECT_EQ(fake.menus().size(), menus + 1);
    }

    TEST_F(Countdown, ASleepPastTheDeadlineDisconnectsOnWaking)
    {
        startConnected();
        // Asleep: the wall clock moves on, the timer does not fire.
        fake.setWallClock(fake.now().timeIntervalSinceReferenceDate + 2 * 3600);
        fake.wake();
        EXPECT_TRUE(fields().busy);
        fake.settle();
        EXPECT_EQ(fake.runsOf("disconnect"), 1u);
    }

    TEST_F(Countdown, ADeadlineThatFallsDuringADisconnectWaitsForItToEnd)
    {
        fake.scriptDefault("disconnect", ScriptedRun::printing("done\n"));
        startConnected();
        fake.choose("연결 감지 시 자동 시작"); // off
        tickAndSettle(3599);
        fake.advance(1.0 + pastTheTick);
        ASSERT_TRUE(fields().busy);
        // The disconnect is slow; meanwhile the switch goes back on, which
        // schedules at once since the VPN still counts as connected.
        fake.choose("연결 감지 시 자동 시작");
        ASSERT_TRUE(fields().deadline);
        fake.advance(3601.0);
        EXPECT_TRUE(fields().deadline) << "held, not dropped, while busy";
        EXPECT_EQ(fake.title(), "VPN 0:00:00");

        fake.settle(); // the first disconnect ends and is reported
        EXPECT_FALSE(fields().busy);
        EXPECT_TRUE(fields().deadline);
        fake.advance(1.0);
        EXPECT_FALSE(fields().deadline);
        EXPECT_TRUE(fields().busy);
        fake.settle();
        EXPECT_EQ(fake.runsOf("disconnect"), 2u);
    }

    TEST_F(Countdown, NothingHappensWhileADialogIsOpenAndTheFirstTickAfterCatchesUp)
    {
        startConnected();
        tickAndSettle(3590);
        const auto titles = fake.titles().size();
        fake.answerNext(Answer { alertSecondButtonReturn, "", [this] { fake.advance(30.0); } });
        fake.choose("사용자 설정…");
        EXPECT_EQ(fake.titles().size(), titles) << "no tick drew while the dialog was open";
        EXPECT_TRUE(fields().deadline);
        EXPECT_FALSE(fields().busy);

        fake.advance(0.0); // the missed ticks collapse into one, due at once
        EXPECT_TRUE(fields().busy);
        EXPECT_EQ(fake.titles().size(), titles + 1);
        fake.settle();
        EXPECT_EQ(fake.runsOf("disconnect"), 1u);
        const auto drawn = fake.titles().size();
        fake.advance(1.0);
        EXPECT_EQ(fake.titles().size(), drawn + 1) << "back on the one-second rhythm";
    }

    // Where the deadline falls on the monotonic clock the fake's records use.
    double monotonicOf(const fake::FakePlatform& fake, Date instant)
    {
        return fake.monotonic() + instant.timeIntervalSince(fake.now());
    }

    TEST_F(Countdown, ADialogLeftOpenGivesWayAtTheDeadlineAndTheDisconnectFollows)
    {
        startConnected();
        tickAndSettle(3590);
        const double deadline = monotonicOf(fake, *fields().deadline);
        // Someone starts typing a new duration and walks away.
        Answer walkedAway { alertFirstButtonReturn, "30", {} };
        walkedAway.openFor = 600;
        fake.answerNext(walkedAway);
        fake.choose("사용자 설정…");
        EXPECT_DOUBLE_EQ(fake.monotonic(), deadline);
        EXPECT_EQ(fields().selectedMinutes, 60) << "nobody confirmed the entry";
        fake.advance(0.0);
        fake.runBackground();
        ASSERT_EQ(fake.runsOf("disconnect"), 1u);
        EXPECT_DOUBLE_EQ(fake.runs().back().launchedAt, deadline);
    }

    TEST_F(Countdown, TheRejectedEntryAlertGivesWayAtTheDeadlineToo)
    {
        startConnected();
        tickAndSettle(3590);
        const Date deadline = *fields().deadline;
        fake.answerNext(Answer { alertFirstButtonReturn, "abc", {} });
        Answer unread;
        unread.openFor = 600;
        fake.answerNext(unread);
        fake.choose("사용자 설정…");
        ASSERT_EQ(fake.alerts().size(), 2u);
        EXPECT_EQ(fake.alerts()[0].closesAt, deadline);
        EXPECT_EQ(fake.alerts()[1].closesAt, deadline);
        fake.advance(0.0);
        fake.runBackground();
        EXPECT_EQ(fake.runsOf("disconnect"), 1u);
        // With nothing pending, a dialog waits for its answer as long as it
        // takes.
        fake.settle();
        EXPECT_FALSE(fake.alerts().back().closesAt);
    }

    TEST_F(Countdown, ACountdownStartedByALateQueryResultTicksEvenlyAndEndsOnTime)
    {
        fake.settings()["durationMinutes"] = std::int64_t { 1 };
        vpnReads(disconnectedOutput);
        start();
        fake.settle();
        // A real query takes a good part of a second, so its result, and the
        // countdown it starts, land well inside a second of the tick grid.
        ScriptedRun slow = ScriptedRun::printing(connectedOutput);
        slow.runsFor = 0.7;
        fake.scriptDefault("state", slow);
        pollOnce();
        ASSERT_TRUE(fields().deadline);
        const double deadline = monotonicOf(fake, *fields().deadline);
        const std::size_t first = fake.titles().size() - 1;
        while (fake.runsOf("disconnect") == 0 && fake.monotonic() < deadline + 5) {
            fake.advance(0.25);
            fake.settle();
        }
        ASSERT_EQ(fake.runsOf("disconnect"), 1u);

        // Every render, ticks and query results alike: each value of the
        // countdown stays up for one whole second, one after the other.
        std::vector<std::string> shown;
        std::vector<double> changedAt;
        std::size_t i = first;
        for (; i < fake.titles().size() && fake.titles()[i] != "VPN 해제 중…"; ++i) {
            if (shown.empty() || shown.back() != fake.titles()[i]) {
                shown.push_back(fake.titles()[i]);
                changedAt.push_back(fake.titleTimes()[i]);
            }
        }
        ASSERT_LT(i, fake.titles().size());
        const double late = fake.titleTimes()[i] - deadline; // the tick that disconnected
        EXPECT_GE(late, 0.0);
        EXPECT_LE(late, 0.05);
        std::vector<std::string> expected;
        for (int seconds = 60; seconds >= 1; --seconds) {
            expected.push_back(countdownTitle(seconds));
        }
        EXPECT_EQ(shown, expected);
        for (std::size_t i = 2; i < changedAt.size(); ++i) {
            EXPECT_NEAR(changedAt[i] - changedAt[i - 1], 1.0, 1e-6) << shown[i];
        }
    }

    // ------------------------------------------------------- the duration

    TEST_F(Countdown, PresetsSelectHoursAndMarkTheChoice)
    {
        start();
        fake.settle();
        for (const auto& [title, minutes] :
            std::vector<std::pair<std::string, std::int64_t>> { { "2시간", 120 }, { "4시간", 240 }, { "1시간", 60 } }) {
            fake.choose(title);
            EXPECT_EQ(fields().selectedMinutes, minutes);
            EXPECT_EQ(fake.settings()["durationMinutes"], SettingValue { minutes });
            EXPECT_EQ(fake.menuItem(title).state, ControlState::on);
        }
    }

    TEST_F(Countdown, ChoosingWhileNotConnectedStoresAndWaits)
    {
        vpnReads(disconnectedOutput);
        start();
        fake.choose("2시간"); // before the first answer: not yet known
        EXPECT_EQ(fields().status, "다음 VPN 연결 대기 중");
        EXPECT_FALSE(fields().deadline);
        fake.settle();
        fake.choose("4시간");
        EXPECT_EQ(fields().status, "다음 VPN 연결 대기 중");
        EXPECT_FALSE(fields().deadline);
        EXPECT_EQ(fake.settings()["durationMinutes"], SettingValue { std::int64_t { 240 } });

        fake::FakePlatform restarted;
        restarted.settings() = fake.settings();
        restarted.start();
        EXPECT_EQ(restarted.controller().snapshot().selectedMinutes, 240);
    }

    TEST_F(Countdown, ChoosingAPresetWhileConnectedStartsTheCountdownEvenWithTheSwitchOff)
    {
        fake.settings()["automatic"] = false;
        startConnected();
        EXPECT_FALSE(fields().deadline);
        fake.choose("1시간");
        EXPECT_DOUBLE_EQ(secondsUntilDeadline(), 3600.0);
    }

    TEST_F(Countdown, TheDialogAsksWithTheCurrentDurationAndFocusInTheField)
    {
        start();
        fake.choose("2시간");
        fake.answerNext(Answer { alertSecondButtonReturn, "", {} });
        fake.choose("사용자 설정…");
        ASSERT_EQ(fake.alerts().size(), 1u);
        const Alert& dialog = fake.alerts().back();
        EXPECT_EQ(dialog.messageText, "자동 해제 시간을 설정하세요");
        EXPECT_EQ(dialog.informativeText, "1~10,080분을 입력하세요. 연결 중이면 지금부터 새 시간으로 예약됩니다.");
        ASSERT_TRUE(dialog.accessoryView);
        EXPECT_EQ(dialog.accessoryView->stringValue, "120");
        EXPECT_EQ(dialog.accessoryView->frame, (Rect { 0, 0, 260, 26 }));
        EXPECT_EQ(dialog.buttons, (std::vector<std::string> { "설정", "취소" }));
        EXPECT_EQ(dialog.initialFirstResponder, FirstResponder::accessoryView);
        const auto& events = fake.events();
        EXPECT_EQ(events[events.size() - 2], "activate") << "brought to the front first";
    }

    struct Typed {
        std::string text;
        std::int64_t minutes;
    };

    class AcceptedEntries : public Countdown, public ::testing::WithParamInterface<Typed> { };

    TEST_P(AcceptedEntries, SelectTheTypedMinutes)
    {
        startConnected();
        fake.answerNext(Answer { alertFirstButtonReturn, GetParam().text, {} });
        fake.choose("사용자 설정…");
        EXPECT_EQ(fake.alerts().size(), 1u) << "no error alert";
        EXPECT_EQ(fields().selectedMinutes, GetParam().minutes);
        EXPECT_EQ(fake.settings()["durationMinutes"], SettingValue { GetParam().minutes });
        EXPECT_DOUBLE_EQ(secondsUntilDeadline(), static_cast<double>(GetParam().minutes) * 60);
    }

    INSTANTIATE_TEST_SUITE_P(Countdown, AcceptedEntries,
        ::testing::Values(Typed { "1", 1 }, Typed { "10080", 10080 }, Typed { "90", 90 }, Typed { "  90\t", 90 },
            Typed { "\n90\r\n", 90 }, Typed { "\u300090\u3000", 90 }, Typed { "\u00A090\u2029", 90 },
            Typed { "+90", 90 }, Typed { "0090", 90 }, Typed { "120", 120 }));

    class RejectedEntries : public Countdown, public ::testing::WithParamInterface<std::string> { };

    TEST_P(RejectedEntries, GetTheErrorAlertAndChangeNothing)
    {
        startConnected();
        fake.choose("2시간");
        tickAndSettle(10);
        const auto before = fields();
        const auto writes = fake.settingWrites().size();
        fake.answerNext(Answer { alertFirstButtonReturn, GetParam(), {} });
        fake.choose("사용자 설정…");
        ASSERT_EQ(fake.alerts().size(), 2u) << "the error alert, and no second dialog";
        const Alert& error = fake.alerts().back();
        EXPECT_EQ(error.messageText, "시간을 확인해주세요");
        EXPECT_EQ(error.informativeText, "1~10,080 사이의 정수(분)를 입력해주세요.");
        EXPECT_EQ(error.buttons, std::vector<std::string> { "확인" });
        EXPECT_FALSE(error.accessoryView);
        EXPECT_EQ(fields().selectedMinutes, before.selectedMinutes);
        EXPECT_EQ(fields().deadline, before.deadline);
        EXPECT_EQ(fields().status, before.status);
        EXPECT_EQ(fake.settingWrites().size(), writes);
    }

    INSTANTIATE_TEST_SUITE_P(Countdown, RejectedEntries,
        ::testing::Values("0", "10081", "-5", "-0090", "", "   ", "+", "9 0", "1,000", "10,080", "1.5", "90.", "90분",
            "\xEF\xBC\x99\xEF\xBC\x90", "0x5A", "99999999999999999999", "9223372036854775808", "\xFF\xFE", "90\u200B"));

    TEST_F(Countdown, CancellingTheDialogChangesNothingWhateverWasTyped)
    {
        startConnected();
        const auto before = fields();
        const auto writes = fake.settingWrites().size();
        for (const long code : { alertSecondButtonReturn, -1000L }) {
            fake.answerNext(Answer { code, "30", {} });
            fake.choose("사용자 설정…");
        }
        EXPECT_EQ(fake.alerts().size(), 2u);
        EXPECT_EQ(fields().selectedMinutes, before.selectedMinutes);
        EXPECT_EQ(fields().deadline, before.deadline);
        EXPECT_EQ(fake.settingWrites().size(), writes);
    }

    TEST_F(Countdown, NoDialogWhileADisconnectRuns)
    {
        startConnected();
        tickAndSettle(3599);
        fake.advance(1.0 + pastTheTick);
        ASSERT_TRUE(fields().busy);
        fake.controller().customDuration();
        EXPECT_TRUE(fake.alerts().empty());
        EXPECT_EQ(fake.activations(), 0);
    }

    // ---------------------------------------------------------- the switch

    TEST_F(Countdown, TurningTheSwitchOnWhileConnectedStartsACountdown)
    {
        fake.settings()["automatic"] = false;
        startConnected();
        ASSERT_FALSE(fields().deadline);
        fake.choose("연결 감지 시 자동 시작");
        EXPECT_TRUE(fields().automatic);
        EXPECT_EQ(fake.settings()["automatic"], SettingValue { true });
        EXPECT_DOUBLE_EQ(secondsUntilDeadline(), 3600.0);
        EXPECT_EQ(fields().status, "예약 중");
    }

    TEST_F(Countdown, TurningTheSwitchOnWhileNotConnectedOnlyStoresIt)
    {
        fake.settings()["automatic"] = false;
        start(); // not yet known
        fake.choose("연결 감지 시 자동 시작");
        EXPECT_FALSE(fields().deadline);
        vpnReads(disconnectedOutput);
        fake.settle();
        fake.controller().toggleAutomatic();
        fake.controller().toggleAutomatic();
        EXPECT_FALSE(fields().deadline);
        vpnReads(connectedOutput);
        pollOnce();
        EXPECT_DOUBLE_EQ(secondsUntilDeadline(), 3600.0) << "the next query that finds the connection starts it";
    }

    TEST_F(Countdown, FlippingTheSwitchLeavesARunningCountdownAlone)
    {
        startConnected();
        tickAndSettle(10);
        const auto deadline = fields().deadline;
        fake.choose("연결 감지 시 자동 시작"); // off
        EXPECT_EQ(fields().deadline, deadline);
        fake.choose("연결 감지 시 자동 시작"); // on again
        EXPECT_EQ(fields().deadline, deadline);
    }

    TEST_F(Countdown, TheSwitchStartsACountdownEvenWhileADisconnectRuns)
    {
        startConnected();
        fake.choose("연결 감지 시 자동 시작"); // off
        tickAndSettle(3599);
        fake.advance(1.0 + pastTheTick);
        ASSERT_TRUE(fields().busy);
        ASSERT_EQ(fields().connected, true);
        fake.choose("연결 감지 시 자동 시작"); // on, still connected as far as we know
        EXPECT_DOUBLE_EQ(secondsUntilDeadline(), 3600.0);
    }

    TEST_F(Countdown, ACancelledCountdownStaysCancelledUntilTheConnectionIsNew)
    {
        startConnected();
        fake.choose("예약 취소");
        for (int poll = 0; poll < 3; ++poll) {
            pollOnce();
            EXPECT_FALSE(fields().deadline);
        }
        vpnReads(disconnectedOutput);
        pollOnce();
        vpnReads(connectedOutput);
        pollOnce();
        EXPECT_DOUBLE_EQ(secondsUntilDeadline(), 3600.0);
    }

    TEST_F(Countdown, TheSwitchIsStoredOnEveryFlipAndReadBack)
    {
        start();
        fake.choose("연결 감지 시 자동 시작");
        fake.choose("연결 감지 시 자동 시작");
        fake.choose("연결 감지 시 자동 시작");
        ASSERT_EQ(fake.settingWrites().size(), 3u);
        EXPECT_EQ(fake.settingWrites()[0].second, SettingValue { false });
        EXPECT_EQ(fake.settingWrites()[1].second, SettingValue { true });
        EXPECT_EQ(fake.settingWrites()[2].second, SettingValue { false });
        fake::FakePlatform restarted;
        restarted.settings() = fake.settings();
        restarted.start();
        EXPECT_FALSE(restarted.controller().snapshot().automatic);
    }

} // namespace
} // namespace lintara::testing
