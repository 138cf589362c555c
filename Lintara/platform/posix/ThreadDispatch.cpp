// SPDX-License-Identifier: MIT
#include "ThreadDispatch.hpp"

#include "Lintara/platform/BindingSupport.hpp"

#include <cmath>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

namespace lintara::posix {

namespace {

    using Clock = std::chrono::steady_clock;
    using Work = std::function<void()>;

    // Enough for every run Lintara can have going at once, with room to spare;
    // beyond it, blocks wait for a free worker rather than adding threads.
    constexpr int maxWorkers = 32;
    // Far beyond any delay Lintara asks for, and far from overflowing the clock.
    constexpr double longestDelay = 1e8;

    Clock::time_point dueAfter(double seconds)
    {
        if (!(seconds > 0)) {
            return Clock::now();
        }
        const double bounded = std::min(seconds, longestDelay);
        return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bounded));
    }

} // namespace

struct ThreadDispatch::State : std::enable_shared_from_this<State> {
    class GlobalQueue final : public DispatchQueue {
    public:
        explicit GlobalQueue(State& state)
            : state_(state)
        {
        }
        void async(Work work) override { state_.submit(std::move(work)); }
        void asyncAfter(double seconds, Work work) override { state_.submitAfter(dueAfter(seconds), std::move(work)); }

    private:
        State& state_;
    };

    State(DispatchQueue& mainQueue, StartThread start)
        : startThread(std::move(start))
        , main(mainQueue)
    {
    }

    void submit(Work work)
    {
        bool wakeIdle = false;
        {
            const std::scoped_lock lock(mutex);
            if (stopping) {
                return;
            }
            ready.push_back(std::move(work));
            wakeIdle = startWorkerIfNeededLocked();
        }
        // Outside the lock, so that the worker woken does not at once wait
        // for it: a switch fewer for each poll.
        if (wakeIdle) {
            workAvailable.notify_one();
        }
    }

    void submitAfter(Clock::time_point due, Work work)
    {
        bool earliest = false;
        {
            const std::scoped_lock lock(mutex);
            if (stopping) {
                return;
            }
            const auto added = delayed.emplace(due, std::move(work));
            earliest = added == delayed.begin();
        }
        // The timer sleeps until the earliest block is due; one due later
        // changes nothing for it. Each poll arms a watchdog due after the
        // last one's, so this spares the timer a wake per poll.
        if (earliest) {
            timerWake.notify_one();
        }
    }

    // Every ready block has an idle worker to take it, or a new one starts.
    // True when an idle worker is to take it: the caller wakes one.
    [[nodiscard]] bool startWorkerIfNeededLocked()
    {
        if (ready.size() <= static_cast<std::size_t>(idle)) {
            return true;
        }
        if (workers >= maxWorkers) {
            return false;
        }
        try {
            startThread([self = shared_from_this()] { self->workerLoop(); });
            ++workers;
        } catch (const std::system_error&) {
            // Out of threads for now. A running worker takes the block when it
            // is done, but there may be none, and no further submission need
            // come: the controller waits for this block's result before it
            // polls again. So the timer tries again.
            retryStartAt = Clock::now() + startRetryDelay;
            timerWake.notify_one();
        }
        return false;
    }

    void workerLoop()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            if (!ready.empty()) {
                Work work = std::move(ready.front());
                ready.pop_front();
                lock.unlock();
                work();
                // Captures are released outside the lock: they may own a child
                // process, whose end can take a moment.
                work = nullptr;
                lock.lock();
                continue;
            }
            if (stopping) {
                break;
            }
            const auto workOrStop = [this] { return !ready.empty() || stopping; };
            ++idle;
            bool woken = true;
            if (idle == 1) {
                // The only worker waiting stays for good: the polls come at
                // about the idle limit apart, and a worker that ended just
                // before each would make every poll start a thread.
                workAvailable.wait(lock, workOrStop);
            } else {
                woken = workAvailable.wait_for(lock, idleLimit, workOrStop);
            }
            --idle;
            if (!woken) {
                break;
            }
        }
        --workers;
        workersChanged.notify_all();
    }

    void wakeIdleUnlocked(std::unique_lock<std::mutex>& lock, bool wakeIdle)
    {
        if (wakeIdle) {
            lock.unlock();
            workAvailable.notify_one();
            lock.lock();
        }
    }

    void timerLoop()
    {
        std::unique_lock lock(mutex);
        while (!stopping) {
            const auto now = Clock::now();
            if (retryStartAt && *retryStartAt <= now) {
                retryStartAt.reset();
                wakeIdleUnlocked(lock, startWorkerIfNeededLocked());
                continue;
            }
            if (!delayed.empty() && delayed.begin()->first <= now) {
                ready.push_back(std::move(delayed.begin()->second));
                delayed.erase(delayed.begin());
                wakeIdleUnlocked(lock, startWorkerIfNeededLocked());
                continue;
            }
            std::optional<Clock::time_point> wake = retryStartAt;
            if (!delayed.empty() && (!wake || delayed.begin()->first < *wake)) {
                wake = delayed.begin()->first;
            }
            // Every change that could bring the wake forward is made under the
            // lock and notifies, so waiting without a predicate loses nothing.
            if (wake) {
                timerWake.wait_until(lock, *wake);
            } else {
                timerWake.wait(lock);
            }
        }
    }

    std::mutex mutex;
    std::condition_variable workAvailable;
    std::condition_variable workersChanged;
    std::condition_variable timerWake;
    std::deque<Work> ready;
    // Ordered by due time; blocks due at the same instant keep their order.
    std::multimap<Clock::time_point, Work> delayed;
    // When the timer tries again to start a worker that could not start.
    std::optional<Clock::time_point> retryStartAt;
    int workers = 0;
    int idle = 0;
    bool stopping = false;
    const StartThread startThread;

    ClosableMainQueue main;
    GlobalQueue utility { *this };
    GlobalQueue defaultClass { *this };
};

void ThreadDispatch::startDetachedThread(std::function<void()> body) { std::thread(std::move(body)).detach(); }

ThreadDispatch::ThreadDispatch(DispatchQueue& mainQueue, StartThread startThread)
    : state_(std::make_shared<State>(mainQueue, std::move(startThread)))
    , timer_([state = state_] { state->timerLoop(); })
{
}

ThreadDispatch::~ThreadDispatch()
{
    std::deque<Work> dropped;
    std::multimap<Clock::time_point, Work> pending;
    {
        const std::scoped_lock lock(state_->mutex);
        state_->stopping = true;
        dropped.swap(state_->ready);
        pending.swap(state_->delayed);
    }
    state_->main.close();
    state_->workAvailable.notify_all();
    state_->timerWake.notify_all();
    timer_.join();
    dropped.clear();
    for (auto& [due, work] : pending) {
        work();
        work = nullptr;
    }
    std::unique_lock lock(state_->mutex);
    state_->workersChanged.wait_for(lock, shutdownGrace, [this] { return state_->workers == 0; });
}

DispatchQueue& ThreadDispatch::main() { return state_->main; }

DispatchQueue& ThreadDispatch::global(QualityOfService qos)
{
    return qos == QualityOfService::utility ? static_cast<DispatchQueue&>(state_->utility) : state_->defaultClass;
}

} // namespace lintara::posix
