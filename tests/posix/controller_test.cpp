// SPDX-License-Identifier: MIT
// The real controller running the fake VPN tool for real: posix runner, thread
// queues, and a main queue that the test thread drains. The rest of the
// platform (status item, clock, alerts) is the fake one, which records it.
#include "Lintara/Lintara.hpp"
#include "Lintara/platform/fake/FakePlatform.hpp"
#include "Lintara/platform/posix/PosixProcess.hpp"
#include "Lintara/platform/posix/ThreadDispatch.hpp"
#include "support.hpp"

#include <gtest/gtest.h>

namespace lintara::posix::test {
namespace {

    // Shortens every delay on the global queues by a factor, so that the 8 s
    // and 60 s time limits can be exercised in a fraction of the time. The
    // follow-up kill 2 s after terminate is the runner's own and not scaled.
    class ScaledDispatch final : public Dispatch {
    public:
        ScaledDispatch(Dispatch& inner, double scale)
            : inner_(inner)
            , utility_(inner.global(QualityOfService::utility), scale)
            , defaultClass_(inner.global(QualityOfService::defaultClass), scale)
        {
        }
        DispatchQueue& main() override { return inner_.main(); }
        DispatchQueue& global(QualityOfService qos) override
        {
            return qos == QualityOfService::utility ? utility_ : defaultClass_;
        }

    private:
        class Scaled final : public DispatchQueue {
        public:
            Scaled(DispatchQueue& inner, double scale)
                : inner_(inner)
                , scale_(scale)
            {
            }
            void async(std::function<void()> work) override { inner_.async(std::move(work)); }
            void asyncAfter(double seconds, std::function<void()> work) override
            {
                inner_.asyncAfter(seconds * scale_, std::move(work));
            }

        private:
            DispatchQueue& inner_;
            double scale_;
        };
        Dispatch& inner_;
        Scaled utility_;
        Scaled defaultClass_;
    };

    constexpr double realTime = 1.0;
    // 8 s becomes 0.4 s and 60 s becomes 3 s.
    constexpr double fastTime = 0.05;

    // Declared in the order they must be built; torn down in reverse, so the
    // controller goes first and the queues stop before the main queue does.
    class Harness {
    public:
        explicit Harness(double timeScale)
            : scaled_(threads_, timeScale)
            , platform_ { fake_.platform().application, fake_.platform().statusBar, fake_.platform().runLoop,
                fake_.platform().workspaceNotificationCenter, fake_.platform().clock,
                fake_.platform().standardUserDefaults, fake_.platform().alerts, scaled_, processes_,
                fake_.platform().remote, fake_.platform().warnings, fake_.platform().log }
        {
        }

        void launch()
        {
            controller_ = std::make_unique<AppDelegate>(platform_);
            controller_->applicationDidFinishLaunching();
        }
        [[nodiscard]] AppDelegate::Snapshot fields() const { return controller_->snapshot(); }
        AppDelegate& controller() { return *controller_; }
        fake::FakePlatform& fake() { return fake_; }
        bool runMainUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20s)
        {
            return mainQueue_.runUntil(condition, timeout);
        }
        bool pollSettled()
        {
            return runMainUntil([this] { return !fields().polling; });
        }
        // Lets the countdown run out on the wall clock and ticks once, which
        // starts the disconnect.
        void reachDeadline()
        {
            ASSERT_TRUE(fields().deadline.has_value());
            fake_.setWallClock(fields().deadline->timeIntervalSinceReferenceDate + 1);
            controller_->tick();
            ASSERT_TRUE(fields().busy);
        }

    private:
        fake::FakePlatform fake_;
        TestMainQueue mainQueue_;
        ThreadDispatch threads_ { mainQueue_ };
        ScaledDispatch scaled_;
        SpawnProcessFactory processes_;
        Platform platform_;
        std::unique_ptr<AppDelegate> controller_;
    };

    class ControllerThreads : public ::testing::Test {
    protected:
        void SetUp() override
        {
            FakeVpnFiles::reset();
            ASSERT_EQ(fakeVpnPath().substr(fakeVpnPath().rfind('/') + 1), "fake-vpn");
        }
    };
    using ControllerSlowThreads = ControllerThreads;

    // ---------------------------------------------------------- state queries

    struct StateCase {
        const char* name;
        bool vpnUp;
        std::string faults;
        // The reading applied: true, false or unreadable.
        std::optional<bool> reading;
    };

    std::ostream& operator<<(std::ostream& out, const StateCase& c) { return out << c.name; }

    class StateFaultsThreads : public ControllerThreads, public ::testing::WithParamInterface<StateCase> { };

    TEST_P(StateFaultsThreads, GiveTheReadingTheToolPrintedAndReleasePolling)
    {
        const StateCase& c = GetParam();
        FakeVpnFiles::setState(c.vpnUp);
        FakeVpnFiles::setFaults(c.faults);
        Harness harness(fastTime);
        harness.launch();
        ASSERT_TRUE(harness.fields().polling);
        ASSERT_TRUE(harness.pollSettled()) << "polling never released";

        const AppDelegate::Snapshot fields = harness.fields();
        EXPECT_EQ(fields.connected, c.reading);
        if (!c.reading) {
            EXPECT_EQ(fields.status, "VPN 상태를 읽을 수 없음");
            EXPECT_FALSE(fields.deadline);
        } else if (*c.reading) {
            // A first connected reading with the switch on starts the countdown.
            EXPECT_EQ(fields.status, "예약 중");
            EXPECT_TRUE(fields.deadline);
        } else {
            EXPECT_EQ(fields.status, "다음 VPN 연결 대기 중");
        }
        EXPECT_EQ(FakeVpnFiles::logLines().front().substr(0, 6), "state ");
    }

    INSTANTIATE_TEST_SUITE_P(Controller, StateFaultsThreads,
        ::testing::Values(StateCase { "connected", true, "", true }, StateCase { "disconnected", false, "", false },
            // Killed by the 8 s watchdog: what it printed before still counts.
            StateCase { "hangAfterPrinting", true, "hang", true },
            StateCase { "hangSilently", true, "silent,hang", std::nullopt },
            StateCase { "hangIgnoringTerminate", false, "hang,ignore-term", false },
            StateCase { "grandchildHoldsThePipe", true, "grandchild", true },
            StateCase { "floodAfterTheStateLines", true, "flood=64", true },
            StateCase { "invalidUtf8", true, "invalid-utf8", std::nullopt },
            StateCase { "carriageReturns", true, "cr", true }, StateCase { "crlf", false, "crlf", false },
            // The exit status of a state query is not read.
            StateCase { "failingExitStatus", true, "exit=3", true },
            StateCase { "killedBySignalAfterPrinting", true, "signal=9", true },
            StateCase { "noStateLine", true, "no-state", std::nullopt },
            StateCase { "emptyOutput", true, "silent", std::nullopt },
            StateCase { "unknownPrintedLast", true, "unknown-last", true }),
        [](const auto& info) { return std::string(info.param.name); });

    TEST_F(ControllerThreads, ASlowStartWithinTheLimitIsWaitedFor)
    {
        FakeVpnFiles::setState(true);
        FakeVpnFiles::setFaults("sleep=1.5");
        Harness harness(realTime);
        harness.launch();
        ASSERT_TRUE(harness.pollSettled());
        EXPECT_EQ(harness.fields().connected, true);
        EXPECT_FALSE(FakeVpnFiles::loggedAt("SIGTERM"));
    }

    TEST_F(ControllerThreads, FollowsTheStateAcrossPollsAndSkipsPollsWhileOneRuns)
    {
        FakeVpnFiles::setState(false);
        Harness harness(realTime);
        harness.launch();
        ASSERT_TRUE(harness.pollSettled());
        EXPECT_EQ(harness.fields().connected, false);

        FakeVpnFiles::setState(true);
        FakeVpnFiles::setFaults("sleep=0.3");
        for (int tick = 0; tick < 5; ++tick) {
            harness.controller().tick();
        }
        ASSERT_TRUE(harness.fields().polling);
        // Five more ticks while that query runs: refused, not queued.
        for (int tick = 0; tick < 5; ++tick) {
            harness.controller().tick();
        }
        ASSERT_TRUE(harness.pollSettled());
        EXPECT_EQ(harness.fields().connected, true);
        EXPECT_EQ(harness.fields().status, "예약 중");
        EXPECT_EQ(FakeVpnFiles::logLines().size(), 2u);
    }

    // ------------------------------------------------------------ disconnects

    struct DisconnectCase {
        const char* name;
        std::string faults;
        std::string status;
        // Empty: the tool's output, whatever it is, must be the text.
        std::string text;
        bool vpnStillUp;
    };

    std::ostream& operator<<(std::ostream& out, const DisconnectCase& c) { return out << c.name; }

    class DisconnectFaultsThreads : public ControllerThreads, public ::testing::WithParamInterface<DisconnectCase> { };

    TEST_P(DisconnectFaultsThreads, ReportTheOutcomeAndReleaseBusy)
    {
        const DisconnectCase& c = GetParam();
        FakeVpnFiles::setState(true);
        FakeVpnFiles::setFaults(c.faults);
        Harness harness(fastTime);
        harness.launch();
        ASSERT_TRUE(harness.pollSettled());
        harness.fake().answerNext({});
        harness.reachDeadline();
        ASSERT_TRUE(harness.runMainUntil([&] { return !harness.fields().busy; })) << "busy never released";

        EXPECT_EQ(harness.fields().status, c.status);
        ASSERT_EQ(harness.fake().alerts().size(), 1u);
        const Alert& alert = harness.fake().alerts().back();
        EXPECT_EQ(alert.messageText, c.status);
        if (c.text.empty()) {
            EXPECT_NE(alert.informativeText.find("  >> registered with local VPN subsystem.\n"), std::string::npos)
                << alert.informativeText;
        } else {
            EXPECT_EQ(alert.informativeText, c.text);
        }
        FakeVpnFiles::setFaults("");
        harness.fake().setWallClock(harness.fake().now().timeIntervalSinceReferenceDate + 1);
        for (int tick = 0; tick < 5; ++tick) {
            harness.controller().tick();
        }
        ASSERT_TRUE(harness.pollSettled());
        EXPECT_EQ(harness.fields().connected, c.vpnStillUp);
    }

    INSTANTIATE_TEST_SUITE_P(Controller, DisconnectFaultsThreads,
        ::testing::Values(DisconnectCase { "success", "", "연결 해제 명령 완료", "", false },
            DisconnectCase { "successSilently", "disconnect:silent", "연결 해제 명령 완료", "종료 코드: 0", true },
            DisconnectCase { "failureWithOutput", "disconnect:exit=4", "연결 해제 오류", "", true },
            DisconnectCase {
                "failureSilently", "disconnect:silent,disconnect:exit=4", "연결 해제 오류", "종료 코드: 4", true },
            // Ended by the 60 s limit: a non-zero status and what it printed.
            DisconnectCase { "hangAfterPrinting", "disconnect:hang", "연결 해제 오류", "", true },
            DisconnectCase { "hangSilentlyIgnoringTerminate",
                "disconnect:silent,disconnect:hang,disconnect:ignore-term", "연결 해제 오류", "종료 코드: 9", true },
            DisconnectCase {
                "invalidUtf8", "disconnect:invalid-utf8,disconnect:exit=1", "연결 해제 오류", "종료 코드: 1", true }),
        [](const auto& info) { return std::string(info.param.name); });

    // -------------------------------------------------- the watchdog, in full

    TEST_F(ControllerSlowThreads, TheWatchdogAsksAtEightSecondsAndKillsTwoSecondsLater)
    {
        FakeVpnFiles::setState(true);
        FakeVpnFiles::setFaults("hang,ignore-term");
        Harness harness(realTime);
        harness.launch();
        ASSERT_TRUE(harness.runMainUntil([&] { return !harness.fields().polling; }, 30s));
        const double ended = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
        const std::optional<double> started = FakeVpnFiles::loggedAt("state");
        const std::optional<double> asked = FakeVpnFiles::loggedAt("SIGTERM");
        ASSERT_TRUE(started && asked);
        const double toTerminate = *asked - *started;
        const double toEnd = ended - *asked;
        std::printf("terminate %.3f s after the start, end %.3f s after that\n", toTerminate, toEnd);
        RecordProperty("secondsToTerminate", std::to_string(toTerminate));
        RecordProperty("secondsFromTerminateToEnd", std::to_string(toEnd));
        EXPECT_GE(toTerminate, 7.9);
        EXPECT_LT(toTerminate, 9.5);
        EXPECT_GE(toEnd, 1.95);
        EXPECT_LT(toEnd, 3.5);
        EXPECT_EQ(harness.fields().connected, true);
        EXPECT_EQ(zombieChildCount(), 0);
    }

} // namespace
} // namespace lintara::posix::test
