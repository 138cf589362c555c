// SPDX-License-Identifier: MIT
// The status item's title, the thirteen-entry menu, and the message alert.
#include "harness.hpp"

namespace lintara::testing {
namespace {

    using fake::Answer;
    using fake::ScriptedRun;

    class Ui : public ControllerTest { };

    // What each entry must be, field by field, whatever the state.
    struct Expected {
        std::string title;
        Action action;
        std::string key;
        std::optional<std::int64_t> tag;
        bool hasState;
    };

    TEST_F(Ui, TheMenuHasThirteenEntriesInOrderWithTheirBindings)
    {
        start();
        const Menu& menu = fake.menu();
        EXPECT_EQ(menu.autoenablesItems, AutoenablesItems::no);
        EXPECT_TRUE(menu.onChoose) << "the entries report back to the controller";
        ASSERT_EQ(menu.items.size(), 13u);
        const std::vector<std::optional<Expected>> expected = {
            Expected { "VPN 상태 확인 중", Action::none, "", std::nullopt, false },
            Expected { "연결 감지 시 자동 시작", Action::toggleAutomatic, "", std::nullopt, true },
            Expected { "설정 시간: 60분", Action::none, "", std::nullopt, false },
            Expected { "예약 없음", Action::none, "", std::nullopt, false },
            std::nullopt,
            Expected { "1시간", Action::preset, "", 1, true },
            Expected { "2시간", Action::preset, "", 2, true },
            Expected { "4시간", Action::preset, "", 4, true },
            Expected { "사용자 설정…", Action::customDuration, "", std::nullopt, false },
            Expected { "예약 취소", Action::cancelTimer, "", std::nullopt, false },
            std::nullopt,
            Expected { "잠자기 중에는 깨어난 뒤 해제됩니다", Action::none, "", std::nullopt, false },
            Expected { "종료 (예약도 취소)", Action::quitApp, "q", std::nullopt, false },
        };
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const MenuItem& item = menu.items[i];
            SCOPED_TRACE("entry " + std::to_string(i + 1));
            if (!expected[i]) {
                EXPECT_TRUE(item.isSeparator);
                continue;
            }
            EXPECT_FALSE(item.isSeparator);
            EXPECT_EQ(item.title, expected[i]->title);
            EXPECT_EQ(item.action, expected[i]->action);
            EXPECT_EQ(item.keyEquivalent, expected[i]->key);
            EXPECT_EQ(item.tag, expected[i]->tag);
            EXPECT_EQ(item.state.has_value(), expected[i]->hasState);
            if (item.action == Action::none || item.action == Action::toggleAutomatic) {
                EXPECT_FALSE(item.enabled) << "left at the platform default";
            }
        }
        EXPECT_EQ(menu.items[5].state, ControlState::on);
        EXPECT_EQ(menu.items[6].state, ControlState::off);
        EXPECT_EQ(menu.items[1].state, ControlState::on);
        EXPECT_EQ(menu.items[9].enabled, false);
        EXPECT_EQ(menu.items[12].enabled, true);
    }

    TEST_F(Ui, TheConnectionLineFollowsTheLastReading)
    {
        vpnReads(disconnectedOutput);
        start();
        EXPECT_EQ(fake.menu().items[0].title, "VPN 상태 확인 중");
        fake.settle();
        EXPECT_EQ(fake.menu().items[0].title, "VPN 연결 안 됨");
        vpnReads(connectedOutput);
        pollOnce();
        EXPECT_EQ(fake.menu().items[0].title, "VPN 연결됨");
    }

    TEST_F(Ui, TheDurationLineAndPresetMarksFollowTheMinutes)
    {
        fake.settings()["durationMinutes"] = std::int64_t { 90 };
        start();
        EXPECT_EQ(fake.menu().items[2].title, "설정 시간: 90분");
        for (const char* preset : { "1시간", "2시간", "4시간" }) {
            EXPECT_EQ(fake.menuItem(preset).state, ControlState::off) << preset;
        }
        fake.answerNext(Answer { alertFirstButtonReturn, "10080", {} });
        fake.choose("사용자 설정…");
        EXPECT_EQ(fake.menu().items[2].title, "설정 시간: 10080분");
        fake.answerNext(Answer { alertFirstButtonReturn, "120", {} });
        fake.choose("사용자 설정…");
        EXPECT_EQ(fake.menuItem("2시간").state, ControlState::on) << "a typed 120 checks the two-hour preset";
        EXPECT_EQ(fake.menuItem("1시간").state, ControlState::off);
        EXPECT_EQ(fake.menuItem("4시간").state, ControlState::off);
    }

    TEST_F(Ui, TheScheduleLineShowsTheDeadlineOrTheStatusLine)
    {
        startConnected();
        const Date deadline = *fields().deadline;
        EXPECT_EQ(fake.menu().items[3].title, "해제 예정: " + fake::FakePlatform::shortTime(deadline));
        EXPECT_TRUE(fake.menuItem("예약 취소").isEnabled());
        fake.choose("예약 취소");
        EXPECT_EQ(fake.menu().items[3].title, "예약 취소됨");
        EXPECT_FALSE(fake.menuItem("예약 취소").isEnabled());
    }

    TEST_F(Ui, WhileADisconnectRunsOnlyTheSwitchAndCancelStayUsable)
    {
        startConnected();
        fake.choose("연결 감지 시 자동 시작"); // off, so it can start one again
        tickAndSettle(3599);
        fake.advance(1.0 + pastTheTick);
        ASSERT_TRUE(fields().busy);
        // Once the deadline is cleared, the line shows what the status last said.
        EXPECT_EQ(fake.menu().items[3].title, "예약 중");
        for (const char* entry : { "1시간", "2시간", "4시간", "사용자 설정…", "종료 (예약도 취소)", "예약 취소" }) {
            EXPECT_EQ(fake.menuItem(entry).enabled, false) << entry;
        }
        EXPECT_TRUE(fake.menuItem("연결 감지 시 자동 시작").isEnabled());

        fake.choose("연결 감지 시 자동 시작"); // a new countdown while busy
        EXPECT_EQ(fake.menuItem("예약 취소").enabled, true);
        EXPECT_EQ(fake.title(), "VPN 1:00:00") << "a deadline shows its countdown even while busy";

        // Disabled entries do nothing when chosen.
        fake.choose("종료 (예약도 취소)");
        EXPECT_FALSE(fake.terminated());
        fake.choose("4시간");
        EXPECT_EQ(fields().selectedMinutes, 60);
    }

    TEST_F(Ui, ChoosingAnInformationLineDoesNothing)
    {
        startConnected();
        const auto before = fields();
        const auto writes = fake.settingWrites().size();
        for (const std::size_t line : { 0u, 2u, 3u, 11u }) {
            fake.choose(fake.menu().items[line].title);
        }
        EXPECT_EQ(fields().deadline, before.deadline);
        EXPECT_EQ(fields().status, before.status);
        EXPECT_EQ(fake.settingWrites().size(), writes);
        EXPECT_TRUE(fake.alerts().empty());
    }

    TEST_F(Ui, APresetEntryCarriesItsHoursInItsTag)
    {
        start();
        MenuItem fourHours = fake.menuItem("4시간");
        EXPECT_EQ(fourHours.tag, 4);
        fourHours.title = "renamed by a binding"; // only the tag counts
        fake.menu().choose(fourHours);
        EXPECT_EQ(fields().selectedMinutes, 240);

        // An entry that did not come from our menu is not stored.
        MenuItem forged = fourHours;
        for (const std::int64_t tag : std::vector<std::int64_t> { 0, -1, 169, 153722867280912931 }) {
            forged.tag = tag;
            fake.menu().choose(forged);
        }
        forged.tag.reset();
        fake.menu().choose(forged);
        EXPECT_EQ(fields().selectedMinutes, 240);
        EXPECT_EQ(fake.settingWrites().size(), 1u);
    }

    TEST_F(Ui, TheTitleCountsDownInWholeSecondsRoundedUp)
    {
        startConnected();
        EXPECT_EQ(fake.title(), "VPN 1:00:00") << "right after a 60-minute schedule";
        fake.advance(0.2);
        fake.controller().applicationShouldHandleReopen();
        EXPECT_EQ(fake.title(), "VPN 1:00:00") << "59:59.8 left rounds up";
        fake.advance(0.8 + pastTheTick);
        EXPECT_EQ(fake.title(), "VPN 0:59:59");
        tickAndSettle(59 * 60);
        EXPECT_EQ(fake.title(), "VPN 0:00:59");
    }

    TEST_F(Ui, AWeekLongCountdownShowsAllItsHours)
    {
        fake.settings()["durationMinutes"] = std::int64_t { 10080 };
        startConnected();
        EXPECT_EQ(fake.title(), "VPN 168:00:00");
    }

    TEST_F(Ui, TheIdleTitleDoesNotDependOnTheConnection)
    {
        vpnReads(disconnectedOutput);
        start();
        EXPECT_EQ(fake.title(), "VPN ◷");
        fake.settle();
        EXPECT_EQ(fake.title(), "VPN ◷");
        fake.settings().clear();
        fake.choose("연결 감지 시 자동 시작"); // off
        vpnReads(connectedOutput);
        pollOnce();
        EXPECT_EQ(fields().connected, true);
        EXPECT_EQ(fake.title(), "VPN ◷");
    }

    TEST_F(Ui, AWallClockSetBackPastTheDeadlineStillShowsAnHonestTitle)
    {
        startConnected();
        // The user sets the clock back a day: the deadline moves with it.
        fake.setWallClock(fake.now().timeIntervalSinceReferenceDate - 86400);
        fake.advance(pastTheTick);
        tickAndSettle(1);
        EXPECT_EQ(fake.title(), "VPN 24:59:59");
    }

    TEST_F(Ui, TheMessageAlertHasOneButtonAndComesToTheFront)
    {
        fake.scriptDefault("disconnect", ScriptedRun::failingToLaunch(""));
        fake.settings()["durationMinutes"] = std::int64_t { 1 };
        startConnected();
        fake.advance(pastTheTick);
        tickAndSettle(60);
        ASSERT_EQ(fake.alerts().size(), 1u);
        const Alert& alert = fake.alerts().back();
        EXPECT_EQ(alert.buttons, std::vector<std::string> { "확인" });
        EXPECT_EQ(alert.informativeText, "") << "an empty text is passed on as it is";
        EXPECT_FALSE(alert.accessoryView);
        const auto& events = fake.events();
        const auto shown = std::find(events.begin(), events.end(), "alert 연결 해제 오류");
        ASSERT_NE(shown, events.end());
        EXPECT_EQ(*(shown - 1), "activate");
    }

} // namespace
} // namespace lintara::testing
