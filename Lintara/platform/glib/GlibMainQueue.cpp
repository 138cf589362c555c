// SPDX-License-Identifier: MIT
#include "GlibMainQueue.hpp"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace lintara::glib {

// A source that is ready while blocks wait and no modal dialog is open.
struct GlibMainQueue::Source {
    GSource base;
    GlibMainQueue* owner;

    static gboolean prepare(GSource* source, gint* timeout)
    {
        *timeout = -1;
        return reinterpret_cast<Source*>(source)->owner->ready();
    }
    static gboolean check(GSource* source) { return reinterpret_cast<Source*>(source)->owner->ready(); }
    static gboolean dispatch(GSource* source, GSourceFunc, gpointer)
    {
        reinterpret_cast<Source*>(source)->owner->runOne();
        return G_SOURCE_CONTINUE;
    }
    static GSourceFuncs funcs;
};

GSourceFuncs GlibMainQueue::Source::funcs = { prepare, check, dispatch, nullptr, nullptr, nullptr };

struct GlibMainQueue::Delayed {
    GlibMainQueue* owner;
    GSource* timer;
    std::function<void()> work;
};

GlibMainQueue::GlibMainQueue(ModalLoop& modalLoop)
    : modalLoop_(modalLoop)
    , source_(g_source_new(&Source::funcs, sizeof(Source)))
{
    reinterpret_cast<Source*>(source_)->owner = this;
    g_source_set_name(source_, "lintara main queue");
    g_source_attach(source_, modalLoop_.context());
}

GlibMainQueue::~GlibMainQueue()
{
    g_source_destroy(source_);
    g_source_unref(source_);
    const std::lock_guard lock(mutex_);
    for (GSource* timer : timers_) {
        g_source_destroy(timer);
    }
}

void GlibMainQueue::async(std::function<void()> work)
{
    {
        const std::lock_guard lock(mutex_);
        blocks_.push_back(std::move(work));
    }
    g_main_context_wakeup(modalLoop_.context());
}

void GlibMainQueue::asyncAfter(double seconds, std::function<void()> work)
{
    // Whole milliseconds, rounded up so that the block never runs early.
    double millis = std::ceil(std::max(seconds, 0.0) * 1000.0);
    if (!(millis < static_cast<double>(std::numeric_limits<guint>::max()))) {
        millis = static_cast<double>(std::numeric_limits<guint>::max());
    }
    GSource* timer = g_timeout_source_new(static_cast<guint>(millis));
    auto* delayed = new Delayed { this, timer, std::move(work) };
    g_source_set_callback(
        timer,
        [](gpointer data) -> gboolean {
            auto* entry = static_cast<Delayed*>(data);
            GlibMainQueue* owner = entry->owner;
            {
                const std::lock_guard lock(owner->mutex_);
                std::erase(owner->timers_, entry->timer);
            }
            owner->async(std::move(entry->work));
            return G_SOURCE_REMOVE;
        },
        delayed, [](gpointer data) { delete static_cast<Delayed*>(data); });
    {
        const std::lock_guard lock(mutex_);
        timers_.push_back(timer);
    }
    g_source_attach(timer, modalLoop_.context());
    g_source_unref(timer);
}

bool GlibMainQueue::ready() const
{
    if (modalLoop_.modalOpen()) {
        return false;
    }
    const std::lock_guard lock(mutex_);
    return !blocks_.empty();
}

void GlibMainQueue::runOne()
{
    std::function<void()> work;
    {
        const std::lock_guard lock(mutex_);
        if (blocks_.empty()) {
            return;
        }
        work = std::move(blocks_.front());
        blocks_.pop_front();
    }
    // Run outside the lock: the block may post more work.
    work();
}

} // namespace lintara::glib
