// SPDX-License-Identifier: MIT
// Shared pieces of the POSIX tests: the fake VPN tool's files, a main queue the
// test thread drains, and counts of descriptors and zombies.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace lintara::posix::test {

using namespace std::chrono_literals;

// The fake tool, as the test build links it in for the controller.
[[nodiscard]] std::string fakeVpnPath();

// The fake tool's state file, call log and fault file live in one temporary
// folder per test process; main() names them in the environment once, before
// any thread starts, and each test rewrites their contents.
class FakeVpnFiles {
public:
    static void setUpEnvironment();
    static void reset();
    static void setState(bool connected);
    // The fault list, as `LINTARA_FAKE_VPN_FAULTS` would take it.
    static void setFaults(const std::string& faults);
    [[nodiscard]] static std::vector<std::string> logLines();
    // The time of the first log line that starts with this event, in seconds
    // since the epoch.
    [[nodiscard]] static std::optional<double> loggedAt(const std::string& event);
    [[nodiscard]] static std::string folder();
};

// A main queue for tests: blocks wait until the test thread runs them.
class TestMainQueue final : public DispatchQueue {
public:
    void async(std::function<void()> work) override;
    void asyncAfter(double seconds, std::function<void()> work) override;
    // Runs posted blocks on the calling thread until the condition holds or
    // the time is up. Returns whether the condition holds.
    bool runUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20s);
    [[nodiscard]] std::size_t blocksRun() const { return blocksRun_; }

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::pair<std::chrono::steady_clock::time_point, std::function<void()>>> blocks_;
    std::size_t blocksRun_ = 0;
};

// Polls the condition until it holds or the time is up.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20s);

[[nodiscard]] int openDescriptorCount();
// Children of this process that have ended and not been reaped.
[[nodiscard]] int zombieChildCount();
// The peak resident memory of this process so far, in KiB.
[[nodiscard]] std::int64_t peakResidentKiB();

} // namespace lintara::posix::test
