// SPDX-License-Identifier: MIT
#include "ThreadDispatch.hpp"

#include "Lintara/platform/BindingSupport.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#ifdef __linux__
#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>
#endif

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

    // How the timer thread sleeps until the next due time. With a timerfd,
    // the due time is changed on the timer itself, so that moving it, later
    // or earlier, or clearing it wakes nobody: a watchdog armed and taken
    // back on every poll then costs the timer thread nothing. Without one (not
    // Linux, or none to be had), a condition variable: a due time brought
    // forward wakes the sleeper, and one pushed back or cleared is found out
    // when the old one comes.
    class TimerSleep {
    public:
        TimerSleep()
        {
#ifdef __linux__
            timer_ = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
            stop_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
            if (timer_ < 0 || stop_ < 0) {
                closeFds();
            }
#endif
        }
        ~TimerSleep()
        {
#ifdef __linux__
            closeFds();
#endif
        }
        TimerSleep(const TimerSleep&) = delete;
        TimerSleep& operator=(const TimerSleep&) = delete;

        // With the lock held, whenever the earliest due time has changed.
        void retarget(std::optional<Clock::time_point> due)
        {
#ifdef __linux__
            if (timer_ >= 0) {
                arm(due);
                return;
            }
#endif
            if (sleeping_ && due && (!sleepingUntil_ || *due < *sleepingUntil_)) {
                wake_.notify_one();
            }
        }

        // The timer thread, with the lock held: returns with it held once the
        // due time may have come, or after stop().
        void sleep(std::unique_lock<std::mutex>& lock, std::optional<Clock::time_point> due)
        {
#ifdef __linux__
            if (timer_ >= 0) {
                arm(due);
                lock.unlock();
                std::array<pollfd, 2> fds { { { timer_, POLLIN, 0 }, { stop_, POLLIN, 0 } } };
                while (::poll(fds.data(), fds.size(), -1) < 0 && errno == EINTR) { }
                std::uint64_t expirations = 0;
                (void)!::read(timer_, &expirations, sizeof expirations);
                lock.lock();
                return;
            }
#endif
            sleeping_ = true;
            sleepingUntil_ = due;
            // Every change that could bring the due time forward is made under
            // the lock and notifies, so waiting without a predicate loses
            // nothing.
            if (due) {
                wake_.wait_until(lock, *due);
            } else {
                wake_.wait(lock);
            }
            sleeping_ = false;
        }

        // With the lock held, once the timer thread is to end.
        void stop()
        {
#ifdef __linux__
            if (stop_ >= 0) {
                const std::uint64_t one = 1;
                (void)!::write(stop_, &one, sizeof one);
                return;
            }
#endif
            wake_.notify_all();
        }

    private:
#ifdef __linux__
        void arm(std::optional<Clock::time_point> due)
        {
            itimerspec setting {};
            if (due) {
                // Relative, so that nothing depends on which clock steady_clock
                // reads; a time already past still fires, a nanosecond on.
                const std::int64_t left = std::max<std::int64_t>(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(*due - Clock::now()).count(), 1);
                setting.it_value.tv_sec = static_cast<time_t>(left / 1'000'000'000);
                setting.it_value.tv_nsec = static_cast<long>(left % 1'000'000'000);
            }
            timerfd_settime(timer_, 0, &setting, nullptr);
        }

        void closeFds()
        {
            for (int* fd : { &timer_, &stop_ }) {
                if (*fd >= 0) {
                    ::close(*fd);
                    *fd = -1;
                }
            }
        }

        int timer_ = -1;
        int stop_ = -1;
#endif
        std::condition_variable wake_;
        bool sleeping_ = false;
        std::optional<Clock::time_point> sleepingUntil_;
    };

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
        std::shared_ptr<DispatchWorkItem> asyncAfterCancellable(double seconds, Work work) override
        {
            const auto due = dueAfter(seconds);
            const std::uint64_t id = state_.submitAfter(due, std::move(work));
            return std::make_shared<DelayedItem>(state_.weak_from_this(), due, id);
        }

    private:
        State& state_;
    };

    class DelayedItem final : public DispatchWorkItem {
    public:
        DelayedItem(std::weak_ptr<State> state, Clock::time_point due, std::uint64_t id)
            : state_(std::move(state))
            , due_(due)
            , id_(id)
        {
        }
        void cancel() override
        {
            if (const auto state = state_.lock()) {
                state->cancelDelayed(due_, id_);
            }
        }

    private:
        std::weak_ptr<State> state_;
        Clock::time_point due_;
        std::uint64_t id_;
    };

    struct Delayed {
        std::uint64_t id;
        Work work;
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

    // Returns the block's id among the delayed ones, for cancelDelayed.
    std::uint64_t submitAfter(Clock::time_point due, Work work)
    {
        const std::scoped_lock lock(mutex);
        const std::uint64_t id = nextDelayedId++;
        if (stopping) {
            return id;
        }
        // The timer sleeps until the earliest block is due; one due later
        // changes nothing for it.
        const auto added = delayed.emplace(due, Delayed { id, std::move(work) });
        if (added == delayed.begin()) {
            timerSleep.retarget(nextDueLocked());
        }
        return id;
    }

    void cancelDelayed(Clock::time_point due, std::uint64_t id)
    {
        Work dropped;
        const std::scoped_lock lock(mutex);
        const auto [first, last] = delayed.equal_range(due);
        for (auto entry = first; entry != last; ++entry) {
            if (entry->second.id == id) {
                const bool earliest = entry == delayed.begin();
                dropped = std::move(entry->second.work);
                delayed.erase(entry);
                if (earliest) {
                    timerSleep.retarget(nextDueLocked());
                }
                break;
            }
        }
        // dropped, and what it captured, go once the lock is released: the
        // lock is declared after it.
    }

    [[nodiscard]] std::optional<Clock::time_point> nextDueLocked() const
    {
        std::optional<Clock::time_point> due = retryStartAt;
        if (!delayed.empty() && (!due || delayed.begin()->first < *due)) {
            due = delayed.begin()->first;
        }
        return due;
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
            timerSleep.retarget(nextDueLocked());
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
                ready.push_back(std::move(delayed.begin()->second.work));
                delayed.erase(delayed.begin());
                wakeIdleUnlocked(lock, startWorkerIfNeededLocked());
                continue;
            }
            timerSleep.sleep(lock, nextDueLocked());
        }
    }

    std::mutex mutex;
    std::condition_variable workAvailable;
    std::condition_variable workersChanged;
    TimerSleep timerSleep;
    std::deque<Work> ready;
    // Ordered by due time; blocks due at the same instant keep their order.
    std::multimap<Clock::time_point, Delayed> delayed;
    std::uint64_t nextDelayedId = 0;
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
    std::multimap<Clock::time_point, State::Delayed> pending;
    {
        const std::scoped_lock lock(state_->mutex);
        state_->stopping = true;
        dropped.swap(state_->ready);
        pending.swap(state_->delayed);
        state_->timerSleep.stop();
    }
    state_->main.close();
    state_->workAvailable.notify_all();
    timer_.join();
    dropped.clear();
    for (auto& [due, block] : pending) {
        block.work();
        block.work = nullptr;
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
