// SPDX-License-Identifier: MIT
// The warning before the deadline: when it shows, what it says, what its two
// actions do, and when it is taken away.
#include "harness.hpp"

namespace lintara::testing {
namespace {

    using fake::ScriptedRun;

    class Warn : public ControllerTest {
    protected:
        // A ten-minute countdown with the default lead time warns 300 s in.
        void startTenMinutes()
        {
            fake.settings()["durationMinutes"] = std::int64_t { 10 };
            startConnected();
            fake.advance(pastTheTick);
        }
        void tickUntilWarned()
        {
            const auto shown = fake.warnings().size();
            for (int i = 0; i < 3600 && fake.warnings().size() == shown; ++i) {
                tickAndSettle(1);
            }
            ASSERT_EQ(fake.warnings().size(), shown + 1) << "no warning within an hour";
        }
    };

    TEST_F(Warn, ShowsOnceWhenTheLeadTimeIsReachedAndGoesWithTheDeadline)
    {
        startTenMinutes();
        EXPECT_EQ(fake.warningPreparations(), 1) << "asked for leave when the countdown started";
        tickAndSettle(299);
        EXPECT_TRUE(fake.warnings().empty());
        tickAndSettle(1);
        ASSERT_EQ(fake.warnings().size(), 1u);
        const Warning& shown = fake.warnings().front();
        EXPECT_EQ(shown.summary, "VPN 자동 해제 예정");
        EXPECT_EQ(
            shown.body, "5분 뒤 " + fake::FakePlatform::shortTime(*fields().deadline) + "에 VPN 연결을 해제합니다");
        ASSERT_EQ(shown.actions.size(), 2u);
        EXPECT_EQ(shown.actions[0].action, WarningAction::extend);
        EXPECT_EQ(shown.actions[0].title, "30분 연장");
        EXPECT_EQ(shown.actions[1].action, WarningAction::disconnectNow);
        EXPECT_EQ(shown.actions[1].title, "지금 해제");

        tickAndSettle(299);
        EXPECT_EQ(fake.warnings().size(), 1u);
        EXPECT_TRUE(fake.warningShowing());
        tickAndSettle(1);
        EXPECT_EQ(fake.runsOf("disconnect"), 1u);
        EXPECT_FALSE(fake.warningShowing()) << "the deadline has passed";
    }

    TEST_F(Warn, NoneForACountdownThatStartsOrResumesInsideTheLeadTime)
    {
        // Chosen with no more than the lead time left.
        fake.settings()["durationMinutes"] = std::int64_t { 5 };
        startConnected();
        tickAndSettle(301);
        EXPECT_EQ(fake.runsOf("disconnect"), 1u);
        pollOnce();
        // Asleep past the lead time and woken inside it, then asleep past the
        // deadline.
        fake.choose("1시간");
        fake.setWallClock(fields().deadline->timeIntervalSinceReferenceDate - 120);
        fake.wake();
        tickAndSettle(3);
        fake.choose("1시간");
        fake.setWallClock(fields().deadline->timeIntervalSinceReferenceDate + 60);
        fake.wake();
        fake.settle();
        EXPECT_EQ(fake.runsOf("disconnect"), 2u);
        EXPECT_TRUE(fake.warnings().empty());
        EXPECT_EQ(fake.warningPreparations(), 2) << "only the hour-long countdowns could warn";
    }

    TEST_F(Warn, ExtendMovesTheDeadlineAndWarnsAgainBeforeTheNewOne)
    {
        startTenMinutes();
        tickUntilWarned();
        const Date deadline = *fields().deadline;
        fake.chooseWarningAction(WarningAction::extend);
        EXPECT_EQ(fields().deadline, deadline.addingTimeInterval(1800));
        EXPECT_FALSE(fake.warningShowing());
        // A second click on the same warning is stale.
        fake.chooseWarningAction(WarningAction::extend);
        EXPECT_EQ(fields().deadline, deadline.addingTimeInterval(1800));

        tickUntilWarned();
        EXPECT_NEAR(secondsUntilDeadline(), 300, 1);
        EXPECT_EQ(fake.runsOf("disconnect"), 0u);
    }

    TEST_F(Warn, DisconnectNowDisconnectsAtTheNextTickAndReports)
    {
        startTenMinutes();
        tickUntilWarned();
        fake.chooseWarningAction(WarningAction::disconnectNow);
        EXPECT_FALSE(fake.warningShowing());
        EXPECT_EQ(fake.title(), "VPN 0:00:00");
        fake.advance(0.0);
        EXPECT_TRUE(fields().busy);
        fake.settle();
        EXPECT_EQ(fake.runsOf("disconnect"), 1u);
        ASSERT_FALSE(fake.alerts().empty());
        EXPECT_EQ(fake.alerts().back().messageText, "연결 해제 명령 완료");
    }

    TEST_F(Warn, BothActionsDoNothingWhileADisconnectRuns)
    {
        fake.settings()["durationMinutes"] = std::int64_t { 10 };
        startConnected();
        fake.choose("연결 감지 시 자동 시작"); // off
        fake.advance(600.0 + pastTheTick);
        fake.runBackground();
        ASSERT_TRUE(fields().busy) << "the disconnect's outcome waits on the main queue";
        // Back on while the VPN still counts as connected: a new countdown,
        // whose warning comes while the first disconnect is still running.
        fake.choose("연결 감지 시 자동 시작");
        fake.advance(301.0);
        ASSERT_TRUE(fake.warningShowing());
        const Date deadline = *fields().deadline;
        fake.chooseWarningAction(WarningAction::extend);
        fake.chooseWarningAction(WarningAction::disconnectNow);
        fake.advance(1.0);
        EXPECT_EQ(fields().deadline, deadline);
        EXPECT_EQ(fake.runsOf("disconnect"), 1u);
        EXPECT_TRUE(fake.warningShowing());
    }

    enum class Ending { cancel, disconnectedReading, newDuration, quit };

    class Withdrawn : public Warn, public ::testing::WithParamInterface<Ending> { };

    TEST_P(Withdrawn, AndALateChoiceChangesNothing)
    {
        startTenMinutes();
        tickUntilWarned();
        switch (GetParam()) {
        case Ending::cancel: fake.choose("예약 취소"); break;
        case Ending::disconnectedReading:
            vpnReads(disconnectedOutput);
            pollOnce();
            break;
        case Ending::newDuration: fake.choose("2시간"); break;
        case Ending::quit: fake.choose("종료 (예약도 취소)"); break;
        }
        EXPECT_FALSE(fake.warningShowing());
        const auto deadline = fields().deadline;
        fake.chooseWarningAction(WarningAction::extend);
        fake.chooseWarningAction(WarningAction::disconnectNow);
        EXPECT_EQ(fields().deadline, deadline);
    }

    INSTANTIATE_TEST_SUITE_P(Endings, Withdrawn,
        ::testing::Values(Ending::cancel, Ending::disconnectedReading, Ending::newDuration, Ending::quit));

    struct StoredLead {
        std::optional<SettingValue> stored;
        std::int64_t minutes;
    };

    class StoredLeads : public Warn, public ::testing::WithParamInterface<StoredLead> { };

    TEST_P(StoredLeads, ReadAsMinutesOrTheDefault)
    {
        if (GetParam().stored) {
            fake.settings()["warningMinutes"] = *GetParam().stored;
        }
        startTenMinutes();
        EXPECT_EQ(fields().warningMinutes, GetParam().minutes);
        tickAndSettle(600);
        EXPECT_EQ(fake.warnings().size(), GetParam().minutes > 0 ? 1u : 0u);
        EXPECT_EQ(fake.warningPreparations(), GetParam().minutes > 0 ? 1 : 0);
    }

    INSTANTIATE_TEST_SUITE_P(Values, StoredLeads,
        ::testing::Values(StoredLead { std::nullopt, 5 }, StoredLead { std::int64_t { 0 }, 0 }, StoredLead { false, 0 },
            StoredLead { std::int64_t { 9 }, 9 }, StoredLead { std::string(" 3 "), 3 },
            StoredLead { std::int64_t { 61 }, 5 }, StoredLead { std::int64_t { -1 }, 5 },
            StoredLead { std::string("soon"), 5 }, StoredLead { 2.5, 5 }));

} // namespace
} // namespace lintara::testing
