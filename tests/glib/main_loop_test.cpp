// SPDX-License-Identifier: MIT
// The main queue, the tick timer and the modal loop on a real GLib context.
// Every loop here runs under a watchdog: it stops after a generous time
// limit and fails the test, instead of hanging the suite.
#include "Lintara/platform/glib/GlibMainQueue.hpp"
#include "Lintara/platform/glib/GlibRunLoop.hpp"
#include "Lintara/platform/glib/ModalLoop.hpp"

#include <glib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>
#include <vector>

using namespace lintara;
using namespace lintara::glib;

namespace {

class Loop : public ::testing::Test {
protected:
    Loop()
        : context_(g_main_context_new())
        , modalLoop_(context_)
    {
        g_main_context_push_thread_default(context_);
    }
    ~Loop() override
    {
        g_main_context_pop_thread_default(context_);
        g_main_context_unref(context_);
    }

    // Iterates until done() holds; false if the watchdog ran out first.
    bool iterateUntil(const std::function<bool()>& done, double limitSeconds = 20.0)
    {
        const std::int64_t limit = g_get_monotonic_time() + static_cast<std::int64_t>(limitSeconds * 1e6);
        GSource* watchdog = g_timeout_source_new(static_cast<guint>(limitSeconds * 1000));
        g_source_set_callback(
            watchdog, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr, nullptr);
        g_source_attach(watchdog, context_);
        while (!done() && g_get_monotonic_time() < limit) {
            g_main_context_iteration(context_, TRUE);
        }
        g_source_destroy(watchdog);
        g_source_unref(watchdog);
        return done();
    }

    // Lets the loop run for a while, waiting on a plain GLib timeout: a way
    // to let time pass that is itself part of the loop under test.
    void runFor(double seconds)
    {
        bool passed = false;
        setAfter(seconds, passed);
        ASSERT_TRUE(iterateUntil([&] { return passed; }));
    }

    // Sets flag once the given time has passed on the loop.
    void setAfter(double seconds, bool& flag)
    {
        GSource* timeout = g_timeout_source_new(static_cast<guint>(seconds * 1000));
        g_source_set_callback(
            timeout,
            [](gpointer data) -> gboolean {
                *static_cast<bool*>(data) = true;
                return G_SOURCE_REMOVE;
            },
            &flag, nullptr);
        g_source_attach(timeout, context_);
        g_source_unref(timeout);
    }

    GMainContext* context_;
    ModalLoop modalLoop_;
};

using GlibMainQueueTest = Loop;
using GlibRunLoopTest = Loop;

} // namespace

TEST_F(GlibMainQueueTest, BlocksFromManyThreadsRunOnTheLoopThreadInTheirThreadsOrder)
{
    GlibMainQueue queue(modalLoop_);
    constexpr int threads = 4;
    constexpr int perThread = 500;
    std::vector<std::vector<int>> seen(threads);
    std::atomic<int> offLoopThread { 0 };
    const std::thread::id loopThread = std::this_thread::get_id();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) {
                queue.async([&, t, i] {
                    if (std::this_thread::get_id() != loopThread) {
                        ++offLoopThread;
                    }
                    seen[t].push_back(i);
                });
            }
        });
    }
    int total = 0;
    ASSERT_TRUE(iterateUntil([&] {
        total = 0;
        for (const auto& s : seen) {
            total += static_cast<int>(s.size());
        }
        return total == threads * perThread;
    }));
    for (auto& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(offLoopThread.load(), 0);
    for (const auto& s : seen) {
        ASSERT_EQ(s.size(), static_cast<std::size_t>(perThread));
        for (int i = 0; i < perThread; ++i) {
            ASSERT_EQ(s[i], i);
        }
    }
}

TEST_F(GlibMainQueueTest, OneBlockPerDispatchSoABlockNeverRunsInsideAnother)
{
    GlibMainQueue queue(modalLoop_);
    int depth = 0;
    int deepest = 0;
    std::vector<int> order;
    for (int i = 0; i < 3; ++i) {
        queue.async([&, i] {
            ++depth;
            deepest = std::max(deepest, depth);
            order.push_back(i);
            // A block that iterates the loop itself (as a dialog would, were
            // the modal loop not used) must not see the next block run inside it.
            g_main_context_iteration(context_, FALSE);
            --depth;
        });
    }
    ASSERT_TRUE(iterateUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(order, (std::vector<int> { 0, 1, 2 }));
}

TEST_F(GlibMainQueueTest, DelayedBlocksWaitTheirTimeAndKeepTheirOrder)
{
    GlibMainQueue queue(modalLoop_);
    std::vector<int> order;
    std::int64_t ranAt = 0;
    const std::int64_t postedAt = g_get_monotonic_time();
    queue.asyncAfter(0.2, [&] {
        ranAt = g_get_monotonic_time();
        order.push_back(2);
    });
    queue.asyncAfter(0.05, [&] { order.push_back(1); });
    queue.async([&] { order.push_back(0); });
    ASSERT_TRUE(iterateUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int> { 0, 1, 2 }));
    EXPECT_GE(ranAt - postedAt, 200'000);
}

TEST_F(GlibMainQueueTest, AModalDialogHoldsBlocksUntilItCloses)
{
    GlibMainQueue queue(modalLoop_);
    std::vector<std::string> events;
    bool answered = false;
    queue.async([&] {
        events.push_back("dialog opens");
        // Work that arrives while the dialog is open, from this thread and
        // from another, must wait for it.
        queue.async([&] { events.push_back("queued during dialog"); });
        std::thread([&] { queue.async([&] { events.push_back("posted by worker"); }); }).join();
        setAfter(0.15, answered);
        modalLoop_.run([&] { return answered; });
        events.push_back("dialog closed");
    });
    ASSERT_TRUE(iterateUntil([&] { return events.size() == 4; }));
    EXPECT_EQ(events,
        (std::vector<std::string> { "dialog opens", "dialog closed", "queued during dialog", "posted by worker" }));
    EXPECT_FALSE(modalLoop_.modalOpen());
}

TEST_F(GlibRunLoopTest, RepeatingTimerKeepsToItsGridAndStopsWithItsHandle)
{
    GlibRunLoop runLoop(modalLoop_);
    std::vector<std::int64_t> firings;
    const std::int64_t start = g_get_monotonic_time();
    std::optional<Timer> timer = runLoop.scheduledTimer(
        0.05, [&] { firings.push_back(g_get_monotonic_time()); }, Repeats::yes);
    ASSERT_TRUE(iterateUntil([&] { return firings.size() == 6; }));
    for (std::size_t n = 0; n < firings.size(); ++n) {
        // Never early: the n-th firing comes at or after start + n × 50 ms.
        EXPECT_GE(firings[n] - start, static_cast<std::int64_t>(n + 1) * 50'000) << "firing " << n;
    }
    timer.reset();
    const std::size_t before = firings.size();
    runFor(0.2);
    EXPECT_EQ(firings.size(), before);
}

TEST_F(GlibRunLoopTest, ATimerThatDoesNotRepeatFiresOnce)
{
    GlibRunLoop runLoop(modalLoop_);
    int fired = 0;
    const Timer timer = runLoop.scheduledTimer(
        0.02, [&] { ++fired; }, Repeats::no);
    runFor(0.2);
    EXPECT_EQ(fired, 1);
}

TEST_F(GlibRunLoopTest, TicksWaitForAModalDialogThenCatchUpOnce)
{
    GlibRunLoop runLoop(modalLoop_);
    int ticks = 0;
    const Timer timer = runLoop.scheduledTimer(
        0.03, [&] { ++ticks; }, Repeats::yes);
    {
        const ModalLoop::Session dialog = modalLoop_.beginModal();
        // Ten intervals pass with the dialog open.
        runFor(0.3);
        EXPECT_EQ(ticks, 0);
    }
    // The first iterations after it closes give one tick, not ten.
    for (int i = 0; i < 5; ++i) {
        g_main_context_iteration(context_, FALSE);
    }
    EXPECT_EQ(ticks, 1);
    // And then it goes on at its own pace.
    ASSERT_TRUE(iterateUntil([&] { return ticks >= 3; }));
}
