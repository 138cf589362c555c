// SPDX-License-Identifier: MIT
// The main queue on a GLib main loop: blocks posted from any thread run on the
// thread that iterates the context, one per loop iteration, in the order they
// were posted, and never while a modal dialog is open (see ModalLoop).
#pragma once

#include "Lintara/platform/Platform.hpp"
#include "ModalLoop.hpp"

#include <deque>
#include <functional>
#include <mutex>

typedef struct _GSource GSource;

namespace lintara::glib {

class GlibMainQueue final : public DispatchQueue {
public:
    // Attaches to the modal loop's context. Construct and destroy on the main
    // thread; async() and asyncAfter() may be called from any thread.
    explicit GlibMainQueue(ModalLoop& modalLoop);
    ~GlibMainQueue() override;
    GlibMainQueue(const GlibMainQueue&) = delete;
    GlibMainQueue& operator=(const GlibMainQueue&) = delete;

    void async(std::function<void()> work) override;
    // The delay runs on the monotonic clock; the block then joins the queue
    // behind whatever is already waiting.
    void asyncAfter(double seconds, std::function<void()> work) override;

private:
    struct Source;
    struct Delayed;
    [[nodiscard]] bool ready() const;
    void runOne();

    ModalLoop& modalLoop_;
    GSource* source_;
    mutable std::mutex mutex_;
    std::deque<std::function<void()>> blocks_;
    // Delayed blocks whose timer has not fired; detached when the queue goes.
    std::vector<GSource*> timers_;
};

} // namespace lintara::glib
