// SPDX-License-Identifier: MIT
// Commands from other programs and the state they read: each command keeps
// the rules of its menu entry or dialog.
#include "harness.hpp"

#include "Lintara/text.hpp"

#include <cmath>

namespace lintara::testing {
namespace {

    using fake::Answer;

    class Remote : public ControllerTest {
    protected:
        RemoteResult send(RemoteCommand command)
        {
            const std::size_t before = fake.remoteResults().size();
            fake.remote(command);
            fake.settle();
            EXPECT_EQ(fake.remoteResults().size(), before + 1) << "the command did not run";
            return fake.remoteResults().back();
        }
        RemoteResult startFor(std::int64_t minutes) { return send({ RemoteVerb::start, minutes }); }
        RemoteResult extend(std::int64_t minutes) { return send({ RemoteVerb::extend, minutes }); }
        RemoteResult cancel() { return send({ RemoteVerb::cancel }); }
        RemoteResult automatic(ControlState state) { return send({ RemoteVerb::setAutomatic, 0, state }); }

        // Connected with the switch off: nothing counts down until asked.
        void startConnectedAndIdle()
        {
            fake.settings()["automatic"] = false;
            startConnected();
            ASSERT_FALSE(fields().deadline);
        }
        // Up to the deadline, with the disconnect started and not finished.
        void reachTheDisconnect()
        {
            startConnected();
            tickAndSettle(3599);
            fake.advance(1.0 + pastTheTick);
            ASSERT_TRUE(fields().busy);
            ASSERT_FALSE(fields().deadline);
        }
        std::size_t durationWrites()
        {
            std::size_t writes = 0;
            for (const auto& [key, value] : fake.settingWrites()) {
                writes += key == "durationMinutes" ? 1 : 0;
            }
            return writes;
        }
    };

    TEST_F(Remote, StartTakesTheCustomDialogsRangeAndStoresLikeIt)
    {
        startConnectedAndIdle();
        for (const std::int64_t minutes : { std::int64_t { 0 }, std::int64_t { -5 }, std::int64_t { 10081 } }) {
            EXPECT_EQ(startFor(minutes), RemoteResult::invalidDuration) << minutes;
        }
        EXPECT_EQ(durationWrites(), 0u);
        EXPECT_FALSE(fields().deadline);

        EXPECT_EQ(startFor(10080), RemoteResult::ok);
        EXPECT_DOUBLE_EQ(secondsUntilDeadline(), 10080 * 60.0);
        EXPECT_EQ(fake.settings().at("durationMinutes"), SettingValue { std::int64_t { 10080 } });
        EXPECT_EQ(startFor(1), RemoteResult::ok);
        EXPECT_DOUBLE_EQ(secondsUntilDeadline(), 60.0);
        EXPECT_EQ(fields().status, "예약 중");
    }

    TEST_F(Remote, WhileADisconnectRunsStartIsBusyAndThereIsNothingToCancelOrExtend)
    {
        reachTheDisconnect();
        const std::size_t writes = durationWrites();
        EXPECT_EQ(startFor(30), RemoteResult::busy);
        EXPECT_EQ(fields().selectedMinutes, 60);
        EXPECT_EQ(durationWrites(), writes);
        // A bad duration is bad whatever runs.
        EXPECT_EQ(startFor(0), RemoteResult::invalidDuration);
        EXPECT_EQ(cancel(), RemoteResult::noCountdown);
        EXPECT_EQ(extend(5), RemoteResult::noCountdown);
    }

    TEST_F(Remote, CancelNeedsACountdownAndThenCancelsLikeTheMenu)
    {
        startConnectedAndIdle();
        const std::string status = fields().status;
        EXPECT_EQ(cancel(), RemoteResult::noCountdown);
        EXPECT_EQ(fields().status, status) << "a refused cancel changed the status line";

        ASSERT_EQ(startFor(60), RemoteResult::ok);
        EXPECT_EQ(cancel(), RemoteResult::ok);
        EXPECT_FALSE(fields().deadline);
        EXPECT_EQ(fields().status, "예약 취소됨");
        EXPECT_EQ(fake.title(), "VPN ◷");
    }

    TEST_F(Remote, ExtendMovesTheDeadlineByWholeMinutesUpToAWeekAway)
    {
        startConnectedAndIdle();
        EXPECT_EQ(extend(5), RemoteResult::noCountdown);
        ASSERT_EQ(startFor(60), RemoteResult::ok);
        fake.advance(pastTheTick);
        tickAndSettle(10);
        EXPECT_EQ(extend(0), RemoteResult::invalidDuration);
        EXPECT_EQ(extend(10081), RemoteResult::invalidDuration);
        // 59 min 50 s left: another 10021 minutes would end past a week.
        EXPECT_EQ(extend(10021), RemoteResult::invalidDuration);
        const double left = secondsUntilDeadline();
        EXPECT_EQ(extend(5), RemoteResult::ok);
        EXPECT_DOUBLE_EQ(secondsUntilDeadline(), left + 300);
        EXPECT_EQ(fake.title(), countdownTitle(left + 300)) << "redrawn at once";
        EXPECT_EQ(fields().selectedMinutes, 60) << "extending is not choosing a duration";
    }

    TEST_F(Remote, SetAutomaticTogglesOnlyWhenTheValueDiffers)
    {
        startConnectedAndIdle();
        const std::size_t writes = fake.settingWrites().size();
        EXPECT_EQ(automatic(ControlState::off), RemoteResult::ok);
        EXPECT_EQ(fake.settingWrites().size(), writes) << "an unchanged switch was written";
        // On with the VPN up and nothing scheduled: counts down, as the menu does.
        EXPECT_EQ(automatic(ControlState::on), RemoteResult::ok);
        EXPECT_TRUE(fields().automatic);
        EXPECT_DOUBLE_EQ(secondsUntilDeadline(), 3600.0);
        EXPECT_EQ(automatic(ControlState::on), RemoteResult::ok);
        EXPECT_TRUE(fields().automatic);
    }

    TEST_F(Remote, ACommandWaitsForAnOpenDialogAndThenRuns)
    {
        startConnectedAndIdle();
        Answer answer;
        answer.fieldText = "30";
        answer.whileOpen = [this] {
            fake.remote({ RemoteVerb::start, 5 });
            fake.runMain();
            EXPECT_TRUE(fake.remoteResults().empty()) << "a command ran inside the dialog";
        };
        fake.answerNext(answer);
        fake.choose("사용자 설정…");
        EXPECT_EQ(fields().selectedMinutes, 30);
        fake.settle();
        ASSERT_EQ(fake.remoteResults(), std::vector<RemoteResult> { RemoteResult::ok });
        EXPECT_EQ(fields().selectedMinutes, 5);
        EXPECT_DOUBLE_EQ(secondsUntilDeadline(), 300.0);
    }

    TEST_F(Remote, PublishesTheStateOnEveryRenderWithTheDeadlineInUnixSecondsRoundedUp)
    {
        fake.setWallClock(800'000'000.25);
        start();
        EXPECT_EQ(fake.published().back().connected, std::nullopt) << "before any reading";
        vpnReads(connectedOutput);
        pollOnce();
        const RemoteState& counting = fake.published().back();
        EXPECT_EQ(counting.connected, true);
        // The reference date is Unix time 978307200; the deadline lies an hour
        // and a quarter second ahead of a whole second.
        const auto expected
            = static_cast<std::int64_t>(978'307'200.0 + std::ceil(fields().deadline->timeIntervalSinceReferenceDate));
        EXPECT_EQ(counting.deadline, expected);
        EXPECT_NE(std::fmod(fields().deadline->timeIntervalSinceReferenceDate, 1.0), 0.0);
        EXPECT_EQ(counting.title, fake.title());
        EXPECT_EQ(counting.status, "예약 중");
        EXPECT_EQ(counting.selectedMinutes, 60);
        EXPECT_TRUE(counting.automatic);
        EXPECT_FALSE(counting.busy);

        const std::size_t renders = fake.published().size();
        tickAndSettle(3);
        EXPECT_EQ(fake.published().size(), renders + 3) << "one state per tick's render";
        fake.choose("예약 취소");
        EXPECT_EQ(fake.published().back().deadline, 0);
    }

} // namespace
} // namespace lintara::testing
