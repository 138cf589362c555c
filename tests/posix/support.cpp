// SPDX-License-Identifier: MIT
#include "support.hpp"

#include "Lintara/Lintara.hpp"
#include "Lintara/vpnPath.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace lintara::posix::test {

namespace {
    std::string& folderName()
    {
        static std::string name;
        return name;
    }

    void writeFile(const std::string& path, const std::string& text)
    {
        const std::string temporary = path + ".new";
        std::ofstream(temporary, std::ios::trunc) << text;
        if (std::rename(temporary.c_str(), path.c_str()) != 0) {
            throw std::runtime_error("cannot write " + path);
        }
    }
} // namespace

std::string fakeVpnPath() { return configuredVpnPath; }

std::string FakeVpnFiles::folder() { return folderName(); }

void FakeVpnFiles::setUpEnvironment()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "lintara-posix-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    folderName() = pattern;
    ::setenv("LINTARA_FAKE_VPN_STATE_FILE", (pattern + "/state").c_str(), 1);
    ::setenv("LINTARA_FAKE_VPN_LOG", (pattern + "/log").c_str(), 1);
    ::setenv("LINTARA_FAKE_VPN_FAULTS_FILE", (pattern + "/faults").c_str(), 1);
    ::unsetenv("LINTARA_FAKE_VPN_FAULTS");
}

void FakeVpnFiles::reset()
{
    setState(false);
    setFaults("");
    writeFile(folder() + "/log", "");
}

void FakeVpnFiles::setState(bool connected)
{
    writeFile(folder() + "/state", connected ? "Connected\n" : "Disconnected\n");
}

void FakeVpnFiles::setFaults(const std::string& faults) { writeFile(folder() + "/faults", faults + "\n"); }

std::vector<std::string> FakeVpnFiles::logLines()
{
    std::ifstream log(folder() + "/log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::optional<double> FakeVpnFiles::loggedAt(const std::string& event)
{
    for (const std::string& line : logLines()) {
        std::istringstream fields(line);
        std::string name;
        double at = 0;
        if (fields >> name >> at && name == event) {
            return at;
        }
    }
    return std::nullopt;
}

void TestMainQueue::async(std::function<void()> work) { asyncAfter(0, std::move(work)); }

void TestMainQueue::asyncAfter(double seconds, std::function<void()> work)
{
    const auto due = std::chrono::steady_clock::now()
        + std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
    {
        const std::scoped_lock lock(mutex_);
        blocks_.emplace_back(due, std::move(work));
    }
    posted_.notify_all();
}

bool TestMainQueue::runUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto giveUpAt = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) {
            return true;
        }
        std::function<void()> work;
        {
            std::unique_lock lock(mutex_);
            const auto dueNow = [this] {
                const auto now = std::chrono::steady_clock::now();
                return std::find_if(
                    blocks_.begin(), blocks_.end(), [&](const auto& block) { return block.first <= now; });
            };
            // Wake at least every 50 ms: delayed blocks fall due without a post.
            while (dueNow() == blocks_.end()) {
                if (std::chrono::steady_clock::now() >= giveUpAt) {
                    return condition();
                }
                posted_.wait_for(lock, 50ms);
            }
            const auto block = dueNow();
            work = std::move(block->second);
            blocks_.erase(block);
        }
        work();
        ++blocksRun_;
    }
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto giveUpAt = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= giveUpAt) {
            return condition();
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

int openDescriptorCount()
{
    int count = 0;
    if (DIR* folder = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(folder)) {
            count += entry->d_name[0] != '.' ? 1 : 0;
        }
        ::closedir(folder);
    }
    // The directory stream's own descriptor was open while counting.
    return count - 1;
}

int zombieChildCount()
{
    int zombies = 0;
    const std::string self = std::to_string(::getpid());
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return -1;
    }
    while (const dirent* entry = ::readdir(proc)) {
        const std::string name = entry->d_name;
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream status("/proc/" + name + "/stat");
        std::string text;
        std::getline(status, text);
        // pid (comm) state ppid ...: the command may contain spaces, so read
        // from the last parenthesis.
        const std::size_t close = text.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        std::istringstream fields(text.substr(close + 1));
        std::string state;
        std::string parent;
        fields >> state >> parent;
        zombies += state == "Z" && parent == self ? 1 : 0;
    }
    ::closedir(proc);
    return zombies;
}

std::int64_t peakResidentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stoll(line.substr(6));
        }
    }
    return -1;
}

} // namespace lintara::posix::test

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    lintara::posix::test::FakeVpnFiles::setUpEnvironment();
    const int result = RUN_ALL_TESTS();
    std::filesystem::remove_all(lintara::posix::test::FakeVpnFiles::folder());
    return result;
}
