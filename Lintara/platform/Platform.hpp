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
//    choice, reopen, launch, blocks posted to the main queue) runs on the one
//    main thread, one at a time, never nested except inside a modal dialog
//    that the controller itself opened.
//  - While a modal dialog is open (Alerts::runModal), no timer callback and no
//    main-queue block runs; they wait until it has closed.
//  - Blocks posted to a global queue run on some other thread. They receive
//    only what they captured and must not touch the controller.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace lintara {

class AppDelegate;

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

// ---------------------------------------------------------------- application

enum class ActivationPolicy { regular = 0, accessory = 1, prohibited = 2 };

class Application {
public:
    virtual ~Application() = default;

    virtual void setActivationPolicy(ActivationPolicy policy) = 0;
    // The delegate receives applicationDidFinishLaunching once run() has the
    // loop going, and applicationShouldHandleReopen when the user opens the
    // running application again.
    virtual void setDelegate(AppDelegate* delegate) = 0;
    // Runs the main loop on the calling thread. Returns only if the loop ends
    // without terminate() (a binding torn down in a test, for instance).
    virtual void run() = 0;
    // Ends the application and the process. Does not return in a real binding.
    virtual void terminate() = 0;
    // Brings the application in front of whatever is active, so that a dialog
    // it opens next is seen and receives typing.
    virtual void activateIgnoringOtherApps(bool flag) = 0;
};

// ------------------------------------------------------------------ the menu

// What a menu entry does when chosen. Bindings that dispatch by name use
// selectorName(); the others hand the chosen entry to sendAction().
enum class Action { none, toggleAutomatic, preset, customDuration, cancelTimer, quitApp };

[[nodiscard]] constexpr std::string_view selectorName(Action action)
{
    switch (action) {
    case Action::none: return "";
    case Action::toggleAutomatic: return "toggleAutomatic";
    case Action::preset: return "preset:";
    case Action::customDuration: return "customDuration";
    case Action::cancelTimer: return "cancelTimer";
    case Action::quitApp: return "quitApp";
    }
    return "";
}

enum class ControlState { off = 0, on = 1 };

struct MenuItem {
    bool isSeparator = false;
    std::string title;
    Action action = Action::none;
    std::string keyEquivalent;
    AppDelegate* target = nullptr;
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
    // Whether choosing the entry may reach its target: an unset flag keeps the
    // platform default, which is enabled.
    [[nodiscard]] bool isEnabled() const { return enabled.value_or(true); }
};

// Plain data that the controller builds anew on every render. A binding draws
// it and reports back only which entry was chosen.
struct Menu {
    std::vector<MenuItem> items;
    bool autoenablesItems = true;

    void addItem(MenuItem item) { items.push_back(std::move(item)); }
    void setAutoenablesItems(bool flag) { autoenablesItems = flag; }
};

// Delivers a chosen menu entry to its target, as the platform would by
// selector. Entries that are disabled, or have no action or target, are
// ignored, so a binding may pass along whatever the user clicked.
// Main thread only.
void sendAction(const MenuItem& sender);

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
        // Replaces the previous menu whole.
        virtual void setMenu(Menu menu) = 0;
    };

    explicit StatusItem(std::unique_ptr<Backend> backend)
        : backend_(std::move(backend))
    {
    }

    [[nodiscard]] StatusButton* button() const { return backend_->button(); }
    void setMenu(Menu menu) const { backend_->setMenu(std::move(menu)); }

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

class DispatchQueue {
public:
    virtual ~DispatchQueue() = default;
    virtual void async(std::function<void()> work) = 0;
    // Runs work no sooner than the given number of seconds from now, on the
    // monotonic clock.
    virtual void asyncAfter(double seconds, std::function<void()> work) = 0;
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
};

} // namespace lintara
