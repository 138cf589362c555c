// SPDX-License-Identifier: MIT
// The runner against real children: the fake VPN tool and a few scripts.
//
// Suites named *Threads involve a second thread (terminate's follow-up, or
// runs side by side) and also run under ThreadSanitizer; *Slow ones are few.
#include "Lintara/platform/posix/PosixProcess.hpp"
#include "Lintara/text.hpp"
#include "Lintara/toolOutput.hpp"
#include "support.hpp"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include <csignal>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// Darwin's waitid may answer WEXITED with a child that has only stopped; Linux
// does so only when asked for WSTOPPED. While this is set, every waitid in
// this process asks for stops too, so the runner meets here what it would
// meet on a Mac.
std::atomic<bool> waitidReportsStops { false };
std::atomic<int> stopsReported { 0 };
} // namespace

extern "C" int waitid(idtype_t type, id_t id, siginfo_t* info, int options)
{
    using Real = int (*)(idtype_t, id_t, siginfo_t*, int);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "waitid"));
    const bool asDarwin = waitidReportsStops.load();
    const int result = real(type, id, info, asDarwin ? options | WSTOPPED : options);
    if (asDarwin && result == 0 && info->si_code == CLD_STOPPED) {
        ++stopsReported;
    }
    return result;
}

namespace lintara::posix::test {
namespace {

    struct Finished {
        std::optional<LaunchError> launchError;
        // The bytes as read, within the controller's bound.
        std::string output;
        // The state as the controller reads it from the whole output.
        std::optional<bool> state;
        std::int32_t status = -1;
        double seconds = 0;
    };

    struct ToolRun {
        std::shared_ptr<Process> process;
        std::shared_ptr<Pipe> pipe;

        ToolRun(const std::string& path, std::vector<std::string> arguments)
        {
            SpawnProcessFactory factory;
            process = factory.makeProcess();
            pipe = factory.makePipe();
            process->setExecutablePath(path);
            process->setArguments(std::move(arguments));
            process->setStandardOutput(pipe);
            process->setStandardError(pipe);
        }

        // Launch, read to the end, then wait, as the controller does.
        Finished finish()
        {
            const auto started = std::chrono::steady_clock::now();
            Finished finished;
            finished.launchError = process->launch();
            if (!finished.launchError) {
                BoundedOutput bytes;
                ToolOutput reader;
                pipe->readDataToEndOfFile([&](std::string_view piece) {
                    bytes.append(piece);
                    reader.append(piece);
                });
                finished.output = bytes.take();
                finished.state = reader.state();
                process->waitUntilExit();
                finished.status = process->terminationStatus();
            }
            finished.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            return finished;
        }
    };

    Finished runFake(const std::string& word = "state") { return ToolRun(fakeVpnPath(), { word }).finish(); }

    std::string writeScript(const std::string& name, const std::string& text, mode_t mode)
    {
        const std::string path = FakeVpnFiles::folder() + "/" + name;
        std::ofstream(path, std::ios::trunc) << text;
        ::chmod(path.c_str(), mode);
        return path;
    }

    class Runner : public ::testing::Test {
    protected:
        void SetUp() override { FakeVpnFiles::reset(); }
    };
    using RunnerThreads = Runner;
    using RunnerSlow = Runner;
    using RunnerSlowThreads = Runner;

    TEST_F(Runner, ALaunchFailureNamesThePathAndTheReasonAndLeaksNothing)
    {
        const std::string folder = FakeVpnFiles::folder();
        const struct {
            std::string path;
            std::string reason;
        } cases[] = {
            { folder + "/missing-vpn", "No such file or directory" },
            { folder, "Is a directory" },
            { writeScript("not-executable", "#!/bin/sh\necho hi\n", 0644), "Permission denied" },
            { writeScript("bad-interpreter", "#!/nonexistent/interpreter\n", 0755), "No such file or directory" },
            { writeScript("no-format", "echo hi\n", 0755), "Exec format error" },
        };
        const int descriptorsBefore = openDescriptorCount();
        for (const auto& failing : cases) {
            const Finished finished = ToolRun(failing.path, { "state" }).finish();
            ASSERT_TRUE(finished.launchError.has_value()) << failing.path << " ran with status " << finished.status;
            EXPECT_EQ(finished.launchError->localizedDescription, failing.path + ": " + failing.reason);
        }
        EXPECT_EQ(openDescriptorCount(), descriptorsBefore);
        EXPECT_EQ(zombieChildCount(), 0);
    }

    // What this process's close-on-exec descriptors point at ("pipe:[123]").
    std::set<std::string> closeOnExecTargets()
    {
        std::set<std::string> targets;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
            std::string line;
            std::error_code error;
            const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
            while (std::getline(info, line)) {
                // The flags are octal; 02000000 is O_CLOEXEC.
                if (line.rfind("flags:", 0) == 0 && (std::stoul(line.substr(6), nullptr, 8) & 02000000u) != 0) {
                    targets.insert(target);
                }
            }
        }
        return targets;
    }

    TEST_F(Runner, TheChildGetsOneWordOurEnvironmentAndFolderAndNoneOfOurDescriptors)
    {
        const std::string path = writeScript("probe",
            "#!/bin/sh\n"
            "printf '%s|%s|%s|%s|%s\\n' \"$0\" \"$#\" \"$1\" \"$PWD\" \"$LINTARA_FAKE_VPN_LOG\"\n"
            "for fd in /proc/$$/fd/*; do echo \"open ${fd##*/} $(readlink \"$fd\")\" >&2; done\n",
            0755);
        // Another run's pipe, open in this process while the probe starts,
        // and a descriptor left inheritable, as one open when Lintara started.
        SpawnProcessFactory factory;
        const auto unrelated = factory.makePipe();
        std::set<std::string> ours = closeOnExecTargets();
        ASSERT_GE(
            std::count_if(ours.begin(), ours.end(), [](const std::string& t) { return t.starts_with("pipe:"); }), 1);
        const std::string inheritablePath = FakeVpnFiles::folder() + "/inheritable";
        const int inheritable = ::open(inheritablePath.c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(inheritable, 0);
        ours.insert(inheritablePath);

        const Finished finished = ToolRun(path, { "state" }).finish();
        ::close(inheritable);
        ASSERT_FALSE(finished.launchError) << finished.launchError->localizedDescription;
        EXPECT_EQ(finished.status, 0);
        std::istringstream lines(finished.output);
        std::string first;
        std::getline(lines, first);
        EXPECT_EQ(first,
            path + "|1|state|" + std::filesystem::current_path().string() + "|" + FakeVpnFiles::folder() + "/log");
        std::map<int, std::string> open;
        for (std::string word, target; lines >> word;) {
            int fd = -1;
            lines >> fd >> target;
            open[fd] = target;
        }
        // Standard output and error are the one pipe; nothing of ours leaked.
        ASSERT_TRUE(open.contains(1) && open.contains(2));
        EXPECT_EQ(open[1], open[2]);
        EXPECT_TRUE(open[1].starts_with("pipe:"));
        for (const auto& [fd, target] : open) {
            EXPECT_FALSE(ours.contains(target)) << "descriptor " << fd << " (" << target << ") reached the child";
        }
    }

    TEST_F(Runner, TheChildReadsNothingOfOursAndHasASessionOfItsOwnWithoutATerminal)
    {
        // Prints its pid, what it read, what its input is, then its process
        // group, session and controlling terminal.
        const std::string path = writeScript("session-probe",
            "#!/bin/sh\n"
            "input=$(cat)\n"
            "set -- $(cat /proc/$$/stat)\n"
            "echo \"$1 $input|$(readlink /proc/$$/fd/0)|$5 $6 $7\"\n",
            0755);
        // Our standard input, while the probe runs: a pipe with a line waiting.
        std::array<int, 2> typed {};
        ASSERT_EQ(::pipe(typed.data()), 0);
        ASSERT_EQ(::write(typed[1], "typed\n", 6), 6);
        ::close(typed[1]);
        const int savedInput = ::dup(STDIN_FILENO);
        ::dup2(typed[0], STDIN_FILENO);
        ::close(typed[0]);
        const Finished finished = ToolRun(path, { "state" }).finish();
        ::dup2(savedInput, STDIN_FILENO);
        ::close(savedInput);

        const std::string pid = finished.output.substr(0, finished.output.find(' '));
        EXPECT_EQ(finished.output, pid + " |/dev/null|" + pid + " " + pid + " 0\n");
    }

    TEST_F(Runner, TheStatusIsTheExitCodeOrTheSignalNumber)
    {
        const struct {
            std::string faults;
            std::int32_t status;
        } cases[] = { { "", 0 }, { "exit=7", 7 }, { "exit=255", 255 }, { "signal=9", 9 }, { "signal=11", 11 },
            { "signal=15", 15 } };
        for (const auto& [faults, status] : cases) {
            FakeVpnFiles::setFaults(faults);
            const Finished finished = runFake();
            ASSERT_FALSE(finished.launchError);
            EXPECT_EQ(finished.status, status) << faults;
            // What it printed before it ended still arrives.
            EXPECT_NE(finished.output.find("  >> state: Disconnected\n"), std::string::npos) << faults;
        }
    }

    TEST_F(Runner, OutputArrivesByteForByte)
    {
        FakeVpnFiles::setState(true);
        FakeVpnFiles::setFaults("crlf");
        EXPECT_NE(runFake().output.find("\r\n  >> state: Connected\r\n  >> state: Connected\r\n"), std::string::npos);
        FakeVpnFiles::setFaults("cr");
        const std::string crOnly = runFake().output;
        EXPECT_EQ(crOnly.find('\n'), std::string::npos);
        EXPECT_EQ(parseStateOutput(crOnly), true);
        FakeVpnFiles::setFaults("invalid-utf8");
        const std::string invalid = runFake().output;
        EXPECT_NE(invalid.find("\xC3\x28 \xFF\xFE"), std::string::npos);
        EXPECT_EQ(decodeUtf8(invalid), "");
        FakeVpnFiles::setFaults("silent");
        EXPECT_EQ(runFake().output, "");
    }

    TEST_F(Runner, PipeAndProcessMisuseGivesValuesNotHangs)
    {
        SpawnProcessFactory factory;
        // A pipe no child writes to reads as empty instead of blocking on our
        // own write end.
        std::string unwritten;
        factory.makePipe()->readDataToEndOfFile([&unwritten](std::string_view piece) { unwritten += piece; });
        EXPECT_EQ(unwritten, "");
        ToolRun run(fakeVpnPath(), { "state" });
        EXPECT_FALSE(run.process->isRunning());
        EXPECT_EQ(run.process->terminationStatus(), -1);
        run.process->waitUntilExit(); // never launched: returns at once
        const Finished first = run.finish();
        ASSERT_FALSE(first.launchError);
        const auto again = run.process->launch();
        ASSERT_TRUE(again.has_value());
        EXPECT_EQ(again->localizedDescription, fakeVpnPath() + ": Operation already in progress");
    }

    TEST_F(RunnerSlow, AThousandRunsLeaveNoDescriptorAndNoZombie)
    {
        ASSERT_EQ(runFake().status, 0); // first-use allocations out of the way
        const int descriptorsBefore = openDescriptorCount();
        const auto started = std::chrono::steady_clock::now();
        constexpr int runs = 1000;
        int succeeded = 0;
        for (int i = 0; i < runs; ++i) {
            const Finished finished = runFake(i % 10 == 0 ? "disconnect" : "state");
            succeeded += finished.status == 0 && parseStateOutput(finished.output) == false ? 1 : 0;
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_EQ(succeeded, runs);
        EXPECT_EQ(openDescriptorCount(), descriptorsBefore);
        EXPECT_EQ(zombieChildCount(), 0);
        EXPECT_EQ(FakeVpnFiles::logLines().size(), runs + 1u);
        RecordProperty("descriptors", descriptorsBefore);
        std::printf("%d runs in %.2f s (%.2f ms each); %d descriptors before and after; %d zombies\n", runs, seconds,
            seconds * 1000 / runs, descriptorsBefore, zombieChildCount());
    }

    TEST_F(RunnerSlow, AFloodOfHundredsOfMebibytesKeepsMemoryBoundedAndTheStateLine)
    {
        FakeVpnFiles::setState(true);
        FakeVpnFiles::setFaults("flood=300");
        const std::int64_t peakBefore = peakResidentKiB();
        const Finished finished = runFake();
        const std::int64_t growth = peakResidentKiB() - peakBefore;
        EXPECT_EQ(finished.status, 0);
        EXPECT_LE(finished.output.size(), BoundedOutput::defaultLimit + 32);
        EXPECT_TRUE(finished.output.ends_with("VPN>\n"));
        EXPECT_EQ(finished.state, true);
        // Keeping it all would have grown the peak by 300 MiB.
        EXPECT_LT(growth, 32 * 1024) << growth << " KiB";
        std::printf("300 MiB read in %.2f s; peak resident memory grew by %lld KiB\n", finished.seconds,
            static_cast<long long>(growth));
    }

    // The pid the fake tool logged with this event; 0 before it has.
    pid_t loggedPid(const std::string& event)
    {
        for (const std::string& line : FakeVpnFiles::logLines()) {
            std::istringstream fields(line);
            std::string name;
            double at = 0;
            pid_t pid = 0;
            if (fields >> name >> at >> pid && name == event) {
                return pid;
            }
        }
        return 0;
    }

    // A process's state: 'S' while it sleeps, 'Z' once it has ended but is
    // not yet reaped, 0 once it has gone.
    char processState(pid_t pid)
    {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text;
        std::getline(stat, text);
        const std::size_t close = text.rfind(") ");
        return close == std::string::npos ? '\0' : text[close + 2];
    }

    // Whether the fake tool has logged this event and sleeps since, as a
    // hanging tool does once it has printed all it will print.
    bool hangingAfter(const std::string& event)
    {
        const pid_t pid = loggedPid(event);
        return pid > 0 && processState(pid) == 'S';
    }

    TEST_F(Runner, OnTheWayOutAQueryIsKilledAndADisconnectIsLeftToFinish)
    {
        // By exit(), which runs the runner's exit handler, and by a front
        // end's own call before it leaves with _exit().
        for (const bool byExit : { true, false }) {
            FakeVpnFiles::reset();
            FakeVpnFiles::setFaults("hang");
            const pid_t lintara = ::fork();
            ASSERT_GE(lintara, 0);
            if (lintara == 0) {
                // Never destroyed, so that only the way out can end the runs.
                auto* runs = new std::vector<ToolRun>;
                for (const auto& [word, lifetime] : { std::pair { "state", ChildLifetime::endsWithApplication },
                         std::pair { "disconnect", ChildLifetime::outlivesApplication } }) {
                    ToolRun& run = runs->emplace_back(fakeVpnPath(), std::vector<std::string> { word });
                    run.process->setLifetime(lifetime);
                    if (run.process->launch()) {
                        ::_exit(2);
                    }
                }
                if (!eventually([] { return hangingAfter("state") && hangingAfter("disconnect"); })) {
                    ::_exit(3);
                }
                if (byExit) {
                    std::exit(0);
                }
                endChildrenThatEndWithApplication();
                ::_exit(0);
            }
            int status = -1;
            ASSERT_EQ(::waitpid(lintara, &status, 0), lintara);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            const pid_t query = loggedPid("state");
            const pid_t disconnect = loggedPid("disconnect");
            EXPECT_TRUE(eventually([&] { return processState(query) == 'Z' || processState(query) == '\0'; }))
                << "by exit: " << byExit;
            EXPECT_EQ(processState(disconnect), 'S') << "by exit: " << byExit;
            for (const pid_t left : { query, disconnect }) {
                if (processState(left) == 'S') {
                    ::kill(-left, SIGKILL);
                }
            }
        }
    }

    // Calls terminate from another thread once the tool has printed its
    // output and hangs, and a second time to see that repeating it does no
    // harm.
    std::jthread terminateOnceStarted(const std::shared_ptr<Process>& process, const std::string& event = "state")
    {
        return std::jthread([process, event] {
            // Terminates even if the start never shows, so the test cannot hang.
            EXPECT_TRUE(eventually([&] { return hangingAfter(event); }));
            process->terminate();
            process->terminate();
        });
    }

    // Ends the run if it still goes on after the limit, so that a terminate
    // that was lost fails the test instead of hanging it.
    std::jthread terminateIfStillRunningAfter(std::shared_ptr<Process> process, std::chrono::milliseconds limit)
    {
        return std::jthread([process = std::move(process), limit](const std::stop_token& stop) {
            std::mutex mutex;
            std::condition_variable_any never;
            std::unique_lock lock(mutex);
            never.wait_for(lock, stop, limit, [] { return false; });
            if (!stop.stop_requested()) {
                process->terminate();
            }
        });
    }

    TEST_F(RunnerThreads, ATerminateAskedBeforeOrWhileLaunchingEndsTheChild)
    {
        FakeVpnFiles::setFaults("hang");
        for (int i = 0; i < 10; ++i) {
            ToolRun run(fakeVpnPath(), { "state" });
            // The first asks before launch; the others race it from a thread.
            std::jthread asker;
            if (i == 0) {
                run.process->terminate();
            } else {
                asker = std::jthread([process = run.process] { process->terminate(); });
            }
            const std::jthread backstop = terminateIfStillRunningAfter(run.process, 3s);
            const Finished finished = run.finish();
            EXPECT_EQ(finished.status, 15) << "run " << i;
            EXPECT_LT(finished.seconds, 2.5) << "run " << i << " ended only by the backstop";
        }
    }

    TEST_F(RunnerThreads, TerminateEndsAHangingToolWithWhatItPrinted)
    {
        FakeVpnFiles::setState(true);
        FakeVpnFiles::setFaults("hang");
        ToolRun run(fakeVpnPath(), { "state" });
        const std::jthread terminator = terminateOnceStarted(run.process);
        const Finished finished = run.finish();
        EXPECT_EQ(finished.status, 15);
        EXPECT_EQ(parseStateOutput(finished.output), true);
        EXPECT_LT(finished.seconds, 1.9) << "SIGTERM alone should have ended it";
        EXPECT_FALSE(run.process->isRunning());
        run.process->terminate(); // after the end: nothing to signal
    }

    TEST_F(RunnerThreads, AToolThatIgnoresTerminateIsKilledTwoSecondsLater)
    {
        FakeVpnFiles::setFaults("hang,ignore-term");
        ToolRun run(fakeVpnPath(), { "state" });
        const std::jthread terminator = terminateOnceStarted(run.process);
        const Finished finished = run.finish();
        EXPECT_EQ(finished.status, 9);
        EXPECT_TRUE(FakeVpnFiles::loggedAt("SIGTERM").has_value());
        EXPECT_GE(finished.seconds, 2.0);
        EXPECT_LT(finished.seconds, 6.0);
        EXPECT_EQ(parseStateOutput(finished.output), false);
    }

    TEST_F(RunnerThreads, TerminateReachesAGrandchildThatHoldsThePipe)
    {
        FakeVpnFiles::setFaults("grandchild");
        ToolRun run(fakeVpnPath(), { "state" });
        std::jthread terminator([process = run.process] {
            // The tool itself has exited; only its grandchild keeps the read
            // open. It must still count as running, or no watchdog would act.
            EXPECT_TRUE(eventually([] { return zombieChildCount() == 1; }));
            EXPECT_TRUE(process->isRunning());
            process->terminate();
        });
        const Finished finished = run.finish();
        EXPECT_EQ(finished.status, 0);
        EXPECT_LT(finished.seconds, 10.0);
        EXPECT_EQ(parseStateOutput(finished.output), false);
        EXPECT_EQ(zombieChildCount(), 0);
    }

    // Kills the process whose pid a script wrote to this file, if any.
    void killRecordedProcess(const std::string& pidFile)
    {
        pid_t pid = 0;
        if (std::ifstream(pidFile) >> pid && pid > 0) {
            ::kill(pid, SIGKILL);
        }
    }

    TEST_F(RunnerSlowThreads, ADescendantThatLeftTheGroupIsNoLongerWaitedFor)
    {
        // The tool ignores SIGTERM and leaves a process in a session of its
        // own holding the pipe, out of reach of any signal to the group.
        const std::string pidFile = FakeVpnFiles::folder() + "/escaped.pid";
        const std::string path = writeScript("escaping",
            "#!/bin/sh\n"
            "trap '' TERM\n"
            "setsid sh -c 'echo $$ > \"$1\"; exec sleep 60' escaped "
                + pidFile
                + " &\n"
                  "echo started\n"
                  "while :; do sleep 1; done\n",
            0755);
        ToolRun run(path, { "state" });
        std::jthread terminator([process = run.process, pidFile] {
            EXPECT_TRUE(eventually([&] { return std::filesystem::exists(pidFile); }));
            process->terminate();
        });
        const Finished finished = run.finish();
        EXPECT_EQ(finished.status, 9);
        EXPECT_EQ(finished.output, "started\n");
        // 2 s to the kill, then 2 s more for the output to end.
        EXPECT_GE(finished.seconds, 3.9);
        EXPECT_LT(finished.seconds, 10.0);
        killRecordedProcess(pidFile);
    }

    TEST_F(RunnerThreads, AChildStoppedWhileWaitedForStillEndsAtOnceOnTerminate)
    {
        // The tool closes its output, so that the wait begins, then stops.
        const std::string pidFile = FakeVpnFiles::folder() + "/stopped.pid";
        const std::string path = writeScript("stopping",
            "#!/bin/sh\n"
            "echo $$ > \"$1\"\n"
            "exec >/dev/null 2>&1\n"
            "kill -STOP $$\n",
            0755);
        stopsReported = 0;
        waitidReportsStops = true;
        ToolRun run(path, { pidFile });
        Finished finished;
        std::jthread waiter([&] { finished = run.finish(); });
        EXPECT_TRUE(eventually([] { return stopsReported > 0; }));

        std::atomic<bool> returned { false };
        std::jthread terminator([&] {
            run.process->terminate();
            returned = true;
        });
        const bool prompt = eventually([&] { return returned.load(); }, 2s);
        EXPECT_TRUE(prompt) << "terminate waited for the waiter";
        if (!prompt) {
            killRecordedProcess(pidFile); // frees the waiter, so that the test can end
        }
        terminator.join();
        waiter.join();
        waitidReportsStops = false;
        EXPECT_EQ(finished.status, 15);
        EXPECT_FALSE(run.process->isRunning());
    }

    TEST_F(RunnerThreads, RunsSideBySideWithTerminateRacingTheEndStayClean)
    {
        ASSERT_EQ(runFake().status, 0);
        const int descriptorsBefore = openDescriptorCount();
        std::atomic<int> wellEnded { 0 };
        constexpr int threads = 4;
        constexpr int runsEach = 25;
        {
            std::vector<std::jthread> workers;
            for (int t = 0; t < threads; ++t) {
                workers.emplace_back([&wellEnded, t] {
                    for (int i = 0; i < runsEach; ++i) {
                        ToolRun run(fakeVpnPath(), { "state" });
                        // Every other run is asked to end at whatever point
                        // it has reached: before, during or after its exit.
                        std::jthread racer;
                        if ((i + t) % 2 == 0) {
                            racer = std::jthread([process = run.process] { process->terminate(); });
                        }
                        const Finished finished = run.finish();
                        racer = {};
                        const bool expected = finished.status == 0 || finished.status == 15;
                        wellEnded += expected && !finished.launchError ? 1 : 0;
                    }
                });
            }
        }
        EXPECT_EQ(wellEnded.load(), threads * runsEach);
        EXPECT_EQ(openDescriptorCount(), descriptorsBefore);
        EXPECT_EQ(zombieChildCount(), 0);
    }

} // namespace
} // namespace lintara::posix::test
