// SPDX-License-Identifier: MIT
#include "ModalLoop.hpp"

#include "IcuClock.hpp"

#include <glib.h>

#include <algorithm>
#include <cmath>

namespace lintara::glib {

ModalLoop::ModalLoop(GMainContext* context)
    : context_(context)
{
}

ModalLoop::Session::Session(ModalLoop& modalLoop)
    : modalLoop_(modalLoop)
{
    ++modalLoop_.depth_;
}

ModalLoop::Session::~Session()
{
    --modalLoop_.depth_;
    if (modalLoop_.depth_ == 0) {
        // The waiting sources decide in their prepare step; a wake-up makes the
        // loop prepare them again even if it was about to sleep.
        g_main_context_wakeup(modalLoop_.context_);
    }
}

bool ModalLoop::run(const std::function<bool()>& finished, std::optional<Date> closesAt)
{
    const Session session(*this);
    while (!finished()) {
        if (!closesAt) {
            g_main_context_iteration(context_, TRUE);
            continue;
        }
        const Date now = clock_ != nullptr
            ? clock_->now()
            : Date { static_cast<double>(g_get_real_time()) / 1e6 - unixTimeOfReferenceDate };
        const double left = closesAt->timeIntervalSince(now);
        if (!(left > 0)) {
            return true;
        }
        // Wakes the loop when the instant comes, and at least once a second
        // before, since the monotonic timeout does not count a machine's
        // sleep and the wall clock may be set meanwhile.
        const auto millis = static_cast<guint>(std::ceil(std::min(left, 1.0) * 1000.0));
        GSource* wake = g_timeout_source_new(millis);
        g_source_set_callback(
            wake, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
        g_source_attach(wake, context_);
        g_main_context_iteration(context_, TRUE);
        g_source_destroy(wake);
        g_source_unref(wake);
    }
    return false;
}

} // namespace lintara::glib
