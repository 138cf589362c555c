// SPDX-License-Identifier: MIT
// The Windows runner against real children: the fake VPN tool, as vpncli.exe
// beside this program.
//
// Suites named *Threads call terminate from a second thread, as the
// controller's watchdog does.
#include "Lintara/platform/win32/Conversions.hpp"
#include "Lintara/platform/win32/Win32Process.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include <windows.h>

#include <shellapi.h>

namespace lintara::win32::test {
namespace {

    using namespace std::chrono_literals;
    using SteadyClock = std::chrono::steady_clock;

    std::wstring folderOfThisProgram()
    {
        wchar_t path[MAX_PATH];
        const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
        const std::wstring self(path, length);
        return self.substr(0, self.find_last_of(L'\\') + 1);
    }

    std::string fakeVpnPath() { return narrow(folderOfThisProgram() + L"vpncli.exe"); }

    // Polls the condition until it holds or the time is up; says which.
    bool eventually(const std::function<bool()>& condition, std::chrono::seconds timeout = 60s)
    {
        const auto giveUp = SteadyClock::now() + timeout;
        while (!condition()) {
            if (SteadyClock::now() > giveUp) {
                return false;
            }
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }

    struct Finished {
        std::optional<LaunchError> launchError;
        std::string output;
        std::size_t bytes = 0;
        std::size_t pieces = 0;
        std::size_t largestPiece = 0;
        std::int32_t status = -1;
        SteadyClock::time_point readEnded;
    };

    struct ToolRun {
        Win32ProcessFactory factory;
        std::shared_ptr<Process> process = factory.makeProcess();
        std::shared_ptr<Pipe> pipe = factory.makePipe();
        // Set by the reader once the tool's prompt, its last line, has come.
        std::atomic<bool> promptSeen { false };

        explicit ToolRun(const std::string& path, ChildLifetime lifetime = ChildLifetime::outlivesApplication)
        {
            process->setExecutablePath(path);
            process->setArguments({ "state" });
            process->setStandardOutput(pipe);
            process->setStandardError(pipe);
            process->setLifetime(lifetime);
        }

        // Reads to the end, then waits, as the controller does. Keeps at
        // most the last 64 KiB, so that a flood costs no memory.
        Finished finish()
        {
            Finished finished;
            finished.launchError = process->launch();
            if (finished.launchError) {
                return finished;
            }
            read(finished);
            process->waitUntilExit();
            finished.status = process->terminationStatus();
            return finished;
        }

        void read(Finished& finished)
        {
            pipe->readDataToEndOfFile([this, &finished](std::string_view piece) {
                ++finished.pieces;
                finished.bytes += piece.size();
                finished.largestPiece = std::max(finished.largestPiece, piece.size());
                finished.output.append(piece);
                if (finished.output.size() > 128 * 1024) {
                    finished.output.erase(0, finished.output.size() - 64 * 1024);
                }
                promptSeen = finished.output.ends_with("VPN>\n");
            });
            finished.readEnded = SteadyClock::now();
        }
    };

    class Runner : public ::testing::Test {
    protected:
        void SetUp() override
        {
            wchar_t temporary[MAX_PATH];
            ::GetTempPathW(MAX_PATH, temporary);
            folder_ = std::wstring(temporary) + L"lintara-runner-" + std::to_wstring(::GetCurrentProcessId());
            ::CreateDirectoryW(folder_.c_str(), nullptr);
            const std::wstring state = folder_ + L"\\state";
            ::DeleteFileW(state.c_str());
            ::SetEnvironmentVariableW(L"LINTARA_FAKE_VPN_STATE_FILE", state.c_str());
            log_ = folder_ + L"\\log";
            ::DeleteFileW(log_.c_str());
            ::SetEnvironmentVariableW(L"LINTARA_FAKE_VPN_LOG", log_.c_str());
            faults("");
        }
        static void faults(const std::string& list)
        {
            ::SetEnvironmentVariableW(L"LINTARA_FAKE_VPN_FAULTS", list.empty() ? nullptr : widen(list).c_str());
        }

        // Whether the tool's grandchild runs, holding the pipe.
        [[nodiscard]] bool lingering() const
        {
            std::ifstream log { std::filesystem::path(log_) };
            std::string line;
            while (std::getline(log, line)) {
                if (line.starts_with("linger ")) {
                    return true;
                }
            }
            return false;
        }

        std::wstring folder_;
        std::wstring log_;
    };
    using RunnerThreads = Runner;

    TEST(CommandLine, EveryArgumentComesBackAsGivenFromTheRuntimesSplitting)
    {
        const std::vector<std::wstring> arguments { L"state", L"", L"two words", L"tab\there", L"quote\"inside", L"\"",
            L"back\\slash", L"trailing\\", L"trailing two\\\\", L"slash before quote\\\"", L"\\\\server\\x",
            L"상태 확인" };
        const std::wstring program = L"C:\\Program Files (x86)\\Cisco\\Cisco Secure Client\\vpncli.exe";
        int count = 0;
        wchar_t** split = ::CommandLineToArgvW(commandLine(program, arguments).c_str(), &count);
        ASSERT_NE(split, nullptr);
        std::vector<std::wstring> back(split, split + count);
        ::LocalFree(split);
        ASSERT_EQ(back.size(), arguments.size() + 1);
        EXPECT_EQ(back[0], program);
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            EXPECT_EQ(back[i + 1], arguments[i]) << "argument " << i;
        }
    }

    TEST_F(Runner, AMissingToolIsALaunchErrorWithThePathAndTheSystemsReason)
    {
        const std::string path = narrow(folder_) + "\\vpncli.exe";
        const Finished finished = ToolRun(path).finish();
        ASSERT_TRUE(finished.launchError.has_value()) << "ran with status " << finished.status;
        EXPECT_EQ(finished.launchError->localizedDescription, path + ": " + systemErrorText(ERROR_FILE_NOT_FOUND));
    }

    TEST_F(Runner, OutputArrivesByteForByteWithTheExitCode)
    {
        const struct {
            std::string faults;
            std::string expected;
            std::int32_t status;
        } cases[] = {
            { "", "  >> state: Disconnected\n  >> state: Disconnected\n", 0 },
            { "crlf", "  >> state: Disconnected\r\n  >> notice: Ready to connect.\r\n", 0 },
            { "cr", "  >> state: Disconnected\r  >> notice: Ready to connect.\r", 0 },
            { "invalid-utf8,exit=7", "  >> notice: \xC3\x28 \xFF\xFE\n", 7 },
            { "exit=255", "VPN>\n", 255 },
        };
        for (const auto& run : cases) {
            faults(run.faults);
            const Finished finished = ToolRun(fakeVpnPath()).finish();
            ASSERT_FALSE(finished.launchError) << finished.launchError->localizedDescription;
            EXPECT_NE(finished.output.find(run.expected), std::string::npos) << run.faults << ":\n" << finished.output;
            EXPECT_EQ(finished.status, run.status) << run.faults;
        }
    }

    TEST_F(Runner, AFloodIsReadToItsEndInPiecesOfAtMost64KiB)
    {
        faults("flood=64");
        const Finished finished = ToolRun(fakeVpnPath()).finish();
        ASSERT_FALSE(finished.launchError) << finished.launchError->localizedDescription;
        EXPECT_EQ(finished.status, 0);
        EXPECT_LE(finished.largestPiece, 64u * 1024);
        EXPECT_GE(finished.bytes, 64u << 20);
        // The prompt comes after the flood, so nothing was lost at its end.
        EXPECT_TRUE(finished.output.ends_with("\nVPN>\n"));
    }

    TEST_F(RunnerThreads, TerminateEndsAHangingToolWithWhatItPrinted)
    {
        faults("hang");
        ToolRun run(fakeVpnPath());
        // The controller's watchdog, on another thread; here it fires once
        // the tool has printed everything, and then only hangs.
        std::thread watchdog([&] {
            eventually([&] { return run.promptSeen.load(); });
            run.process->terminate();
        });
        const Finished finished = run.finish();
        watchdog.join();
        ASSERT_FALSE(finished.launchError) << finished.launchError->localizedDescription;
        EXPECT_NE(finished.output.find("VPN>\n"), std::string::npos);
        EXPECT_EQ(finished.status, 1);
        EXPECT_FALSE(run.process->isRunning());
    }

    TEST_F(RunnerThreads, ATerminateAskedBeforeLaunchEndsTheChildOnceItExists)
    {
        faults("hang");
        ToolRun run(fakeVpnPath());
        run.process->terminate();
        const auto started = SteadyClock::now();
        const Finished finished = run.finish();
        ASSERT_FALSE(finished.launchError) << finished.launchError->localizedDescription;
        EXPECT_EQ(finished.status, 1);
        EXPECT_LT(SteadyClock::now() - started, 60s);
    }

    // The tool exits at once, but leaves a copy of itself holding the pipe
    // for an hour: the read ends only when that copy does.
    TEST_F(RunnerThreads, TerminateEndsAGrandchildThatHoldsThePipe)
    {
        faults("grandchild");
        ToolRun run(fakeVpnPath());
        std::atomic<bool> terminated { false };
        SteadyClock::time_point terminatedAt;
        std::thread watchdog([&] {
            eventually([&] { return lingering(); });
            terminatedAt = SteadyClock::now();
            terminated = true;
            run.process->terminate();
        });
        const Finished finished = run.finish();
        watchdog.join();
        ASSERT_FALSE(finished.launchError) << finished.launchError->localizedDescription;
        ASSERT_TRUE(terminated);
        EXPECT_GE(finished.readEnded, terminatedAt) << "the read ended before anything ended the grandchild";
        EXPECT_LT(finished.readEnded - terminatedAt, 30s);
        EXPECT_NE(finished.output.find("VPN>\n"), std::string::npos);
    }

    TEST_F(Runner, AChildThatEndsWithTheApplicationTakesWhatItLeftBehindWithIt)
    {
        faults("grandchild");
        Win32ProcessFactory factory;
        const std::shared_ptr<Pipe> pipe = factory.makePipe();
        std::shared_ptr<Process> process = factory.makeProcess();
        process->setExecutablePath(fakeVpnPath());
        process->setArguments({ "state" });
        process->setStandardOutput(pipe);
        process->setLifetime(ChildLifetime::endsWithApplication);
        ASSERT_FALSE(process->launch());
        process->waitUntilExit();
        EXPECT_EQ(process->terminationStatus(), 0);
        std::atomic<bool> ended { false };
        std::thread reader([&] {
            pipe->readDataToEndOfFile([](std::string_view) {});
            ended = true;
        });
        ASSERT_TRUE(eventually([&] { return lingering(); }));
        EXPECT_FALSE(ended) << "the grandchild does not hold the pipe";
        // The last handle on its job goes with it, as it would with Lintara.
        process.reset();
        EXPECT_TRUE(eventually([&] { return ended.load(); })) << "the grandchild still holds the pipe";
        if (ended) {
            reader.join();
        } else {
            reader.detach();
        }
    }

} // namespace
} // namespace lintara::win32::test
