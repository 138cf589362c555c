// SPDX-License-Identifier: MIT
#include "Win32RunLoop.hpp"

#include "Lintara/platform/glib/TickSchedule.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace lintara::win32 {

std::int64_t monotonicMicros()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

class Win32RunLoop::Backend final : public Timer::Backend {
public:
    Backend(MessageWindow& window, ModalGate& gate, std::set<Backend*>& live, glib::TickSchedule schedule,
        std::function<void()> callback, Repeats repeats)
        : window_(window)
        , gate_(gate)
        , live_(live)
        , schedule_(schedule)
        , callback_(std::move(callback))
        , repeats_(repeats)
        , id_(window.addTimer([this] { fired(); }))
    {
        live_.insert(this);
        arm();
    }
    ~Backend() override
    {
        live_.erase(this);
        window_.removeTimer(id_);
    }
    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;

    void fireAfter(double seconds) override
    {
        stopped_ = false;
        schedule_.restartAt(monotonicMicros() + std::llround(std::max(seconds, 0.0) * 1e6));
        arm();
    }

    // After the last dialog closed: fires now if it fell due meanwhile.
    void arm()
    {
        if (stopped_ || gate_.modalOpen()) {
            return;
        }
        const int millis = schedule_.millisUntilDue(monotonicMicros());
        SetTimer(window_.handle(), id_, static_cast<UINT>(std::max(millis, 0)), nullptr);
    }

private:
    void fired()
    {
        KillTimer(window_.handle(), id_);
        if (gate_.modalOpen()) {
            // Re-armed by the resume once the dialog has closed.
            return;
        }
        const std::int64_t now = monotonicMicros();
        if (!schedule_.isDue(now)) {
            // The system timer rounds; a firing a hair early waits the rest.
            arm();
            return;
        }
        // The schedule moves on before the callback runs, so that a callback
        // that opens a dialog finds the next firing already set.
        schedule_.fired(now);
        stopped_ = repeats_ == Repeats::no;
        callback_();
        arm();
    }

    MessageWindow& window_;
    ModalGate& gate_;
    std::set<Backend*>& live_;
    glib::TickSchedule schedule_;
    std::function<void()> callback_;
    Repeats repeats_;
    UINT_PTR id_;
    bool stopped_ = false;
};

Win32RunLoop::Win32RunLoop(MessageWindow& window, ModalGate& gate)
    : window_(window)
    , gate_(gate)
{
    gate_.onResume([this] {
        for (Backend* timer : timers_) {
            timer->arm();
        }
    });
}

Timer Win32RunLoop::scheduledTimer(double interval, std::function<void()> callback, Repeats repeats)
{
    const auto micros = std::llround(std::max(interval, 0.000001) * 1e6);
    return Timer(std::make_unique<Backend>(
        window_, gate_, timers_, glib::TickSchedule(monotonicMicros(), micros), std::move(callback), repeats));
}

} // namespace lintara::win32
