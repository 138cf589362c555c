// The parts of the AppKit binding that need no Objective-C: what VoiceOver
// reads for the status item, how a delay becomes dispatch's nanoseconds, and
// the gate that holds main-queue work while a modal dialog is open.
//
// They are plain C++ so that they build and are tested on every platform,
// although only the macOS binding uses them.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

namespace lintara::appkit {

// What the status item's button says to VoiceOver for a given title. A
// countdown title such as "VPN 0:59:59" reads as words ("VPN 해제까지 59분 59초
// 남음") instead of as a string of digits and colons, and the idle mark reads
// as its meaning. Any other title is read as it is.
[[nodiscard]] std::string accessibleTitle(std::string_view title);

// A delay in seconds as the whole nanoseconds dispatch_time() takes. A delay
// that is negative or not a number means "now"; one too long to represent is
// held at the longest that is.
[[nodiscard]] std::int64_t delayInNanoseconds(double seconds);

// Main-queue work, held back while a modal dialog is open.
//
// On macOS the main dispatch queue is drained in the run loop's common modes,
// and NSModalPanelRunLoopMode is one of them, so a block posted to it runs
// while NSAlert's runModal is on screen, nested inside the controller
// operation that opened the alert. The controller relies on that never
// happening. So every main-queue block goes through this gate: it runs at once
// when no dialog is open and otherwise waits, in order, until the last dialog
// has closed and a fresh turn of the main queue comes round.
//
// Main thread only: the binding hops to the main queue before it submits.
class MainQueueGate {
public:
    // Asks for drain() to be called soon on the main thread, from the top of
    // the loop rather than from inside the caller.
    using ScheduleDrain = std::function<void()>;

    explicit MainQueueGate(ScheduleDrain scheduleDrain);
    MainQueueGate(const MainQueueGate&) = delete;
    MainQueueGate& operator=(const MainQueueGate&) = delete;

    // Runs the work now if nothing is open or waiting, otherwise queues it
    // behind what is waiting.
    void submit(std::function<void()> work);

    // Runs waiting work, oldest first, until none is left or a dialog opens.
    // A call made from inside a piece of work it is running does nothing, so
    // work never nests inside other work.
    void drain();

    // Held while a modal dialog is open. Dialogs may nest; when the last one
    // closes, a drain is scheduled for later, never run from here, so that
    // waiting work does not run inside the operation that opened the dialog.
    class ModalSession {
    public:
        explicit ModalSession(MainQueueGate& gate);
        ~ModalSession();
        ModalSession(const ModalSession&) = delete;
        ModalSession& operator=(const ModalSession&) = delete;

    private:
        MainQueueGate& gate_;
    };

    [[nodiscard]] bool modalOpen() const { return modalDepth_ > 0; }
    [[nodiscard]] std::size_t waiting() const { return waiting_.size(); }

private:
    ScheduleDrain scheduleDrain_;
    std::deque<std::function<void()>> waiting_;
    int modalDepth_ = 0;
    bool draining_ = false;
};

} // namespace lintara::appkit
