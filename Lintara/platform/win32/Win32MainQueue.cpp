// SPDX-License-Identifier: MIT
#include "Win32MainQueue.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace lintara::win32 {

namespace {
    struct Delayed {
        Win32MainQueue* queue;
        std::function<void()> work;
    };

    void CALLBACK delayedFired(PTP_CALLBACK_INSTANCE, PVOID context, PTP_TIMER timer)
    {
        const std::unique_ptr<Delayed> delayed(static_cast<Delayed*>(context));
        delayed->queue->async(std::move(delayed->work));
        // Freed once this callback has returned.
        CloseThreadpoolTimer(timer);
    }
} // namespace

Win32MainQueue::Win32MainQueue(MessageWindow& window, ModalGate& gate)
    : window_(window)
    , gate_(gate)
{
    window_.onMessage(drainMessage, [this](WPARAM, LPARAM) -> LRESULT {
        drain();
        return 0;
    });
    gate_.onResume([this] { drain(); });
}

void Win32MainQueue::async(std::function<void()> work)
{
    bool post = false;
    {
        const std::lock_guard lock(mutex_);
        blocks_.push_back(std::move(work));
        post = !messagePending_;
        messagePending_ = true;
    }
    if (post) {
        window_.post(drainMessage);
    }
}

void Win32MainQueue::asyncAfter(double seconds, std::function<void()> work)
{
    // In units of 100 ns, negative for "from now", rounded up so that the
    // block never runs early.
    constexpr double longest = static_cast<double>(std::numeric_limits<LONGLONG>::max() / 2);
    const double ticks = std::min(std::ceil(std::max(seconds, 0.0) * 1e7), longest);
    auto delayed = std::make_unique<Delayed>(Delayed { this, std::move(work) });
    PTP_TIMER timer = CreateThreadpoolTimer(delayedFired, delayed.get(), nullptr);
    if (timer == nullptr) {
        // Late is better than never for what waits here (a watchdog).
        async(std::move(delayed->work));
        return;
    }
    ULARGE_INTEGER due {};
    due.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(ticks));
    FILETIME dueTime { due.LowPart, due.HighPart };
    (void)delayed.release();
    SetThreadpoolTimer(timer, &dueTime, 0, 0);
}

void Win32MainQueue::drain()
{
    std::size_t waiting = 0;
    {
        const std::lock_guard lock(mutex_);
        messagePending_ = false;
        waiting = blocks_.size();
    }
    // The blocks that wait now, and no more, so that a block that keeps
    // posting cannot starve input and paint; the rest get a message of their
    // own. A dialog that a block opens holds the rest until the resume.
    for (; waiting > 0 && !gate_.modalOpen(); --waiting) {
        std::function<void()> work;
        {
            const std::lock_guard lock(mutex_);
            if (blocks_.empty()) {
                return;
            }
            work = std::move(blocks_.front());
            blocks_.pop_front();
        }
        // Outside the lock: the block may post more work.
        work();
    }
    if (gate_.modalOpen()) {
        return;
    }
    bool post = false;
    {
        const std::lock_guard lock(mutex_);
        post = !blocks_.empty() && !messagePending_;
        messagePending_ = messagePending_ || post;
    }
    if (post) {
        window_.post(drainMessage);
    }
}

} // namespace lintara::win32
