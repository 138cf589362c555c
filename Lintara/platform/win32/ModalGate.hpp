// SPDX-License-Identifier: MIT
// Whether a modal dialog that the controller opened is open, so that ticks
// and main-queue blocks wait until it has closed.
//
// Windows' modal loops (a dialog's, a popup menu's) dispatch every message of
// the thread, ours among them. The window procedure therefore asks the gate
// before it runs anything for the controller, and holds the work back while
// a dialog is open. When the last dialog closes, one resume message goes out,
// and the held work runs once the operation that opened the dialog has
// returned: the queued blocks in order, the tick once if it fell due.
//
// Main thread only.
#pragma once

#include "MessageWindow.hpp"

#include <functional>
#include <vector>

namespace lintara::win32 {

class ModalGate {
public:
    explicit ModalGate(MessageWindow& window)
        : window_(window)
    {
        window_.onMessage(resumeMessage, [this](WPARAM, LPARAM) -> LRESULT {
            if (!modalOpen()) {
                for (const std::function<void()>& resume : resumers_) {
                    resume();
                }
            }
            return 0;
        });
    }
    ModalGate(const ModalGate&) = delete;
    ModalGate& operator=(const ModalGate&) = delete;

    // Held while a modal dialog is open. Dialogs may nest.
    class Session {
    public:
        explicit Session(ModalGate& gate)
            : gate_(gate)
        {
            ++gate_.depth_;
        }
        ~Session()
        {
            if (--gate_.depth_ == 0) {
                gate_.window_.post(resumeMessage);
            }
        }
        Session(const Session&) = delete;
        Session& operator=(const Session&) = delete;

    private:
        ModalGate& gate_;
    };

    [[nodiscard]] bool modalOpen() const { return depth_ > 0; }
    // What runs when the last dialog has closed, in the order registered.
    void onResume(std::function<void()> resume) { resumers_.push_back(std::move(resume)); }

private:
    MessageWindow& window_;
    int depth_ = 0;
    std::vector<std::function<void()>> resumers_;
};

} // namespace lintara::win32
