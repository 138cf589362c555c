// SPDX-License-Identifier: MIT
// The nested main loop a modal dialog runs in, and how the GLib base knows that
// one is running, so that ticks and main-queue blocks wait until it ends.
//
// A modal dialog runs a nested main loop inside the controller operation that
// opened it. Anything else that reached the controller from that nested loop
// would run inside an unfinished operation, so the tick timer and the main
// queue ask whether a modal loop runs before they dispatch. When the last dialog closes they
// resume: the first tick afterwards fires once to catch up, and the queued
// blocks run one at a time, in order.
//
// Main thread only.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <functional>
#include <optional>

typedef struct _GMainContext GMainContext;

namespace lintara::glib {

class ModalLoop {
public:
    // The context whose loop the waiting sources belong to; null means the
    // default context.
    explicit ModalLoop(GMainContext* context = nullptr);
    ModalLoop(const ModalLoop&) = delete;
    ModalLoop& operator=(const ModalLoop&) = delete;

    // Held while a modal dialog is open. Dialogs may nest; ticks and blocks
    // go on again when the last session ends.
    class Session {
    public:
        explicit Session(ModalLoop& modalLoop);
        ~Session();
        Session(const Session&) = delete;
        Session& operator=(const Session&) = delete;

    private:
        ModalLoop& modalLoop_;
    };

    [[nodiscard]] Session beginModal() { return Session(*this); }
    [[nodiscard]] bool modalOpen() const { return depth_ > 0; }

    // Opens a modal session and iterates the context until finished() says
    // so, or until the wall clock reaches closesAt. Input sources keep
    // running, so the dialog can be answered; the waiting sources wait. Returns
    // whether it ended at closesAt without being finished.
    bool run(const std::function<bool()>& finished, std::optional<Date> closesAt = std::nullopt);

    [[nodiscard]] GMainContext* context() const { return context_; }

    // The clock a dialog's closesAt is read against: the one the controller
    // set it from. Without one, the system's wall clock.
    void useClock(Clock& clock) { clock_ = &clock; }

private:
    GMainContext* context_;
    Clock* clock_ = nullptr;
    int depth_ = 0;
};

} // namespace lintara::glib
