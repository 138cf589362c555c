// SPDX-License-Identifier: MIT
// Running the VPN tool: the state query and its readings, the watchdog, and
// the disconnect with every outcome it can have.
#include "harness.hpp"

#include <cctype>

namespace lintara::testing {
namespace {

    using fake::Answer;
    using fake::ScriptedRun;

    // "no state line" -> "no_state_line", for readable test names.
    std::string testName(std::string_view what)
    {
        std::string name;
        for (const char c : what) {
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    }

    class Vpn : public ControllerTest {
    protected:
        // Connected with a countdown of one minute, ticked up to its deadline;
        // the disconnect has been started but not run. The countdown is set
        // two ticks in, so that its last tick is not also a polling tick.
        void runCountdownToItsEnd()
        {
            startConnected();
            tickAndSettle(2);
            fake.answerNext(Answer { alertFirstButtonReturn, "1", {} });
            fake.choose("사용자 설정…");
            fake.advance(pastTheTick);
            tickAndSettle(59);
            fake.advance(1.0);
            ASSERT_TRUE(fields().busy);
            ASSERT_FALSE(fields().polling);
        }
    };

    TEST_F(Vpn, TheToolRunsWithOneWordAndOnePipeForBothStreamsAndOnlyAQueryEndsWithLintara)
    {
        runCountdownToItsEnd();
        fake.settle();
        ASSERT_GE(fake.runs().size(), 2u);
        for (const auto& run : fake.runs()) {
            EXPECT_EQ(run.executablePath, "/opt/cisco/secureclient/bin/vpn");
            EXPECT_TRUE(run.outputAndErrorShareOnePipe);
            ASSERT_EQ(run.arguments.size(), 1u);
        }
        EXPECT_EQ(fake.runs().front().arguments.front(), "state");
        EXPECT_EQ(fake.runs().back().arguments.front(), "disconnect");
        // Nobody waits for a reading once Lintara has gone; a disconnect is
        // what the person asked for, and is left to finish.
        EXPECT_EQ(fake.runs().front().lifetime, ChildLifetime::endsWithApplication);
        EXPECT_EQ(fake.runs().back().lifetime, ChildLifetime::outlivesApplication);
    }

    // ------------------------------------------------------- readings

    TEST_F(Vpn, TheFirstConnectedReadingStartsTheCountdownAtOnce)
    {
        startConnected();
        EXPECT_EQ(fields().connected, true);
        EXPECT_FALSE(fields().polling);
        EXPECT_DOUBLE_EQ(secondsUntilDeadline(), 3600.0);
        EXPECT_EQ(fields().status, "예약 중");
        EXPECT_EQ(fake.title(), "VPN 1:00:00");
    }

    TEST_F(Vpn, AnUnreadableReadingBetweenTwoConnectedOnesIsNoNewConnection)
    {
        startConnected();
        fake.choose("예약 취소");
        vpnReads("garbage\n");
        pollOnce();
        EXPECT_EQ(fields().connected, true) << "an unreadable reading keeps what we knew";
        EXPECT_EQ(fields().status, "VPN 상태를 읽을 수 없음");
        vpnReads(connectedOutput);
        pollOnce();
        EXPECT_FALSE(fields().deadline);
        EXPECT_EQ(fields().status, "VPN 상태를 읽을 수 없음");
    }

    TEST_F(Vpn, DisconnectedThenUnreadableThenConnectedStartsTheCountdown)
    {
        vpnReads(disconnectedOutput);
        start();
        fake.settle();
        vpnReads("");
        pollOnce();
        EXPECT_EQ(fields().connected, false);
        vpnReads(connectedOutput);
        pollOnce();
        EXPECT_DOUBLE_EQ(secondsUntilDeadline(), 3600.0);
    }

    TEST_F(Vpn, EveryDisconnectedReadingClearsTheDeadlineAndSetsTheLine)
    {
        startConnected();
        tickAndSettle(1);
        ASSERT_TRUE(fields().deadline);
        vpnReads(disconnectedOutput);
        pollOnce();
        EXPECT_FALSE(fields().deadline);
        EXPECT_EQ(fields().status, "다음 VPN 연결 대기 중");
        fake.choose("예약 취소");
        pollOnce();
        EXPECT_EQ(fields().status, "다음 VPN 연결 대기 중") << "set again by the second reading";
        tickAndSettle(4000);
        EXPECT_EQ(fake.runsOf("disconnect"), 0u);
    }

    struct BadOutput {
        const char* what;
        ScriptedRun run;
        friend void PrintTo(const BadOutput& output, std::ostream* os) { *os << output.what; }
    };

    class UnreadableOutputs : public Vpn, public ::testing::WithParamInterface<BadOutput> { };

    TEST_P(UnreadableOutputs, ReadAsUnreadableWithoutAnAlert)
    {
        vpnReads(connectedOutput);
        fake.script("state", GetParam().run);
        start();
        fake.settle();
        EXPECT_FALSE(fields().polling);
        EXPECT_FALSE(fields().connected);
        EXPECT_FALSE(fields().deadline);
        EXPECT_EQ(fields().status, "VPN 상태를 읽을 수 없음");
        EXPECT_TRUE(fake.alerts().empty());
        pollOnce();
        EXPECT_EQ(fields().connected, true) << "the next good reading is taken as usual";
    }

    INSTANTIATE_TEST_SUITE_P(Vpn, UnreadableOutputs,
        ::testing::Values(BadOutput { "missing", ScriptedRun::failingToLaunch("/opt/vpn: No such file or directory") },
            BadOutput { "empty", ScriptedRun::printing("") },
            BadOutput { "no state line", ScriptedRun::printing("  >> The VPN Service is not available.\n") },
            BadOutput { "not UTF-8", ScriptedRun::printing("  >> state: Connected\n\xFF\n") },
            BadOutput { "Unknown only", ScriptedRun::printing("  >> state: Unknown\n") },
            BadOutput { "hung with nothing printed", ScriptedRun::hanging() }),
        [](const auto& info) { return testName(info.param.what); });

    TEST_F(Vpn, TheExitStatusOfAStateQueryIsIgnored)
    {
        vpnReads(connectedOutput);
        fake.script("state", ScriptedRun::printing(connectedOutput, 1));
        start();
        fake.settle();
        EXPECT_EQ(fields().connected, true);
    }

    TEST_F(Vpn, AHungQueryIsAskedToEndAfterEightSecondsAndWhatItPrintedCounts)
    {
        fake.script("state", ScriptedRun::hanging(connectedOutput));
        start();
        fake.settle();
        ASSERT_EQ(fake.runs().size(), 1u);
        const auto& run = fake.runs().front();
        EXPECT_TRUE(run.terminateRequested);
        EXPECT_DOUBLE_EQ(run.finishedAt - run.launchedAt, 8.0);
        EXPECT_FALSE(fields().polling);
        EXPECT_EQ(fields().connected, true);
    }

    TEST_F(Vpn, ASlowQueryWithinTheLimitIsLeftAlone)
    {
        ScriptedRun slow = ScriptedRun::printing(connectedOutput);
        slow.runsFor = 7.5;
        fake.script("state", slow);
        start();
        fake.settle();
        EXPECT_FALSE(fake.runs().front().terminateRequested);
        EXPECT_EQ(fields().connected, true);
    }

    TEST_F(Vpn, NoQueryStartsWhileOneIsInFlight)
    {
        fake.script("state", ScriptedRun::hanging(connectedOutput));
        start();
        fake.advance(5.0); // tick 5 calls pollVPN while the launch query waits
        EXPECT_EQ(fake.pendingBackground(), 1u) << "the second call did nothing";
    }

    TEST_F(Vpn, NoQueryStartsWhileADisconnectRuns)
    {
        runCountdownToItsEnd();
        const auto polls = fake.runsOf("state");
        fake.advance(10.0); // two fifth ticks, both while busy
        EXPECT_FALSE(fields().polling);
        fake.settle();
        EXPECT_EQ(fake.runsOf("state"), polls);
    }

    TEST_F(Vpn, AQueryInFlightWhenTheDisconnectStartsIsAppliedAndTheLastHandlerWritesTheLine)
    {
        fake.settings()["durationMinutes"] = std::int64_t { 1 };
        startConnected();
        // Four wake ticks make the deadline's tick, the sixty-first, a
        // polling tick: the query starts first.
        for (int wake = 0; wake < 4; ++wake) {
            fake.wake();
        }
        tickAndSettle(60);
        vpnReads(disconnectedOutput);
        fake.advance(1.0);
        ASSERT_TRUE(fields().polling);
        ASSERT_TRUE(fields().busy);
        fake.runBackground();
        ASSERT_EQ(fake.pendingMain(), 2u);
        fake.runMain();
        EXPECT_EQ(fields().connected, false) << "applied although a disconnect was running";
        EXPECT_EQ(fields().status, "연결 해제 명령 완료");
        EXPECT_EQ(fake.alerts().size(), 1u);
    }

    // ----------------------------------------------------- the disconnect

    TEST_F(Vpn, TheVpnUpAgainRightAfterADisconnectIsANewConnection)
    {
        fake.scriptDefault("disconnect", ScriptedRun::printing("done\n"));
        runCountdownToItsEnd();
        fake.settle();
        EXPECT_FALSE(fields().connected) << "down as far as the tool says, not yet seen";
        // The client reconnected by itself before the next query.
        pollOnce();
        EXPECT_EQ(fields().connected, true);
        EXPECT_DOUBLE_EQ(secondsUntilDeadline(), 60.0);
    }

    TEST_F(Vpn, AFailedDisconnectLeavesTheConnectionAsItWas)
    {
        fake.scriptDefault("disconnect", ScriptedRun::printing("refused\n", 1));
        runCountdownToItsEnd();
        fake.settle();
        EXPECT_EQ(fields().connected, true);
        pollOnce();
        EXPECT_FALSE(fields().deadline) << "no retry the person did not ask for";
    }

    struct Outcome {
        const char* what;
        ScriptedRun run;
        std::string status;
        std::string message;
        friend void PrintTo(const Outcome& outcome, std::ostream* os) { *os << outcome.what; }
    };

    class DisconnectOutcomes : public Vpn, public ::testing::WithParamInterface<Outcome> { };

    TEST_P(DisconnectOutcomes, BecomeTheStatusLineAndAnAlert)
    {
        fake.scriptDefault("disconnect", GetParam().run);
        runCountdownToItsEnd();
        const auto shown = fake.alerts().size();
        EXPECT_EQ(fake.title(), "VPN 해제 중…");
        EXPECT_EQ(fields().status, "예약 중") << "untouched until the outcome is in";
        bool busyWhileShown = true;
        std::string titleWhileShown;
        fake.answerNext(Answer { alertFirstButtonReturn, "", [&] {
                                    busyWhileShown = fields().busy;
                                    titleWhileShown = fake.title();
                                } });
        fake.settle();

        EXPECT_FALSE(busyWhileShown);
        EXPECT_EQ(titleWhileShown, "VPN ◷") << "redrawn before the alert";
        EXPECT_EQ(fields().status, GetParam().status);
        EXPECT_FALSE(fields().deadline);
        ASSERT_EQ(fake.alerts().size(), shown + 1);
        EXPECT_EQ(fake.alerts().back().messageText, GetParam().status);
        EXPECT_EQ(fake.alerts().back().informativeText, GetParam().message);
        EXPECT_EQ(fake.alerts().back().buttons, std::vector<std::string> { "확인" });
        EXPECT_EQ(fake.menuItem(GetParam().status).action, Action::none);
    }

    INSTANTIATE_TEST_SUITE_P(Vpn, DisconnectOutcomes,
        ::testing::Values(Outcome { "success with output", ScriptedRun::printing("  >> state: Disconnected\n"),
                              "연결 해제 명령 완료", "  >> state: Disconnected\n" },
            Outcome { "success without output", ScriptedRun::printing(""), "연결 해제 명령 완료", "종료 코드: 0" },
            Outcome { "error text with status 0", ScriptedRun::printing("error: not connected"), "연결 해제 명령 완료",
                "error: not connected" },
            Outcome { "failure with output", ScriptedRun::printing("  >> error: busy\n", 2), "연결 해제 오류",
                "  >> error: busy\n" },
            Outcome { "failure without output", ScriptedRun::printing("", 255), "연결 해제 오류", "종료 코드: 255" },
            Outcome { "negative status", ScriptedRun::printing("", -1), "연결 해제 오류", "종료 코드: -1" },
            Outcome { "not UTF-8", ScriptedRun::printing("\xC0\xAF", 3), "연결 해제 오류", "종료 코드: 3" },
            Outcome { "missing tool", ScriptedRun::failingToLaunch("/opt/vpn: No such file or directory"),
                "연결 해제 오류", "/opt/vpn: No such file or directory" },
            Outcome { "launch error without words", ScriptedRun::failingToLaunch(""), "연결 해제 오류", "" }),
        [](const auto& info) { return testName(info.param.what); });

    TEST_F(Vpn, ADisconnectThatNeverEndsIsStoppedAfterAMinuteAndReportedAsAnError)
    {
        fake.scriptDefault("disconnect", ScriptedRun::hanging("  >> state: Disconnecting\n"));
        runCountdownToItsEnd();
        const auto shown = fake.alerts().size();
        fake.settle();
        const auto& run = fake.runs().back();
        EXPECT_TRUE(run.terminateRequested);
        EXPECT_DOUBLE_EQ(run.finishedAt - run.launchedAt, 60.0);
        EXPECT_FALSE(fields().busy);
        EXPECT_EQ(fields().status, "연결 해제 오류");
        ASSERT_EQ(fake.alerts().size(), shown + 1);
        EXPECT_EQ(fake.alerts().back().informativeText, "  >> state: Disconnecting\n");
    }

    TEST_F(Vpn, NeitherHandlerStartsAQueryOrTouchesTheTimer)
    {
        runCountdownToItsEnd();
        const auto polls = fake.runsOf("state");
        fake.settle();
        EXPECT_EQ(fake.runsOf("state"), polls);
        EXPECT_TRUE(fields().hasTimer);
        EXPECT_EQ(fake.pendingBackground(), 0u);
    }

    TEST_F(Vpn, TheWholeRoadOfOneCountdown)
    {
        fake.settings()["durationMinutes"] = std::int64_t { 2 };
        vpnReads(disconnectedOutput);
        start();
        fake.settle();
        EXPECT_EQ(fake.menu().items[0].title, "VPN 연결 안 됨");
        EXPECT_EQ(fake.menu().items[3].title, "다음 VPN 연결 대기 중");

        // The user connects; the next poll sees it and the countdown starts.
        tickAndSettle(3);
        vpnReads(connectedOutput);
        pollOnce();
        EXPECT_EQ(fake.menu().items[0].title, "VPN 연결됨");
        EXPECT_EQ(fake.title(), "VPN 0:02:00");
        fake.advance(pastTheTick);
        tickAndSettle(1);
        EXPECT_EQ(fake.title(), "VPN 0:01:59");
        EXPECT_EQ(fake.menu().items[3].title, "해제 예정: " + fake::FakePlatform::shortTime(*fields().deadline));

        // It counts down, polls keep finding the VPN up and change nothing.
        tickAndSettle(118);
        EXPECT_EQ(fake.title(), "VPN 0:00:01");
        EXPECT_EQ(fake.runsOf("disconnect"), 0u);

        // The deadline: the tool disconnects, which the fake tool makes true.
        fake.answerNext(Answer { alertFirstButtonReturn, "", [&] { vpnReads(disconnectedOutput); } });
        fake.advance(1.0);
        EXPECT_EQ(fake.title(), "VPN 해제 중…");
        EXPECT_FALSE(fake.menuItem("1시간").isEnabled());
        fake.settle();
        ASSERT_EQ(fake.alerts().size(), 1u);
        EXPECT_EQ(fake.alerts()[0].messageText, "연결 해제 명령 완료");
        EXPECT_EQ(fake.title(), "VPN ◷");
        EXPECT_EQ(fake.menu().items[3].title, "연결 해제 명령 완료");

        // The next poll finds it down and waits for the next connection.
        pollOnce();
        EXPECT_EQ(fake.menu().items[0].title, "VPN 연결 안 됨");
        EXPECT_EQ(fake.menu().items[3].title, "다음 VPN 연결 대기 중");
        vpnReads(connectedOutput);
        pollOnce();
        EXPECT_EQ(fake.title(), "VPN 0:02:00");
        EXPECT_EQ(fake.runsOf("disconnect"), 1u);
    }

} // namespace
} // namespace lintara::testing
