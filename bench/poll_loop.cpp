// SPDX-License-Identifier: MIT
// Polls the fake VPN tool through the real process runner and thread queues
// as fast as the tool answers, then checks what a long-running Lintara must
// not accumulate: descriptors, child processes, zombies. It also checks that
// every fifth tick starts exactly one state query and that no two runs of the
// tool ever overlap.
//
//   LINTARA_FAKE_VPN_LOG=<file> lintara-poll-loop [polls, default 10000]
// Exit status 0 when every check holds, 1 otherwise.
#include "LeanPlatform.hpp"
#include "Lintara/Lintara.hpp"
#include "Lintara/platform/posix/PosixProcess.hpp"
#include "Lintara/platform/posix/ThreadDispatch.hpp"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// Counts the runs of the tool between launch and reaping, so that an overlap
// shows however briefly it lasts.
class CountingProcesses final : public lintara::ProcessFactory {
public:
    std::shared_ptr<lintara::Process> makeProcess() override
    {
        return std::make_shared<Counted>(inner_.makeProcess(), *this);
    }
    std::shared_ptr<lintara::Pipe> makePipe() override { return inner_.makePipe(); }

    std::atomic<int> running { 0 };
    std::atomic<int> mostAtOnce { 0 };
    std::atomic<long> launched { 0 };

private:
    class Counted final : public lintara::Process {
    public:
        Counted(std::shared_ptr<lintara::Process> inner, CountingProcesses& owner)
            : inner_(std::move(inner))
            , owner_(owner)
        {
        }
        void setExecutablePath(std::string path) override { inner_->setExecutablePath(std::move(path)); }
        void setArguments(std::vector<std::string> arguments) override { inner_->setArguments(std::move(arguments)); }
        void setStandardOutput(std::shared_ptr<lintara::Pipe> pipe) override { inner_->setStandardOutput(pipe); }
        void setStandardError(std::shared_ptr<lintara::Pipe> pipe) override { inner_->setStandardError(pipe); }
        void setLifetime(lintara::ChildLifetime lifetime) override { inner_->setLifetime(lifetime); }
        std::optional<lintara::LaunchError> launch() override
        {
            std::optional<lintara::LaunchError> error = inner_->launch();
            if (!error) {
                owner_.launched += 1;
                const int now = owner_.running.fetch_add(1) + 1;
                int most = owner_.mostAtOnce.load();
                while (now > most && !owner_.mostAtOnce.compare_exchange_weak(most, now)) { }
                counted_ = true;
            }
            return error;
        }
        void waitUntilExit() override
        {
            inner_->waitUntilExit();
            if (counted_.exchange(false)) {
                owner_.running -= 1;
            }
        }
        std::int32_t terminationStatus() override { return inner_->terminationStatus(); }
        bool isRunning() override { return inner_->isRunning(); }
        void terminate() override { inner_->terminate(); }

    private:
        std::shared_ptr<lintara::Process> inner_;
        CountingProcesses& owner_;
        std::atomic<bool> counted_ { false };
    };

    lintara::posix::SpawnProcessFactory inner_;
};

int openDescriptors()
{
    int count = 0;
    DIR* directory = ::opendir("/proc/self/fd");
    if (directory == nullptr) {
        return -1;
    }
    while (const dirent* entry = ::readdir(directory)) {
        count += entry->d_name[0] != '.' ? 1 : 0;
    }
    ::closedir(directory);
    return count - 1; // the directory's own descriptor
}

struct Children {
    int alive = 0;
    int zombies = 0;
};

// Our children, from /proc/<pid>/stat: "pid (name) state ppid ...".
Children children()
{
    Children found;
    const pid_t self = ::getpid();
    DIR* directory = ::opendir("/proc");
    if (directory == nullptr) {
        return found;
    }
    while (const dirent* entry = ::readdir(directory)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') {
            continue;
        }
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const std::size_t close = text.rfind(')');
        if (close == std::string::npos || close + 4 >= text.size()) {
            continue;
        }
        const char state = text[close + 2];
        if (std::atol(text.c_str() + close + 4) == self) {
            found.alive += 1;
            found.zombies += state == 'Z' ? 1 : 0;
        }
    }
    ::closedir(directory);
    return found;
}

long stateRunsLogged(const char* path)
{
    std::ifstream log(path);
    long count = 0;
    for (std::string line; std::getline(log, line);) {
        count += line.rfind("state ", 0) == 0 ? 1 : 0;
    }
    return count;
}

// Runs main-queue blocks until the controller's query has been answered.
bool awaitAnswer(lintara::bench::LeanPlatform& platform, lintara::AppDelegate& controller)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (controller.snapshot().polling) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        platform.waitAndDrainMain(1.0);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const long polls = argc > 1 ? std::atol(argv[1]) : 10'000;
    const char* logPath = std::getenv("LINTARA_FAKE_VPN_LOG");
    if (polls < 1 || logPath == nullptr) {
        std::fputs("usage: LINTARA_FAKE_VPN_LOG=<file> lintara-poll-loop [polls]\n", stderr);
        return 2;
    }
    std::ofstream(logPath, std::ios::trunc).close();

    lintara::bench::LeanPlatform platform("");
    CountingProcesses processes;
    bool ok = true;
    int descriptorsBefore = 0;
    int descriptorsAfter = 0;
    long ticks = 0;
    const auto started = std::chrono::steady_clock::now();
    {
        lintara::posix::ThreadDispatch dispatch(platform.main());
        lintara::AppDelegate controller(platform.platform(dispatch, processes));
        controller.applicationDidFinishLaunching();
        ok = awaitAnswer(platform, controller) && ok;
        descriptorsBefore = openDescriptors();
        for (long poll = 0; poll < polls && ok; ++poll) {
            for (int i = 0; i < 5; ++i) {
                platform.advance(1.0);
                controller.tick();
                ++ticks;
                // Ticks that are not the fifth start nothing.
                if (i < 4 && controller.snapshot().polling) {
                    std::fprintf(stderr, "a query started on tick %ld, not a fifth one\n", ticks);
                    ok = false;
                }
            }
            if (!controller.snapshot().polling) {
                std::fprintf(stderr, "the fifth tick (%ld) started no query\n", ticks);
                ok = false;
            }
            ok = awaitAnswer(platform, controller) && ok;
        }
        descriptorsAfter = openDescriptors();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const Children left = children();
    const long logged = stateRunsLogged(logPath);

    std::printf("%ld polls in %ld ticks, %.1f s (%.2f ms a poll)\n", polls, ticks, seconds, 1000 * seconds / polls);
    std::printf("state runs: %ld launched, %ld in the tool's log (1 at launch + %ld), at most %d at once\n",
        processes.launched.load(), logged, logged - 1, processes.mostAtOnce.load());
    std::printf("descriptors: %d before, %d after; children left: %d, zombies: %d\n", descriptorsBefore,
        descriptorsAfter, left.alive, left.zombies);
    ok = ok && processes.launched == polls + 1 && logged == polls + 1 && processes.mostAtOnce == 1
        && descriptorsAfter == descriptorsBefore && left.alive == 0 && left.zombies == 0;
    std::puts(ok ? "all checks hold" : "FAILED");
    return ok ? 0 : 1;
}
