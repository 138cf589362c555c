// SPDX-License-Identifier: MIT
#include "Win32Dispatch.hpp"

#include "Lintara/platform/BindingSupport.hpp"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <windows.h>

namespace lintara::win32 {

namespace {

    using Work = std::function<void()>;

    // Far beyond any delay Lintara asks for, and far from overflowing a
    // FILETIME's count of 100 ns ticks.
    constexpr double longestDelay = 1e8;

} // namespace

struct Win32Dispatch::State : std::enable_shared_from_this<State> {
    class GlobalQueue final : public DispatchQueue {
    public:
        explicit GlobalQueue(State& state)
            : state_(state)
        {
        }
        void async(Work work) override { state_.submit(std::move(work)); }
        void asyncAfter(double seconds, Work work) override { state_.submitAfter(seconds, std::move(work)); }
        std::shared_ptr<DispatchWorkItem> asyncAfterCancellable(double seconds, Work work) override
        {
            const std::uint64_t id = state_.submitAfter(seconds, std::move(work));
            return std::make_shared<DelayedItem>(state_.weak_from_this(), id);
        }

    private:
        State& state_;
    };

    class DelayedItem final : public DispatchWorkItem {
    public:
        DelayedItem(std::weak_ptr<State> state, std::uint64_t id)
            : state_(std::move(state))
            , id_(id)
        {
        }
        void cancel() override
        {
            if (const auto state = state_.lock()) {
                state->cancelDelayed(id_);
            }
        }

    private:
        std::weak_ptr<State> state_;
        std::uint64_t id_;
    };

    // What a pool callback gets: the state it belongs to, and its block or
    // the number of its timer.
    struct Submitted {
        std::shared_ptr<State> state;
        Work work;
    };
    struct Timed {
        std::shared_ptr<State> state;
        std::uint64_t id = 0;
    };
    struct Pending {
        PTP_TIMER timer = nullptr;
        Timed* context = nullptr;
        Work work;
    };

    explicit State(DispatchQueue& mainQueue)
        : main(mainQueue)
    {
    }

    void submit(Work work)
    {
        {
            const std::scoped_lock lock(mutex);
            if (stopping) {
                return;
            }
        }
        auto* submitted = new Submitted { shared_from_this(), std::move(work) };
        if (::TrySubmitThreadpoolCallback(runSubmitted, submitted, nullptr)) {
            return;
        }
        // The pool could not take it (out of memory); a thread of its own
        // may still start, and otherwise the block is lost, as it would be
        // on any queue with no memory left.
        try {
            std::thread([submitted] { runSubmitted(nullptr, submitted); }).detach();
        } catch (const std::system_error&) {
            delete submitted;
        }
    }

    static void CALLBACK runSubmitted(PTP_CALLBACK_INSTANCE, void* context)
    {
        std::unique_ptr<Submitted> submitted(static_cast<Submitted*>(context));
        submitted->state->run(std::move(submitted->work));
    }

    // Returns the block's id among the delayed ones, for cancelDelayed.
    std::uint64_t submitAfter(double seconds, Work work)
    {
        const double bounded = std::clamp(seconds, 0.0, longestDelay);
        const std::scoped_lock lock(mutex);
        const std::uint64_t id = nextId++;
        if (stopping) {
            return id;
        }
        auto* context = new Timed { shared_from_this(), id };
        PTP_TIMER timer = ::CreateThreadpoolTimer(runTimed, context, nullptr);
        if (timer == nullptr) {
            delete context;
            return id;
        }
        delayed.emplace(id, Pending { timer, context, std::move(work) });
        // Negative: relative to now, in 100 ns ticks, not moved by changes
        // to the wall clock.
        const auto ticks = static_cast<std::int64_t>(bounded * 1e7);
        const ULARGE_INTEGER due { .QuadPart = static_cast<ULONGLONG>(-std::max<std::int64_t>(ticks, 1)) };
        FILETIME dueTime { due.LowPart, due.HighPart };
        ::SetThreadpoolTimer(timer, &dueTime, 0, 0);
        return id;
    }

    // A block not yet started is forgotten, and its timer closed, so that
    // the pool has nothing to wake for at its due time.
    void cancelDelayed(std::uint64_t id)
    {
        Pending pending;
        {
            const std::scoped_lock lock(mutex);
            const auto found = delayed.find(id);
            // Already started, or taken by the destructor.
            if (found == delayed.end()) {
                return;
            }
            pending = std::move(found->second);
            delayed.erase(found);
        }
        closeTimer(pending);
    }

    // A timer whose callback is under way finds its block gone and returns;
    // the wait lets it, before the timer and its context go.
    static void closeTimer(Pending& pending)
    {
        ::SetThreadpoolTimer(pending.timer, nullptr, 0, 0);
        ::WaitForThreadpoolTimerCallbacks(pending.timer, TRUE);
        ::CloseThreadpoolTimer(pending.timer);
        delete pending.context;
    }

    static void CALLBACK runTimed(PTP_CALLBACK_INSTANCE, void* context, PTP_TIMER timer)
    {
        auto* timed = static_cast<Timed*>(context);
        const std::shared_ptr<State> state = timed->state;
        Work work;
        {
            const std::scoped_lock lock(state->mutex);
            const auto pending = state->delayed.find(timed->id);
            // Taken by the destructor or a cancel, which close the timer.
            if (pending == state->delayed.end()) {
                return;
            }
            work = std::move(pending->second.work);
            state->delayed.erase(pending);
        }
        delete timed;
        // Closing a timer from its own callback is allowed; it is freed once
        // this returns.
        ::CloseThreadpoolTimer(timer);
        state->run(std::move(work));
    }

    // Runs a block unless the queues are stopping, counting it as running
    // meanwhile so that the destructor can wait for it.
    void run(Work work)
    {
        {
            std::unique_lock lock(mutex);
            if (stopping) {
                // Dropped outside the lock: it may own a child process,
                // whose end can take a moment.
                lock.unlock();
                return;
            }
            ++running;
        }
        work();
        work = nullptr;
        const std::scoped_lock lock(mutex);
        --running;
        finished.notify_all();
    }

    std::mutex mutex;
    std::condition_variable finished;
    std::map<std::uint64_t, Pending> delayed;
    std::uint64_t nextId = 0;
    int running = 0;
    bool stopping = false;

    ClosableMainQueue main;
    GlobalQueue utility { *this };
    GlobalQueue defaultClass { *this };
};

Win32Dispatch::Win32Dispatch(DispatchQueue& mainQueue)
    : state_(std::make_shared<State>(mainQueue))
{
}

Win32Dispatch::~Win32Dispatch()
{
    std::map<std::uint64_t, State::Pending> pending;
    {
        const std::scoped_lock lock(state_->mutex);
        state_->stopping = true;
        pending.swap(state_->delayed);
    }
    state_->main.close();
    for (auto& [id, timer] : pending) {
        State::closeTimer(timer);
    }
    for (auto& [id, timer] : pending) {
        timer.work();
        timer.work = nullptr;
    }
    std::unique_lock lock(state_->mutex);
    state_->finished.wait_for(lock, shutdownGrace, [this] { return state_->running == 0; });
}

DispatchQueue& Win32Dispatch::main() { return state_->main; }

DispatchQueue& Win32Dispatch::global(QualityOfService qos)
{
    return qos == QualityOfService::utility ? static_cast<DispatchQueue&>(state_->utility) : state_->defaultClass;
}

} // namespace lintara::win32
