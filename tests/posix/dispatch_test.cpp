// SPDX-License-Identifier: MIT
// The thread queues: workers that do not hold each other up, delays on the
// monotonic clock, blocks that still run when a worker cannot start at first,
// and an end that is bounded even with a worker stuck.
#include "Lintara/platform/posix/PosixProcess.hpp"
#include "Lintara/platform/posix/ThreadDispatch.hpp"
#include "support.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <latch>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace lintara::posix::test {
namespace {

    using Clock = std::chrono::steady_clock;

    double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

    TEST(DispatchThreads, ABlockedWorkerHoldsUpNeitherQueue)
    {
        TestMainQueue mainQueue;
        std::latch release(1);
        std::atomic<int> done { 0 };
        std::atomic<bool> ranOnTestThread { false };
        {
            ThreadDispatch dispatch(mainQueue);
            dispatch.global(QualityOfService::utility).async([&] { release.wait(); });
            for (int i = 0; i < 6; ++i) {
                const auto qos = i % 2 == 0 ? QualityOfService::utility : QualityOfService::defaultClass;
                dispatch.global(qos).async([&, testThread = std::this_thread::get_id()] {
                    ranOnTestThread = ranOnTestThread || std::this_thread::get_id() == testThread;
                    dispatch.main().async([&] { ++done; });
                });
            }
            EXPECT_TRUE(mainQueue.runUntil([&] { return done == 6; }));
            release.count_down();
        }
        EXPECT_FALSE(ranOnTestThread);
    }

    TEST(DispatchThreads, ABlockWhoseWorkerCannotStartRunsOnceOneCan)
    {
        TestMainQueue mainQueue;
        std::atomic<int> attempts { 0 };
        auto refuseThreeTimes = [&](std::function<void()> body) {
            if (++attempts <= 3) {
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            }
            ThreadDispatch::startDetachedThread(std::move(body));
        };
        std::atomic<bool> ran { false };
        ThreadDispatch dispatch(mainQueue, refuseThreeTimes);
        // Nothing else is submitted: the block must not wait for a next one.
        dispatch.global(QualityOfService::utility).async([&] { ran = true; });
        EXPECT_TRUE(eventually([&] { return ran.load(); }, 5s));
        EXPECT_EQ(attempts.load(), 4);
    }

    TEST(DispatchThreads, DelayedBlocksRunByDueTimeAndNeverEarly)
    {
        TestMainQueue mainQueue;
        ThreadDispatch dispatch(mainQueue);
        std::mutex mutex;
        std::vector<std::pair<char, double>> ran;
        const auto start = Clock::now();
        auto record = [&](char name) {
            return [&, name] {
                const std::scoped_lock lock(mutex);
                ran.emplace_back(name, secondsSince(start));
            };
        };
        DispatchQueue& queue = dispatch.global(QualityOfService::defaultClass);
        // Once this has run, the timer has nothing left and sleeps without a
        // timeout: each block below must wake it.
        std::atomic<bool> first { false };
        queue.asyncAfter(0, [&] { first = true; });
        ASSERT_TRUE(eventually([&] { return first.load(); }));
        queue.asyncAfter(0.3, record('c'));
        queue.asyncAfter(0.1, record('a'));
        queue.asyncAfter(0.1, record('b'));
        queue.asyncAfter(-5, record('0'));
        ASSERT_TRUE(eventually([&] {
            const std::scoped_lock lock(mutex);
            return ran.size() == 4;
        }));
        const std::scoped_lock lock(mutex);
        // The queue is concurrent: blocks due together may run in either
        // order, but none runs before it is due or after a later one starts.
        EXPECT_EQ(ran[0].first, '0');
        EXPECT_EQ(ran[3].first, 'c');
        for (const auto& [name, at] : ran) {
            const double due = name == 'c' ? 0.3 : name == '0' ? 0.0 : 0.1;
            EXPECT_GE(at, due) << name;
        }
    }

    using MakeDispatch = std::function<std::unique_ptr<ThreadDispatch>(DispatchQueue& mainQueue)>;

    void cancelledBlocksAreForgotten(const MakeDispatch& make)
    {
        TestMainQueue mainQueue;
        std::atomic<bool> cancelledRan { false };
        std::atomic<bool> kept { false };
        std::atomic<bool> lateRan { false };
        std::atomic<bool> cancelledLateRan { false };
        std::shared_ptr<DispatchWorkItem> afterTheEnd;
        {
            const auto dispatch = make(mainQueue);
            DispatchQueue& queue = dispatch->global(QualityOfService::defaultClass);
            // The earliest taken back, before and after a later one arrives:
            // the timer must move on to what is left each time, not sleep on.
            queue.asyncAfterCancellable(0.1, [&] { cancelledRan = true; })->cancel();
            const auto keptItem = queue.asyncAfterCancellable(0.2, [&] { kept = true; });
            queue.asyncAfterCancellable(0.15, [&] { cancelledRan = true; })->cancel();
            ASSERT_TRUE(eventually([&] { return kept.load(); }));
            EXPECT_FALSE(cancelledRan);
            keptItem->cancel();
            // With nothing left, the timer sleeps without a due time; a new
            // block must still wake it.
            std::atomic<bool> woke { false };
            queue.asyncAfterCancellable(0.05, [&] { woke = true; });
            EXPECT_TRUE(eventually([&] { return woke.load(); }));

            // At the end, blocks still pending run at once; a cancelled one
            // does not, and its handle may outlive the queues.
            queue.asyncAfterCancellable(1000, [&] { lateRan = true; });
            afterTheEnd = queue.asyncAfterCancellable(1000, [&] { cancelledLateRan = true; });
            afterTheEnd->cancel();
        }
        afterTheEnd->cancel();
        EXPECT_TRUE(lateRan);
        EXPECT_FALSE(cancelledLateRan);
    }

    // The queues as built when the process has no descriptor left to give:
    // the timer must keep time without a timerfd.
    std::unique_ptr<ThreadDispatch> dispatchWithNoDescriptorToSpare(DispatchQueue& mainQueue)
    {
        rlimit saved {};
        getrlimit(RLIMIT_NOFILE, &saved);
        const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::close(lowestFree);
        rlimit none = saved;
        none.rlim_cur = static_cast<rlim_t>(lowestFree);
        setrlimit(RLIMIT_NOFILE, &none);
        const int refused = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        auto dispatch = std::make_unique<ThreadDispatch>(mainQueue);
        setrlimit(RLIMIT_NOFILE, &saved);
        EXPECT_LT(refused, 0) << "the descriptor limit did not bite";
        if (refused >= 0) {
            ::close(refused);
        }
        return dispatch;
    }

    TEST(DispatchThreads, ACancelledBlockNeverRunsAndTheTimerStillServesTheOthers)
    {
        cancelledBlocksAreForgotten(
            [](DispatchQueue& mainQueue) { return std::make_unique<ThreadDispatch>(mainQueue); });
    }

    TEST(DispatchThreads, WithNoDescriptorToSpareTheTimerStillServesEveryBlock)
    {
#ifdef LINTARA_UBSAN_RUNTIME
        GTEST_SKIP() << "UBSan needs a descriptor of its own to check a type";
#endif
        cancelledBlocksAreForgotten(dispatchWithNoDescriptorToSpare);
    }

    TEST(DispatchThreads, TheEndIsBoundedWithAWorkerStuckAndDropsItsPosts)
    {
        TestMainQueue mainQueue;
        std::latch release(1);
        std::atomic<bool> finished { false };
        std::atomic<bool> delivered { false };
        std::atomic<bool> delayedRan { false };
        std::atomic<bool> started { false };
        const auto start = Clock::now();
        {
            ThreadDispatch dispatch(mainQueue);
            DispatchQueue& main = dispatch.main();
            dispatch.global(QualityOfService::utility).async([&, &main = main] {
                started = true;
                release.wait();
                main.async([&] { delivered = true; });
                finished = true;
            });
            // Not due for a long time: the end runs it at once.
            dispatch.global(QualityOfService::defaultClass).asyncAfter(1000, [&] { delayedRan = true; });
            ASSERT_TRUE(eventually([&] { return started.load(); }));
        }
        const double ending = secondsSince(start);
        EXPECT_TRUE(delayedRan);
        EXPECT_LT(ending, std::chrono::duration<double>(ThreadDispatch::shutdownGrace).count() + 1.5);
        // The stuck worker finishes later on its own; what it posts is dropped.
        release.count_down();
        ASSERT_TRUE(eventually([&] { return finished.load(); }));
        EXPECT_FALSE(mainQueue.runUntil([&] { return delivered.load(); }, 200ms));
    }

    int threadCount()
    {
        int count = 0;
        for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
            ++count;
        }
        return count;
    }

    TEST(DispatchSlowThreads, WorkersEndAfterAWhileWithoutWorkButOneStays)
    {
        TestMainQueue mainQueue;
        std::atomic<int> starts { 0 };
        ThreadDispatch dispatch(mainQueue, [&](std::function<void()> body) {
            ++starts;
            ThreadDispatch::startDetachedThread(std::move(body));
        });
        const int idleCount = threadCount();
        std::latch allRunning(4);
        for (int i = 0; i < 4; ++i) {
            // Each waits for all four, so four workers must exist at once.
            dispatch.global(QualityOfService::utility).async([&] { allRunning.arrive_and_wait(); });
        }
        ASSERT_TRUE(eventually([&] { return threadCount() >= idleCount + 4; }));
        const auto idleFrom = Clock::now();
        ASSERT_TRUE(eventually([&] { return threadCount() == idleCount + 1; }, 30s));
        const double idleSeconds = secondsSince(idleFrom);
        EXPECT_GE(idleSeconds, std::chrono::duration<double>(ThreadDispatch::idleLimit).count() - 0.5);
        // The one left, idle past the limit by now, takes the next block: work
        // that comes about once per idle limit starts no thread.
        std::atomic<bool> ran { false };
        dispatch.global(QualityOfService::defaultClass).async([&] { ran = true; });
        EXPECT_TRUE(eventually([&] { return ran.load(); }));
        EXPECT_EQ(starts.load(), 4);
        EXPECT_EQ(threadCount(), idleCount + 1);
    }

    TEST(DispatchThreads, TheEndStopsAHungToolThroughItsPendingWatchdog)
    {
        FakeVpnFiles::reset();
        FakeVpnFiles::setFaults("hang");
        TestMainQueue mainQueue;
        SpawnProcessFactory factory;
        std::atomic<std::int32_t> status { -2 };
        const auto start = Clock::now();
        {
            ThreadDispatch dispatch(mainQueue);
            auto process = factory.makeProcess();
            auto pipe = factory.makePipe();
            process->setExecutablePath(fakeVpnPath());
            process->setArguments({ "state" });
            process->setStandardOutput(pipe);
            process->setStandardError(pipe);
            DispatchQueue& watchdogs = dispatch.global(QualityOfService::defaultClass);
            dispatch.global(QualityOfService::utility).async([&, process, pipe] {
                if (!process->launch()) {
                    watchdogs.asyncAfter(60, [process] {
                        if (process->isRunning()) {
                            process->terminate();
                        }
                    });
                    pipe->readDataToEndOfFile([](std::string_view) {});
                    process->waitUntilExit();
                    status = process->terminationStatus();
                }
            });
            ASSERT_TRUE(eventually([] { return FakeVpnFiles::loggedAt("state").has_value(); }));
        }
        // SIGTERM ends the hung tool at once, so the reader's worker is done
        // well within the grace period instead of being left behind.
        EXPECT_EQ(status.load(), 15);
        EXPECT_LT(secondsSince(start), 2.5);
        EXPECT_EQ(zombieChildCount(), 0);
    }

} // namespace
} // namespace lintara::posix::test
