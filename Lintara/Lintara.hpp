// SPDX-License-Identifier: MIT
// The controller: one object that owns every piece of Lintara's state and is
// the target of every timer firing, notification and menu choice.
//
// It runs on the main thread only, one operation at a time. Background work
// holds a child process and a pointer back here, reads no field, and posts one
// result to the main queue, where the fields are written.
#pragma once

#include "platform/Platform.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace lintara {

struct StateQueryOutcome;

class AppDelegate final : public ApplicationDelegate {
public:
    explicit AppDelegate(Platform& platform);
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;
    AppDelegate(AppDelegate&&) = delete;
    AppDelegate& operator=(AppDelegate&&) = delete;
    ~AppDelegate() override = default;

    // Application callbacks.
    void applicationDidFinishLaunching() override;
    bool applicationShouldHandleReopen() override;

    // Menu actions, timer and notification targets.
    void preset(const MenuItem& sender);
    void customDuration();
    void cancelTimer();
    void toggleAutomatic();
    void tick();
    void quitApp();

    // The actions of the warning before the deadline: move the deadline the
    // given minutes later, or set it to now so that the next tick
    // disconnects the usual way. Both do nothing while a disconnect runs, and
    // with no deadline.
    void extendDeadline(std::int64_t minutes);
    void disconnectNow();

    // A copy of the fields, for tests and diagnostics. Reading it changes
    // nothing; nothing can be written through it.
    struct Snapshot {
        std::optional<Date> deadline;
        bool busy;
        bool polling;
        std::int64_t pollCounter;
        std::optional<bool> connected;
        std::int64_t selectedMinutes;
        bool automatic;
        std::string status;
        std::string vpnPath;
        bool hasItem;
        bool hasTimer;
        std::int64_t warningMinutes;
        std::optional<Date> warningDue;
        std::optional<Date> warnedAbout;
    };
    [[nodiscard]] Snapshot snapshot() const;

private:
    // shell
    // countdown
    void schedule(std::int64_t minutes);
    void alignTicks(Date now);
    [[nodiscard]] bool ticksInPhase(Date now) const;
    void selectDuration(std::int64_t minutes);
    void armWarning(Date now);
    void warnIfDue();
    void warningChosen(Date about, WarningAction action);
    void withdrawWarning();
    // vpn
    void pollVPN();
    void handlePollResult(const StateQueryOutcome& outcome);
    void disconnect();
    void handleDisconnectCompletion(std::int32_t terminationStatus, const std::string& text);
    void handleDisconnectLaunchFailure(const LaunchError& error);
    // ui
    void render();
    void perform(const MenuItem& sender);
    // Brings `menu` up to date with the fields, in place.
    void writeMenu();
    void showMessage(const std::string& title, const std::string& text);
    // remote
    RemoteResult performRemote(const RemoteCommand& command);
    void publishState(const std::string& title);

    Platform& platform_;

    // The fields, in this order on purpose: the constructor sets them so.
    std::optional<StatusItem> item;
    std::optional<Timer> timer;
    std::optional<Date> deadline;
    bool busy; // a disconnect is running
    bool polling;
    std::int64_t pollCounter;
    std::optional<bool> connected;
    std::int64_t selectedMinutes;
    bool automatic;
    std::string status;
    const std::string vpnPath;
    const std::int64_t warningMinutes; // the lead time of the warning; 0: never warn
    std::optional<Date> warningDue; // when the running countdown warns; unset once it has or must not
    std::optional<Date> warnedAbout; // the deadline the warning on screen announces; unset when none shows
    // Whether the last reading was unreadable: the log hears of changes only.
    bool unreadable;
    // What the last render showed, kept so that the next writes over it: a
    // render that changes no text allocates nothing.
    Menu menu;
    RemoteState published;
};

// The entry point every binding's main() ends in: the accessory policy, the
// controller, made in `controller` and handed to the application as its
// delegate, then the loop. The caller owns the controller and keeps it for as
// long as the process runs: a local of main() does, since a real binding ends
// the process with exit() or _Exit(), which destroy no local. Returns 0 should
// the loop ever return.
int applicationMain(Platform& platform, std::unique_ptr<AppDelegate>& controller);

} // namespace lintara
