// SPDX-License-Identifier: MIT
// Small pieces that the process runners and dispatch queues of more than one
// binding share. Plain C++ with the standard library only, so any binding
// may use them.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <utility>

namespace lintara {

// Forwards to a binding's main queue until closed; then blocks are dropped.
// A binding's dispatch closes it on its way out, so that nothing a worker
// still posts reaches a controller that is going away.
class ClosableMainQueue final : public DispatchQueue {
public:
    explicit ClosableMainQueue(DispatchQueue& target)
        : target_(&target)
    {
    }
    void async(std::function<void()> work) override
    {
        const std::scoped_lock lock(mutex_);
        if (target_ != nullptr) {
            target_->async(std::move(work));
        }
    }
    void asyncAfter(double seconds, std::function<void()> work) override
    {
        const std::scoped_lock lock(mutex_);
        if (target_ != nullptr) {
            target_->asyncAfter(seconds, std::move(work));
        }
    }
    void close()
    {
        const std::scoped_lock lock(mutex_);
        target_ = nullptr;
    }

private:
    std::mutex mutex_;
    DispatchQueue* target_;
};

// When the reader of a run's output should stop waiting for its end, in
// steady-clock ticks since the epoch; zero while it should wait forever.
// Shared by a process and the pipes it writes into: set once the process has
// been ended by force, since only something beyond the runner's reach can
// then still hold the pipe open.
struct OutputDeadline {
    using Clock = std::chrono::steady_clock;

    std::atomic<Clock::rep> abandonAt { 0 };

    void abandonAfter(Clock::duration delay)
    {
        abandonAt.store((Clock::now() + delay).time_since_epoch().count(), std::memory_order_release);
    }
    [[nodiscard]] bool passed() const
    {
        const Clock::rep at = abandonAt.load(std::memory_order_acquire);
        return at != 0 && Clock::now().time_since_epoch().count() >= at;
    }
};

} // namespace lintara
