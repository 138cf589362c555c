// SPDX-License-Identifier: MIT
// What the controller writes to the system's log: changes, never one line per
// poll, and the reason a tool would not start or a disconnect failed.
#include "harness.hpp"

namespace lintara::testing {
namespace {

    using fake::Answer;
    using fake::ScriptedRun;

    class Log : public ControllerTest { };

    TEST_F(Log, ASteadyUnreadableStateWritesOneLineWithThePathAndReasonAndOneWhenReadableAgain)
    {
        fake.scriptDefault("state", ScriptedRun::failingToLaunch("/opt/vpn: No such file or directory"));
        start();
        fake.settle();
        for (int poll = 0; poll < 4; ++poll) {
            pollOnce();
        }
        EXPECT_EQ(fake.logLines(),
            (std::vector<std::string> { "warning: VPN state unreadable: /opt/vpn: No such file or directory" }));

        vpnReads(disconnectedOutput);
        pollOnce();
        pollOnce();
        ASSERT_EQ(fake.logLines().size(), 2u);
        EXPECT_EQ(fake.logLines()[1], "info: VPN state readable again: disconnected");

        // A tool that runs but answers nonsense says how it ended.
        fake.scriptDefault("state", ScriptedRun::printing("garbage\n", 3));
        pollOnce();
        pollOnce();
        ASSERT_EQ(fake.logLines().size(), 3u);
        EXPECT_EQ(fake.logLines()[2],
            "warning: VPN state unreadable: /opt/cisco/secureclient/bin/vpn state exited with status 3 and printed "
            "no state line");

        // Bytes that are not UTF-8 are no text, yet were printed.
        vpnReads(disconnectedOutput);
        pollOnce();
        fake.scriptDefault("state", ScriptedRun::printing("\xff\xfe >> state: Connected\n"));
        pollOnce();
        ASSERT_EQ(fake.logLines().size(), 5u);
        EXPECT_EQ(fake.logLines()[4],
            "warning: VPN state unreadable: /opt/cisco/secureclient/bin/vpn state exited with status 0 and printed "
            "23 bytes that are not UTF-8");
    }

    TEST_F(Log, EachDisconnectIsLoggedWithItsExitStatusOrWhyItDidNotStart)
    {
        fake.script("disconnect", ScriptedRun::printing("  >> state: Disconnected\n", 0));
        fake.script("disconnect", ScriptedRun::failingToLaunch("/opt/vpn: Permission denied"));
        fake.script("disconnect", ScriptedRun::printing("failed\n", 2));
        startConnected();
        for (int round = 0; round < 3; ++round) {
            // Connected again before each countdown, so that it starts at once.
            pollOnce();
            fake.answerNext(Answer { alertFirstButtonReturn, "1", {} });
            fake.choose("사용자 설정…");
            tickAndSettle(61);
        }
        EXPECT_EQ(fake.logLines(),
            (std::vector<std::string> {
                "info: disconnect: /opt/cisco/secureclient/bin/vpn disconnect exited with status 0",
                "warning: disconnect could not start: /opt/vpn: Permission denied",
                "warning: disconnect: /opt/cisco/secureclient/bin/vpn disconnect exited with status 2",
            }));
    }

} // namespace
} // namespace lintara::testing
