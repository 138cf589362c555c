// SPDX-License-Identifier: MIT
// The seam between the controller and whatever platform hosts it.
//
// Each interface mirrors the handful of platform operations the controller
// uses, at the level it uses them, so that the controller reads like a
// description of what it asks the platform to do. A binding implements these
// interfaces once, builds a Platform from them in its main(), and hands that to
// applicationMain(). Nothing in here names a toolkit.
//
// Threading contract, which every binding must keep:
//  - Every callback a binding makes into the controller (timer, wake, menu
//    choice, remote command, reopen, launch, blocks posted to the main queue)
//    runs on the one main thread, one at a time, never nested except inside
//    a modal dialog that the controller itself opened.
//  - While a modal dialog is open (Alerts::runModal), no timer callback and no
//    main-queue block runs; they wait until it has closed.
//  - Blocks posted to a global queue run on some other thread. They receive
//    only what they captured and must not touch the controller.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace lintara {

// An absolute wall-clock instant, as seconds from a fixed reference epoch.
// Wall-clock rather than monotonic on purpose: time spent asleep counts, and a
// deadline compares against what the user's clock says.
struct Date {
    double timeIntervalSinceReferenceDate = 0;

    [[nodiscard]] Date addingTimeInterval(double seconds) const
    {
        return Date { timeIntervalSinceReferenceDate + seconds };
    }
    [[nodiscard]] double timeIntervalSince(Date other) const
    {
        return timeIntervalSinceReferenceDate - other.timeIntervalSinceReferenceDate;
    }
    // clang-tidy 14 mistakes the defaulted comparison for a null literal.
    friend auto operator<=>(const Date&, const Date&) = default; // NOLINT(modernize-use-nullptr)
};

// Seconds between the Unix epoch and the reference date that Date counts from
// (2001-01-01 00:00:00 UTC).
inline constexpr double unixTimeOfReferenceDate = 978307200.0;

// ---------------------------------------------------------------- application

enum class ActivationPolicy { regular = 0, accessory = 1, prohibited = 2 };

enum class IgnoringOtherApps { no, yes };

// What the application tells whoever runs on it.
class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;
    // Once, when run() has the loop going.
    virtual void applicationDidFinishLaunching() = 0;
    // Each time the user opens the running application again. The answer says
    // whether the platform should go on with its own reopening (showing a
    // window, say).
    virtual bool applicationShouldHandleReopen() = 0;
};

class Application {
public:
    virtual ~Application() = default;

    virtual void setActivationPolicy(ActivationPolicy policy) = 0;
    // The delegate outlives the loop; the application does not own it.
    virtual void setDelegate(ApplicationDelegate* delegate) = 0;
    // Runs the main loop on the calling thread. Returns only if the loop ends
    // without terminate() (a binding torn down in a test, for instance).
    virtual void run() = 0;
    // Ends the application and the process. Does not return in a real binding.
    virtual void terminate() = 0;
    // Brings the application forward, so that a dialog it opens next is seen
    // and receives typing: in front of whatever is active with
    // IgnoringOtherApps::yes, only if nothing else is with no.
    virtual void activateIgnoringOtherApps(IgnoringOtherApps ignoring) = 0;
};

// ------------------------------------------------------------------ the menu

// What a menu entry does when chosen.
enum class Action { none, toggleAutomatic, preset, customDuration, cancelTimer, quitApp };

enum class ControlState { off = 0, on = 1 };

struct MenuItem {
    bool isSeparator = false;
    std::string title;
    Action action = Action::none;
    std::string keyEquivalent;
    // Absent means "never set", which is not the same as set to 0 or off:
    // bindings leave the toolkit's default in place for an unset attribute.
    std::optional<std::int64_t> tag;
    std::optional<ControlState> state;
    std::optional<bool> enabled;

    static MenuItem separatorItem()
    {
        MenuItem separator;
        separator.isSeparator = true;
        return separator;
    }
    // An unset flag keeps the platform default, which is enabled.
    [[nodiscard]] bool isEnabled() const { return enabled.value_or(true); }

    friend bool operator==(const MenuItem&, const MenuItem&) = default;
};

enum class AutoenablesItems { no, yes };

// Plain data that the controller brings up to date on every render. A binding draws
// it and reports the entry the user chose through choose() or choice(), never
// by calling onChoose itself, so that one rule decides on every platform what
// a choice does.
struct Menu {
    std::vector<MenuItem> items;
    AutoenablesItems autoenablesItems = AutoenablesItems::yes;
    // Receives the chosen entry, on the main thread.
    std::function<void(const MenuItem&)> onChoose;

    void addItem(MenuItem item) { items.push_back(std::move(item)); }
    void setAutoenablesItems(AutoenablesItems value) { autoenablesItems = value; }

    // Whether an entry has somewhere to go: an action, and a menu that takes
    // choices.
    [[nodiscard]] bool leadsSomewhere(const MenuItem& item) const
    {
        return item.action != Action::none && static_cast<bool>(onChoose);
    }

    // What choosing the entry does, to run now or to post to the main queue;
    // empty for an entry that is disabled or leads nowhere, so a binding may
    // pass along whatever the user clicked. The work holds copies of the entry
    // and of onChoose: it hands over the entry as the user saw it, and outlives
    // this menu, which the choice itself may replace.
    [[nodiscard]] std::function<void()> choice(const MenuItem& item) const
    {
        if (!leadsSomewhere(item) || !item.isEnabled()) {
            return {};
        }
        return [onChoose = onChoose, item] { onChoose(item); };
    }

    // Runs choice(item) at once, and says whether there was anything to run.
    // Main thread only.
    bool choose(const MenuItem& item) const
    {
        const std::function<void()> work = choice(item);
        if (!work) {
            return false;
        }
        work();
        return true;
    }
};

// ------------------------------------------------------------ the status item

class StatusButton {
public:
    virtual ~StatusButton() = default;
    virtual void setTitle(const std::string& title) = 0;
};

// One item in the system's status area. Destroying the handle removes it.
class StatusItem {
public:
    class Backend {
    public:
        virtual ~Backend() = default;
        // May be null: some hosts give an item without a text button.
        virtual StatusButton* button() = 0;
        // Replaces the previous menu whole. The menu is the controller's and
        // changes after the call: a binding keeps a copy of what it needs.
        virtual void setMenu(const Menu& menu) = 0;
    };

    explicit StatusItem(std::unique_ptr<Backend> backend)
        : backend_(std::move(backend))
    {
    }

    [[nodiscard]] StatusButton* button() const { return backend_->button(); }
    void setMenu(const Menu& menu) const { backend_->setMenu(menu); }

private:
    std::unique_ptr<Backend> backend_;
};

inline constexpr double variableStatusItemLength = -1.0;

class StatusBar {
public:
    virtual ~StatusBar() = default;
    virtual StatusItem statusItemWithLength(double length) = 0;
};

// ---------------------------------------------------- timers and notifications

// A scheduled timer. Destroying the handle stops it.
class Timer {
public:
    class Backend {
    public:
        virtual ~Backend() = default;
        virtual void fireAfter(double seconds) = 0;
    };
    explicit Timer(std::unique_ptr<Backend> backend)
        : backend_(std::move(backend))
    {
    }

    // Moves a repeating timer's phase: the next firing comes the given number
    // of seconds from now (at once if zero or less), and the later ones follow
    // it at the timer's interval.
    void fireAfter(double seconds) const { backend_->fireAfter(seconds); }

private:
    std::unique_ptr<Backend> backend_;
};

enum class Repeats { no, yes };

class RunLoop {
public:
    virtual ~RunLoop() = default;
    // A timer on the main loop, in its default mode only: it does not fire
    // while a modal dialog is open. A repeating timer's n-th firing is due at
    // start + n × interval; a late firing does not push back the later ones.
    virtual Timer scheduledTimer(double interval, std::function<void()> callback, Repeats repeats) = 0;
};

enum class Notification { workspaceDidWake };

class NotificationCenter {
public:
    virtual ~NotificationCenter() = default;
    // The callback runs on the main thread each time the notification is
    // posted. The registration lasts as long as the centre does.
    virtual void addObserver(Notification name, std::function<void()> callback) = 0;
};

// ----------------------------------------------------------------- the clock

class Clock {
public:
    virtual ~Clock() = default;
    [[nodiscard]] virtual Date now() = 0;
    // The time of day of an instant in the user's locale and time zone, in the
    // locale's short style: hours and minutes, no date ("오후 3:04", "3:04 PM").
    [[nodiscard]] virtual std::string shortTimeString(Date date) = 0;
};

// ------------------------------------------------------------ settings store

// What a per-user preferences store can hand back: it may hold a value of a
// kind the reader did not write, so readers must check.
using SettingValue = std::variant<bool, std::int64_t, double, std::string>;

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored value as an integer; 0 when there is none or it cannot be
    // read as one.
    [[nodiscard]] virtual std::int64_t integerForKey(std::string_view key) = 0;
    [[nodiscard]] virtual std::optional<SettingValue> objectForKey(std::string_view key) = 0;
    // Each write is kept across restarts without any further call. A write
    // that cannot be kept fails quietly; callers rely on the value they hold.
    virtual void setInteger(std::int64_t value, std::string_view key) = 0;
    virtual void setBool(bool value, std::string_view key) = 0;
};

// ------------------------------------------------------------------ alerts

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct TextField {
    std::string stringValue;
    Rect frame;
};

enum class FirstResponder { defaultButton, accessoryView };

inline constexpr long alertFirstButtonReturn = 1000;
inline constexpr long alertSecondButtonReturn = 1001;
// What an alert that closed itself at its closesAt answers.
inline constexpr long modalResponseAbort = -1001;

// A modal alert: a bold message, a smaller informative text, an optional text
// field below them, and buttons in the order added. The first button is the
// default one, which Return activates.
struct Alert {
    std::string messageText;
    std::string informativeText;
    std::optional<TextField> accessoryView;
    std::vector<std::string> buttons;
    FirstResponder initialFirstResponder = FirstResponder::defaultButton;
    // When set, the alert closes itself once the wall clock reaches this
    // instant, answering modalResponseAbort, even though nobody answered it.
    // Whatever runs at that instant must not wait for a person who walked away.
    std::optional<Date> closesAt;

    void addButtonWithTitle(std::string title) { buttons.push_back(std::move(title)); }
};

struct ModalResponse {
    // alertFirstButtonReturn + the index of the button that closed the alert.
    // Anything else (the window closed some other way) counts as cancel.
    long code = alertSecondButtonReturn;
    // The accessory field's text at the moment the alert closed.
    std::string fieldText;
};

class Alerts {
public:
    virtual ~Alerts() = default;
    // Shows the alert and does not return until the user has closed it, or it
    // has closed itself at alert.closesAt. No timer callback or main-queue
    // block runs meanwhile.
    virtual ModalResponse runModal(const Alert& alert) = 0;
};

// ------------------------------------------------------------------ dispatch

enum class QualityOfService { utility, defaultClass };

// A delayed block that can still be taken back. Once cancelled, it does not
// run unless it had already started; cancelling it later changes nothing.
class DispatchWorkItem {
public:
    virtual ~DispatchWorkItem() = default;
    virtual void cancel() = 0;
};

class DispatchQueue {
public:
    virtual ~DispatchQueue() = default;
    virtual void async(std::function<void()> work) = 0;
    // Runs work no sooner than the given number of seconds from now, on the
    // monotonic clock.
    virtual void asyncAfter(double seconds, std::function<void()> work) = 0;
    // asyncAfter, for a block that will usually turn out not to be needed. A
    // queue that can forget a cancelled block spares itself the wake-up at
    // its due time; this default still wakes then, and runs nothing.
    virtual std::shared_ptr<DispatchWorkItem> asyncAfterCancellable(double seconds, std::function<void()> work)
    {
        struct Flag final : DispatchWorkItem {
            std::atomic<bool> cancelled { false };
            void cancel() override { cancelled = true; }
        };
        auto flag = std::make_shared<Flag>();
        asyncAfter(seconds, [flag, work = std::move(work)] {
            if (!flag->cancelled) {
                work();
            }
        });
        return flag;
    }
};

class Dispatch {
public:
    virtual ~Dispatch() = default;
    // Blocks posted here run on the main thread, one at a time, in order.
    virtual DispatchQueue& main() = 0;
    // A concurrent queue whose blocks run on worker threads.
    virtual DispatchQueue& global(QualityOfService qos) = 0;
};

// ------------------------------------------------------- processes and pipes

struct LaunchError {
    // Says what failed and why, for the user: "/path/to/vpn: No such file or
    // directory".
    std::string localizedDescription;
};

class Pipe {
public:
    virtual ~Pipe() = default;
    // Blocks until every writer has closed the pipe, handing the bytes to
    // `consume` in pieces as they are read, in order, on the calling thread.
    // The pipe keeps none of them: what to keep of a long output, and so how
    // much memory it takes, is the reader's to decide.
    virtual void readDataToEndOfFile(const std::function<void(std::string_view)>& consume) = 0;
};

// Whether a child is ended when the application ends, by any way out: quit,
// exit(), or a signal the binding handles (SIGTERM, SIGHUP, SIGINT).
enum class ChildLifetime { endsWithApplication, outlivesApplication };

// A child process, configured, then launched once. isRunning() and
// terminate() may be called from another thread while a third waits on it.
class Process {
public:
    virtual ~Process() = default;
    virtual void setExecutablePath(std::string path) = 0;
    virtual void setArguments(std::vector<std::string> arguments) = 0;
    virtual void setStandardOutput(std::shared_ptr<Pipe> pipe) = 0;
    virtual void setStandardError(std::shared_ptr<Pipe> pipe) = 0;
    // Set before launch; a child outlives the application unless told
    // otherwise.
    virtual void setLifetime(ChildLifetime lifetime) = 0;
    // Starts the child. Nothing runs if it fails.
    [[nodiscard]] virtual std::optional<LaunchError> launch() = 0;
    virtual void waitUntilExit() = 0;
    // The exit code, or the number of the signal that ended the child.
    [[nodiscard]] virtual std::int32_t terminationStatus() = 0;
    [[nodiscard]] virtual bool isRunning() = 0;
    // Asks the child to end. A binding may follow up with force.
    virtual void terminate() = 0;
};

class ProcessFactory {
public:
    virtual ~ProcessFactory() = default;
    virtual std::shared_ptr<Process> makeProcess() = 0;
    virtual std::shared_ptr<Pipe> makePipe() = 0;
};

// ------------------------------------------------------------ remote control

// What another program of the same user may ask for: the operations of the
// menu and the custom dialog, under the same rules.
enum class RemoteVerb { start, cancel, setAutomatic, extend };

struct RemoteCommand {
    RemoteVerb verb = RemoteVerb::cancel;
    // start: the new duration; extend: how much later the deadline comes.
    std::int64_t minutes = 0;
    // setAutomatic: where the switch should stand.
    ControlState automatic = ControlState::off;
};

// The controller's answer. Anything but ok changed nothing.
enum class RemoteResult {
    ok,
    // Minutes outside the custom dialog's range, or a deadline pushed past it.
    invalidDuration,
    // A disconnect runs, and the menu has the matching entry disabled.
    busy,
    // There is no countdown to cancel or extend.
    noCountdown,
};

// What the controller shows, as plain values for readers elsewhere.
struct RemoteState {
    // Absent while no state query has been read.
    std::optional<bool> connected;
    // The deadline in Unix seconds, rounded up; 0 when there is none.
    std::int64_t deadline = 0;
    bool automatic = false;
    std::int64_t selectedMinutes = 0;
    std::string status;
    bool busy = false;
    // Changes every second while counting down; a reader works it out from
    // the deadline instead of being told.
    std::string title;

    friend bool operator==(const RemoteState&, const RemoteState&) = default;
};

class RemoteControl {
public:
    virtual ~RemoteControl() = default;
    // Called once, at launch. The binding runs perform for each command on the
    // main queue, gated exactly like a menu choice (never while a modal dialog
    // is open, never inside another operation), and hands the result back to
    // whoever asked.
    virtual void setHandler(std::function<RemoteResult(const RemoteCommand&)> perform) = 0;
    // The state as of the latest render. Called on every render, so a binding
    // compares with what it last had and announces a change only when a
    // value other than the title differs.
    virtual void publish(const RemoteState& state) = 0;
};

// ------------------------------------------------------------------ warnings

// What the person may do about a warning that the countdown is ending.
enum class WarningAction { extend, disconnectNow };

// A warning shown outside the status menu: a short summary, one sentence of
// body, and the actions in the order to offer them.
struct Warning {
    struct Choice {
        WarningAction action = WarningAction::extend;
        std::string title;
    };
    std::string summary;
    std::string body;
    std::vector<Choice> actions;
    // The deadline it announces. A binding whose warnings expire by
    // themselves must not let this one expire before it.
    Date deadline;
};

class Warnings {
public:
    virtual ~Warnings() = default;
    // A countdown that will warn has started. A binding that needs the
    // person's leave to show notifications asks for it here, the first time,
    // rather than at launch.
    virtual void prepare() = 0;
    // Shows the warning in place of any shown before. When the person chooses
    // one of its actions, the binding calls `chosen` with it on the main
    // queue, gated like a menu choice: never inside a modal dialog, never
    // overlapping another operation. A binding that cannot show the warning
    // its preferred way shows it some other way; it never drops one silently.
    virtual void show(const Warning& warning, std::function<void(WarningAction)> chosen) = 0;
    // Takes the warning away, if one shows. A choice already on its way may
    // still arrive; the controller ignores it.
    virtual void withdraw() = 0;
};

// ------------------------------------------------------------------ the log

enum class LogLevel { info, warning };

// The system's log, for whoever later looks into why something happened (a
// tool that would not start, a state that could not be read). It is never
// shown in the application's own UI. Each write is one line of text.
// Main thread only.
class Log {
public:
    virtual ~Log() = default;
    virtual void write(LogLevel level, std::string_view line) = 0;
};

// --------------------------------------------------------- the whole platform

// Everything a binding provides. The references outlive the controller.
struct Platform {
    Application& application;
    StatusBar& statusBar;
    RunLoop& runLoop;
    NotificationCenter& workspaceNotificationCenter;
    Clock& clock;
    SettingsStore& standardUserDefaults;
    Alerts& alerts;
    Dispatch& dispatch;
    ProcessFactory& processes;
    RemoteControl& remote;
    Warnings& warnings;
    Log& log;
};

} // namespace lintara
