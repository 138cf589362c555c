// SPDX-License-Identifier: MIT
// The parts of the AppKit binding that need no Objective-C: what VoiceOver
// reads for the status item, how a delay becomes dispatch's nanoseconds, the
// deferral that holds main-queue work while a modal dialog or the status menu is
// open, what the message alert lays out of a long text, and keeping the
// controller alive until the process has gone.
//
// They are plain C++ so that they build and are tested on every platform,
// although only the macOS binding uses them.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <optional>
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

// Main-queue work, held back while a modal dialog or the status menu is open.
//
// On macOS the main dispatch queue is drained in the run loop's common modes,
// and NSModalPanelRunLoopMode is one of them, so a block posted to it runs
// while NSAlert's runModal is on screen, nested inside the controller
// operation that opened the alert. The controller relies on that never
// happening. So every main-queue block goes through this deferral: it runs at once
// when no dialog is open and otherwise waits, in order, until the last dialog
// has closed and a fresh turn of the main queue comes round.
//
// Main thread only: the binding hops to the main queue before it submits.
class ModalDeferral {
public:
    // Asks for drain() to be called soon on the main thread, from the top of
    // the loop rather than from inside the caller.
    using ScheduleDrain = std::function<void()>;

    explicit ModalDeferral(ScheduleDrain scheduleDrain);
    ModalDeferral(const ModalDeferral&) = delete;
    ModalDeferral& operator=(const ModalDeferral&) = delete;

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
        explicit ModalSession(ModalDeferral& deferral);
        ~ModalSession();
        ModalSession(const ModalSession&) = delete;
        ModalSession& operator=(const ModalSession&) = delete;

    private:
        ModalDeferral& deferral_;
    };

    // Held while the status menu is open. AppKit drains the main queue and
    // posts the wake notification during menu tracking too, and work run
    // there could open an alert inside the tracking or replace the menu
    // under the open one. AppKit reports the opening and the closing as two
    // callbacks rather than a scope, so this keeps a session from one to the
    // other. Opening again while open, or closing while closed, changes
    // nothing; destroying it while open closes it.
    class MenuTracking {
    public:
        explicit MenuTracking(ModalDeferral& deferral);
        MenuTracking(const MenuTracking&) = delete;
        MenuTracking& operator=(const MenuTracking&) = delete;

        void willOpen();
        void didClose();

    private:
        ModalDeferral& deferral_;
        std::optional<ModalSession> session_;
    };

    [[nodiscard]] bool modalOpen() const { return modalDepth_ > 0; }
    [[nodiscard]] std::size_t waiting() const { return waiting_.size(); }

private:
    ScheduleDrain scheduleDrain_;
    std::deque<std::function<void()>> waiting_;
    int modalDepth_ = 0;
    bool draining_ = false;
};

// The locale the time of day is written in, given the process's current
// locale ("ko_US", "en_DE@rg=dezzzz") and the user's first preferred
// language ("en-US", "zh-Hant-TW"). The menu's texts are Korean by design and
// Korean is the bundle's only localisation, so macOS may give the process a
// Korean locale whatever language the user reads, and "오후 3:04" would follow.
// Dates follow the user: their region and its settings in their language.
// Nothing when the current locale already speaks that language, so that it
// is used as it is, with the user's own time settings.
[[nodiscard]] std::optional<std::string> timeLocaleIdentifier(
    std::string_view currentLocale, std::string_view preferredLanguage);

// When an alert that closes itself at closesAt next looks at the wall clock:
// nothing once the instant is reached (close it now), otherwise the time left,
// but never more than a second away, so that a sleep or a clock set forward
// is noticed within a second.
[[nodiscard]] std::optional<double> nextCloseCheck(Date now, Date closesAt);

// What the message alert lays out of its informative text. A tool that
// flooded its output would otherwise make an alert taller or wider than the
// screen, with its button out of reach: only the text's end is kept
// (lintara::displayedTail), and a text of many lines or with a long line is
// shown in a bounded scrolling view instead of as the alert's own text.
struct AlertBody {
    std::string text;
    bool scrolls = false;
};
inline constexpr std::size_t alertMostLines = 8;
inline constexpr std::size_t alertLongestLine = 120; // characters
[[nodiscard]] AlertBody alertBody(std::string_view informativeText);

// Leaves the object that `owner` holds when the process exits undestroyed.
// exit() runs the static destructors, and the controller's would remove the
// status item and stop its timer while AppKit is being torn down, although
// the controller is meant to live as long as the process does.
//
// Call it from main(), once `owner` exists: exit handlers run in the reverse
// order of their registration, so this one runs before owner's destructor.
template <auto& owner> void keepAtExit()
{
    std::atexit([] {
        // Still reachable, so that a leak checker does not count it: it is
        // meant to live on.
        static auto* const kept = owner.release();
        (void)kept;
    });
}

} // namespace lintara::appkit
