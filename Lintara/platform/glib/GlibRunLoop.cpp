// SPDX-License-Identifier: MIT
#include "GlibRunLoop.hpp"
#include "TickSchedule.hpp"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <optional>

namespace lintara::glib {

namespace {

    struct TickSource {
        GSource base;
        ModalLoop* modalLoop;
        std::optional<TickSchedule> schedule;
        std::function<void()> callback;
        Repeats repeats;

        static TickSource* of(GSource* source) { return reinterpret_cast<TickSource*>(source); }

        static gboolean prepare(GSource* source, gint* timeout)
        {
            TickSource* self = of(source);
            if (self->modalLoop->modalOpen()) {
                // The last dialog's end wakes the context, so there is no need to
                // poll while the dialog is open.
                *timeout = -1;
                return FALSE;
            }
            *timeout = self->schedule->millisUntilDue(g_source_get_time(source));
            return *timeout == 0;
        }
        static gboolean check(GSource* source)
        {
            TickSource* self = of(source);
            return !self->modalLoop->modalOpen() && self->schedule->isDue(g_source_get_time(source));
        }
        static gboolean dispatch(GSource* source, GSourceFunc, gpointer)
        {
            TickSource* self = of(source);
            // The schedule moves on before the callback runs, so that a
            // callback that opens a dialog finds the next firing already set.
            self->schedule->fired(g_get_monotonic_time());
            self->callback();
            return self->repeats == Repeats::yes ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
        }
        static void finalize(GSource* source)
        {
            TickSource* self = of(source);
            // The struct was built by g_source_new, so its members are
            // destroyed by hand.
            self->callback.~function();
            self->schedule.~optional();
        }
        static GSourceFuncs funcs;
    };

    GSourceFuncs TickSource::funcs = { prepare, check, dispatch, finalize, nullptr, nullptr };

    class GlibTimer final : public Timer::Backend {
    public:
        explicit GlibTimer(GSource* source)
            : source_(source)
        {
        }
        ~GlibTimer() override
        {
            g_source_destroy(source_);
            g_source_unref(source_);
        }
        void fireAfter(double seconds) override
        {
            const auto micros = std::llround(std::max(seconds, 0.0) * 1e6);
            TickSource::of(source_)->schedule->restartAt(g_get_monotonic_time() + micros);
            // A loop asleep on the old timeout must prepare again.
            g_main_context_wakeup(g_source_get_context(source_));
        }
        GlibTimer(const GlibTimer&) = delete;
        GlibTimer& operator=(const GlibTimer&) = delete;

    private:
        GSource* source_;
    };

} // namespace

GlibRunLoop::GlibRunLoop(ModalLoop& modalLoop)
    : modalLoop_(modalLoop)
{
}

Timer GlibRunLoop::scheduledTimer(double interval, std::function<void()> callback, Repeats repeats)
{
    GSource* source = g_source_new(&TickSource::funcs, sizeof(TickSource));
    TickSource* tick = TickSource::of(source);
    tick->modalLoop = &modalLoop_;
    new (&tick->schedule) std::optional<TickSchedule>(
        TickSchedule(g_get_monotonic_time(), std::llround(std::max(interval, 0.000001) * 1e6)));
    new (&tick->callback) std::function<void()>(std::move(callback));
    tick->repeats = repeats;
    g_source_set_name(source, "lintara tick");
    g_source_attach(source, modalLoop_.context());
    return Timer(std::make_unique<GlibTimer>(source));
}

} // namespace lintara::glib
