// SPDX-License-Identifier: MIT
// What a front end at rest cannot avoid, and nothing else: once a second it
// wakes and writes a countdown title of the usual size to its terminal, and
// every fifth second a second thread runs the VPN tool's "state" with a pipe,
// reads it to the end and reaps it. No event loop, no layout, no menu.
// bench/soak --front-end floor runs it as it runs lintara-term, so that the
// two can be compared on the same machine: what lintara-term costs beyond
// this is what its own design costs.
//
//     lintara-idle-floor /path/to/vpn-tool      ('q' on standard input ends it)
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace {

void runTool(const char* tool)
{
    std::array<int, 2> ends {};
    if (pipe(ends.data()) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, ends[0]);
    std::array<char*, 3> argv { const_cast<char*>(tool), const_cast<char*>("state"), nullptr };
    pid_t pid = -1;
    const int error = posix_spawn(&pid, tool, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    std::array<char, 4096> buffer {};
    while (error == 0 && read(ends[0], buffer.data(), buffer.size()) > 0) { }
    close(ends[0]);
    int status = 0;
    if (error == 0) {
        waitpid(pid, &status, 0);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: lintara-idle-floor /path/to/vpn-tool\n");
        return 2;
    }
    const char* tool = argv[1];
    // Keys one at a time, as a full-screen front end reads them.
    termios mode {};
    if (tcgetattr(STDIN_FILENO, &mode) == 0) {
        mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &mode);
    }
    std::mutex mutex;
    std::condition_variable wanted;
    bool runWanted = false;
    std::thread worker([&] {
        for (;;) {
            std::unique_lock lock(mutex);
            wanted.wait(lock, [&] { return runWanted; });
            runWanted = false;
            lock.unlock();
            runTool(tool);
        }
    });
    worker.detach();

    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    long remaining = 168L * 3600 - 1;
    for (long tick = 1;; ++tick, --remaining) {
        std::array<char, 64> title {};
        const int length = std::snprintf(title.data(), title.size(), "\x1b[1;1H\x1b[KVPN %ld:%02ld:%02ld",
            remaining / 3600, remaining / 60 % 60, remaining % 60);
        if (write(STDOUT_FILENO, title.data(), static_cast<std::size_t>(length)) < 0) {
            return 1;
        }
        if (tick % 5 == 0) {
            const std::scoped_lock lock(mutex);
            runWanted = true;
            wanted.notify_one();
        }
        // Ticks on a grid from the start, as a front end's timer does.
        const auto due = start + std::chrono::seconds(tick);
        for (;;) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
            pollfd input { STDIN_FILENO, POLLIN, 0 };
            if (wait <= 0 || poll(&input, 1, static_cast<int>(wait)) == 0) {
                break;
            }
            char key = 0;
            if ((input.revents & POLLIN) != 0 && (read(STDIN_FILENO, &key, 1) <= 0 || key == 'q')) {
                // Not a return: the worker still waits on the condition,
                // which must not be destroyed under it.
                _exit(0);
            }
        }
    }
}
