// SPDX-License-Identifier: MIT
// A platform for tests: no display, no real time, no real processes.
//
// Provides: a wall clock and a monotonic clock that only the test moves; a
// repeating timer that fires as the test advances time, and not while a modal
// dialog is open (the first firing after it catches up, once); main and
// global queues that run only when the test steps them; scripted child
// processes, including ones that take time or hang until terminated; scripted
// dialog answers with a record of every alert; an in-memory settings store
// that holds values of any kind and records every write; a record of every
// title and menu, and of every line logged; menu choices, reopen and wake
// notifications on demand; remote commands, queued on the main queue as a
// binding queues them, and a record of every state the controller published;
// a record of every warning, and its actions chosen on demand.
//
// Leaves out: threads. Everything runs on the test's thread, so a hanging
// child is modelled by letting fake time pass inside its read.
//
// Every callback into the controller goes through one check that rejects
// overlap, so a controller bug that would run two operations at once on a
// real platform fails the test here.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lintara {
class AppDelegate;
}

namespace lintara::fake {

// How one run of the VPN tool behaves.
struct ScriptedRun {
    std::string output;
    std::int32_t terminationStatus = 0;
    // When set, the launch fails with this description and nothing runs.
    std::optional<std::string> launchError;
    // Fake seconds the tool takes before its output ends; infinity means it
    // runs until terminated.
    double runsFor = 0;
    // The status reported when terminate() ended it (the signal's number).
    std::int32_t statusWhenTerminated = 15;

    static ScriptedRun printing(std::string output, std::int32_t status = 0)
    {
        ScriptedRun run;
        run.output = std::move(output);
        run.terminationStatus = status;
        return run;
    }
    static ScriptedRun failingToLaunch(std::string description)
    {
        ScriptedRun run;
        run.launchError = std::move(description);
        return run;
    }
    static ScriptedRun hanging(std::string outputSoFar = {})
    {
        ScriptedRun run;
        run.output = std::move(outputSoFar);
        run.runsFor = std::numeric_limits<double>::infinity();
        return run;
    }
};

// One child the controller created, as configured and as it went.
struct RunRecord {
    std::string executablePath;
    std::vector<std::string> arguments;
    bool outputAndErrorShareOnePipe = false;
    ChildLifetime lifetime = ChildLifetime::outlivesApplication;
    bool launched = false;
    bool terminateRequested = false;
    bool finished = false;
    double launchedAt = 0; // monotonic
    double finishedAt = 0; // monotonic
};

// What the user does with the next alert.
struct Answer {
    long code = alertFirstButtonReturn;
    std::string fieldText;
    // Runs while the alert is open, for tests that let time pass meanwhile.
    std::function<void()> whileOpen;
    // Fake seconds the person leaves the alert open before answering. An alert
    // with a closesAt that falls sooner closes itself then, answering
    // modalResponseAbort, as it does when whileOpen took it past that instant.
    double openFor = 0;
};

class FakePlatform {
public:
    FakePlatform();
    ~FakePlatform();
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    Platform& platform() { return *platform_; }

    // ---- time
    // Moves both clocks forward, firing the tick timer and delayed global work
    // in the order they fall due. Neither the main queue nor undelayed global
    // work runs; see runMain() and runBackground().
    void advance(double seconds);
    // Moves the wall clock alone, as when the user changes the system time.
    void setWallClock(double secondsSinceReferenceDate);
    [[nodiscard]] Date now() const { return Date { wall_ }; }
    [[nodiscard]] double monotonic() const { return monotonic_; }
    // What shortTimeString() answers: "HH:MM" of the instant in UTC, enough
    // to see which instant the menu shows.
    [[nodiscard]] static std::string shortTime(Date date);

    // ---- queues
    void runMain();
    void runBackground();
    // Runs global and main work until neither has anything left. Delayed work
    // waits for advance().
    void settle();
    [[nodiscard]] std::size_t pendingMain() const { return mainQueue_.size(); }
    [[nodiscard]] std::size_t pendingBackground() const { return backgroundQueue_.size(); }

    // ---- the application
    // Runs the entry point: accessory policy, the controller, its launch.
    // The fake keeps the controller, as a binding's main() does.
    void start();
    [[nodiscard]] AppDelegate& controller();
    void reopen(bool* answer = nullptr);
    void wake();
    // Chooses the entry with this title in the menu attached last.
    void choose(std::string_view title);
    [[nodiscard]] bool terminated() const { return terminated_; }
    [[nodiscard]] std::optional<ActivationPolicy> activationPolicy() const { return activationPolicy_; }
    [[nodiscard]] int activations() const { return activations_; }
    [[nodiscard]] bool timerScheduled() const { return timer_.has_value(); }

    // ---- status item
    // Before start(): the item comes without a button.
    void giveItemNoButton() { itemHasButton_ = false; }
    [[nodiscard]] const std::vector<std::string>& titles() const { return titles_; }
    // The monotonic time at which each of titles() was drawn.
    [[nodiscard]] const std::vector<double>& titleTimes() const { return titleTimes_; }
    [[nodiscard]] std::string title() const { return titles_.empty() ? std::string() : titles_.back(); }
    [[nodiscard]] const std::vector<Menu>& menus() const { return menus_; }
    [[nodiscard]] const Menu& menu() const;
    [[nodiscard]] const MenuItem& menuItem(std::string_view title) const;
    [[nodiscard]] int statusItemsCreated() const { return statusItemsCreated_; }

    // ---- alerts
    void answerNext(Answer answer) { answers_.push_back(std::move(answer)); }
    [[nodiscard]] const std::vector<Alert>& alerts() const { return alerts_; }
    [[nodiscard]] bool modalOpen() const { return modalDepth_ > 0; }

    // ---- warnings
    // Every warning shown, oldest first.
    [[nodiscard]] const std::vector<Warning>& warnings() const { return warnings_; }
    [[nodiscard]] bool warningShowing() const { return warningShowing_; }
    [[nodiscard]] int warningPreparations() const { return warningPreparations_; }
    // Chooses an action of the warning shown last, as the person would. One
    // already withdrawn can still be chosen: a click that was on its way.
    void chooseWarningAction(WarningAction action);

    // ---- settings
    std::map<std::string, SettingValue, std::less<>>& settings() { return settings_; }
    [[nodiscard]] const std::vector<std::pair<std::string, SettingValue>>& settingWrites() const
    {
        return settingWrites_;
    }

    // ---- the log: each line written, after "info: " or "warning: "
    [[nodiscard]] const std::vector<std::string>& logLines() const { return logLines_; }

    // ---- the VPN tool
    // Queues how the next run with this word ("state", "disconnect") behaves.
    void script(const std::string& word, ScriptedRun run);
    // How runs behave once the queue for their word is empty.
    void scriptDefault(const std::string& word, ScriptedRun run);
    [[nodiscard]] const std::vector<RunRecord>& runs() const { return runs_; }
    [[nodiscard]] std::size_t runsOf(std::string_view word) const;
    [[nodiscard]] std::size_t processesRunning() const;

    // ---- remote control
    // Posts a command to the main queue, as a binding does; its answer joins
    // remoteResults() when the queue runs it.
    void remote(RemoteCommand command);
    [[nodiscard]] const std::vector<RemoteResult>& remoteResults() const { return remoteResults_; }
    // Every state the controller published, oldest first.
    [[nodiscard]] const std::vector<RemoteState>& published() const { return published_; }

    // A log of the platform calls in order ("title VPN ◷", "menu", "launch
    // state", "activate", "alert <message>"), for ordering checks.
    [[nodiscard]] const std::vector<std::string>& events() const { return events_; }

private:
    class Impl;
    friend class Impl;
    struct Delayed {
        double due;
        std::uint64_t order;
        std::function<void()> work;
    };
    struct RepeatingTimer {
        double start;
        double interval;
        std::uint64_t fired = 0;
        std::function<void()> callback;
    };

    // Runs one main-thread callback through the overlap check.
    void onMain(const std::function<void()>& callback);
    // Lets fake time pass until done() or until target; used by advance() and
    // by a child that takes time.
    void passTime(double target, const std::function<bool()>& done);
    [[nodiscard]] double nextTimerDue() const;
    ScriptedRun takeScript(const std::string& word);

    std::unique_ptr<Impl> impl_;
    std::unique_ptr<Platform> platform_;

    double wall_ = 800'000'000.0;
    double monotonic_ = 1000.0;
    std::uint64_t order_ = 0;
    int modalDepth_ = 0;
    int mainDepth_ = 0;
    bool terminated_ = false;
    int activations_ = 0;
    bool itemHasButton_ = true;
    int statusItemsCreated_ = 0;
    std::optional<ActivationPolicy> activationPolicy_;
    ApplicationDelegate* delegate_ = nullptr;
    std::optional<RepeatingTimer> timer_;
    std::vector<std::function<void()>> wakeObservers_;
    std::deque<std::function<void()>> mainQueue_;
    std::deque<std::function<void()>> backgroundQueue_;
    std::vector<Delayed> delayed_;
    std::vector<std::string> titles_;
    std::vector<double> titleTimes_;
    std::vector<Menu> menus_;
    std::deque<Answer> answers_;
    std::vector<Alert> alerts_;
    std::map<std::string, SettingValue, std::less<>> settings_;
    std::vector<std::pair<std::string, SettingValue>> settingWrites_;
    std::map<std::string, std::deque<ScriptedRun>, std::less<>> scripts_;
    std::map<std::string, ScriptedRun, std::less<>> defaultScripts_;
    std::vector<RunRecord> runs_;
    std::vector<std::string> events_;
    std::vector<std::string> logLines_;
    std::function<RemoteResult(const RemoteCommand&)> remoteHandler_;
    std::vector<RemoteResult> remoteResults_;
    std::vector<RemoteState> published_;
    std::vector<Warning> warnings_;
    std::function<void(WarningAction)> warningChosen_;
    bool warningShowing_ = false;
    int warningPreparations_ = 0;
    // Last, so that it goes first: it holds handles into this platform.
    std::unique_ptr<AppDelegate> controller_;
};

// Thrown when a test drives the fake into something a real platform would
// never do, or that would block forever.
struct FakePlatformMisuse : std::logic_error {
    using std::logic_error::logic_error;
};

} // namespace lintara::fake
