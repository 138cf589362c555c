// SPDX-License-Identifier: MIT
// The main queue on the message window: blocks posted from any thread run on
// the thread that pumps its messages, in the order posted, never while a
// modal dialog is open (see ModalGate.hpp).
//
// One pending message drains the queue, however many blocks wait: posting
// stays cheap under a burst, and the thread's message queue cannot fill up.
#pragma once

#include "Lintara/platform/Platform.hpp"
#include "MessageWindow.hpp"
#include "ModalGate.hpp"

#include <deque>
#include <functional>
#include <mutex>

namespace lintara::win32 {

class Win32MainQueue final : public DispatchQueue {
public:
    // Construct and destroy on the main thread.
    Win32MainQueue(MessageWindow& window, ModalGate& gate);

    void async(std::function<void()> work) override;
    // Waits on a thread-pool timer, whose clock is monotonic; the block then
    // joins the queue behind whatever already waits.
    void asyncAfter(double seconds, std::function<void()> work) override;

private:
    void drain();

    MessageWindow& window_;
    ModalGate& gate_;
    std::mutex mutex_;
    std::deque<std::function<void()>> blocks_;
    bool messagePending_ = false;
};

} // namespace lintara::win32
