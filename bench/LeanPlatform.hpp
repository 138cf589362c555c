// SPDX-License-Identifier: MIT
// A platform for measuring the controller: it implements the seam as cheaply
// as it can and keeps only the latest title and menu, so that a run of a
// million ticks measures the controller and its menu model, not a growing
// record of them.
//
// Provides: a clock the caller moves; a main queue the caller drains; global
// queues that run a block at once on the calling thread and drop delayed ones
// (the watchdogs, which have nothing to end here); a VPN tool that answers at
// once with a fixed output; settings in memory; alerts answered with cancel.
// Leaves out: threads, real time and real processes. The dispatch and the
// process factory can be swapped for real ones (see LeanPlatform::platform).
//
// Why not the fake platform (platform/fake), which it resembles: what makes
// the fake good for tests spoils a measurement. It records every title, menu,
// event and run, so a million ticks would measure that record growing; it
// passes every callback through a gate that checks for overlap, which adds
// its own work to every tick measured; and its queues belong to the test's
// one thread, where the poll loop needs a main queue that the runner's
// worker threads post to.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lintara::bench {

class LeanPlatform final : public Application,
                           public StatusBar,
                           public RunLoop,
                           public NotificationCenter,
                           public Clock,
                           public SettingsStore,
                           public Alerts,
                           public Dispatch,
                           public ProcessFactory,
                           public RemoteControl,
                           public Warnings,
                           public Log {
public:
    // What the VPN tool prints for "state".
    explicit LeanPlatform(std::string stateOutput);

    // The seam, built from this object, or with another dispatch and process
    // factory for runs through a real runner. It lives as long as this object,
    // as the controller requires; the second form replaces the first.
    [[nodiscard]] Platform& platform() { return *seam_; }
    [[nodiscard]] Platform& platform(Dispatch& dispatch, ProcessFactory& processes);

    void advance(double seconds) { now_.timeIntervalSinceReferenceDate += seconds; }
    void setStateOutput(std::string output) { stateOutput_ = std::move(output); }
    // Runs the blocks posted to the main queue so far; returns how many.
    std::size_t drainMain() { return mainQueue_.drain(0); }
    // Waits up to `seconds` for a block on the main queue, then runs all that
    // are there; returns how many ran. For runs through a real dispatch.
    std::size_t waitAndDrainMain(double seconds) { return mainQueue_.drain(seconds); }
    [[nodiscard]] const std::string& title() const { return title_; }
    [[nodiscard]] const Menu& menu() const { return menu_; }
    [[nodiscard]] int alertsShown() const { return alertsShown_; }

    // Application
    void setActivationPolicy(ActivationPolicy) override { }
    void setDelegate(ApplicationDelegate*) override { }
    void run() override { }
    void terminate() override { }
    void activateIgnoringOtherApps(IgnoringOtherApps) override { }
    // StatusBar
    StatusItem statusItemWithLength(double length) override;
    // RunLoop
    Timer scheduledTimer(double interval, std::function<void()> callback, Repeats repeats) override;
    // NotificationCenter
    void addObserver(Notification, std::function<void()>) override { }
    // Clock
    Date now() override { return now_; }
    std::string shortTimeString(Date date) override;
    // SettingsStore
    std::int64_t integerForKey(std::string_view key) override;
    std::optional<SettingValue> objectForKey(std::string_view key) override;
    void setInteger(std::int64_t value, std::string_view key) override;
    void setBool(bool value, std::string_view key) override;
    // Alerts
    ModalResponse runModal(const Alert& alert) override;
    // Dispatch
    DispatchQueue& main() override { return mainQueue_; }
    DispatchQueue& global(QualityOfService) override { return globalQueue_; }
    // ProcessFactory
    std::shared_ptr<Process> makeProcess() override;
    std::shared_ptr<Pipe> makePipe() override;
    // RemoteControl: nobody sends commands here, and the state the
    // controller builds for readers is dropped, its cost still measured.
    void setHandler(std::function<RemoteResult(const RemoteCommand&)>) override { }
    void publish(const RemoteState&) override { }

    // Warnings: none shown; measuring leaves their cost out.
    void prepare() override { }
    void show(const Warning&, std::function<void(WarningAction)>) override { }
    void withdraw() override { }

    // Log: measuring keeps nothing, so lines are dropped.
    void write(LogLevel, std::string_view) override { }

private:
    // A queue that may be posted to from any thread and is drained by the
    // thread that owns the controller. Its storage is reused, so draining it
    // once per tick allocates nothing.
    class MainQueue final : public DispatchQueue {
    public:
        MainQueue();
        ~MainQueue() override;
        MainQueue(const MainQueue&) = delete;
        MainQueue& operator=(const MainQueue&) = delete;
        void async(std::function<void()> work) override;
        void asyncAfter(double seconds, std::function<void()> work) override;
        std::size_t drain(double waitSeconds);

    private:
        struct Shared;
        std::unique_ptr<Shared> shared_;
    };
    class InlineQueue final : public DispatchQueue {
    public:
        void async(std::function<void()> work) override { work(); }
        void asyncAfter(double, std::function<void()>) override { }
    };

    std::string stateOutput_;
    Date now_ { 800'000'000.0 };
    std::string title_;
    Menu menu_;
    std::optional<std::int64_t> durationMinutes_;
    std::optional<bool> automatic_;
    int alertsShown_ = 0;
    MainQueue mainQueue_;
    InlineQueue globalQueue_;
    std::unique_ptr<Platform> seam_;
};

} // namespace lintara::bench
