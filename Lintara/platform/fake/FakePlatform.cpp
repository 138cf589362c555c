// SPDX-License-Identifier: MIT
#include "FakePlatform.hpp"

#include "Lintara/Lintara.hpp"
#include "Lintara/text.hpp"
#include "Lintara/toolOutput.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace lintara::fake {

namespace {

    class FakeButton final : public StatusButton {
    public:
        explicit FakeButton(std::function<void(const std::string&)> onTitle)
            : onTitle_(std::move(onTitle))
        {
        }
        void setTitle(const std::string& title) override { onTitle_(title); }

    private:
        std::function<void(const std::string&)> onTitle_;
    };

    class FakeItem final : public StatusItem::Backend {
    public:
        FakeItem(std::optional<FakeButton> button, std::function<void(Menu)> onMenu)
            : button_(std::move(button))
            , onMenu_(std::move(onMenu))
        {
        }
        StatusButton* button() override { return button_ ? &*button_ : nullptr; }
        void setMenu(const Menu& menu) override { onMenu_(menu); }

    private:
        std::optional<FakeButton> button_;
        std::function<void(Menu)> onMenu_;
    };

    class FakeTimerHandle final : public Timer::Backend {
    public:
        FakeTimerHandle(std::function<void()> onStop, std::function<void(double)> onFireAfter)
            : onStop_(std::move(onStop))
            , onFireAfter_(std::move(onFireAfter))
        {
        }
        ~FakeTimerHandle() override { onStop_(); }
        void fireAfter(double seconds) override { onFireAfter_(seconds); }
        FakeTimerHandle(const FakeTimerHandle&) = delete;
        FakeTimerHandle& operator=(const FakeTimerHandle&) = delete;
        FakeTimerHandle(FakeTimerHandle&&) = delete;
        FakeTimerHandle& operator=(FakeTimerHandle&&) = delete;

    private:
        std::function<void()> onStop_;
        std::function<void(double)> onFireAfter_;
    };

    class FakePipe final : public Pipe {
    public:
        std::function<std::string()> read;
        // The scripted output comes in one piece.
        void readDataToEndOfFile(const std::function<void(std::string_view)>& consume) override
        {
            if (!read) {
                throw FakePlatformMisuse("pipe read before a launched process was attached to it");
            }
            consume(read());
        }
    };

    std::string describe(const SettingValue& value)
    {
        if (const bool* flag = std::get_if<bool>(&value)) {
            return *flag ? "true" : "false";
        }
        if (const std::int64_t* integer = std::get_if<std::int64_t>(&value)) {
            return std::to_string(*integer);
        }
        if (const double* real = std::get_if<double>(&value)) {
            return std::to_string(*real);
        }
        return "\"" + std::get<std::string>(value) + "\"";
    }

} // namespace

class FakePlatform::Impl final : public Application,
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
    explicit Impl(FakePlatform& fake)
        : fake_(fake)
        , main_(*this, Lane::main)
        , global_(*this, Lane::global)
    {
    }

    // Application
    void setActivationPolicy(ActivationPolicy policy) override { fake_.activationPolicy_ = policy; }
    void setDelegate(ApplicationDelegate* delegate) override { fake_.delegate_ = delegate; }
    void run() override
    {
        // The loop itself is the test; finishing the launch is all there is.
        ApplicationDelegate* delegate = fake_.delegate_;
        fake_.onMain([delegate] { delegate->applicationDidFinishLaunching(); });
    }
    void terminate() override
    {
        fake_.terminated_ = true;
        fake_.events_.emplace_back("terminate");
    }
    void activateIgnoringOtherApps(IgnoringOtherApps ignoring) override
    {
        if (ignoring == IgnoringOtherApps::yes) {
            ++fake_.activations_;
            fake_.events_.emplace_back("activate");
        }
    }

    // StatusBar
    StatusItem statusItemWithLength(double length) override
    {
        if (length != variableStatusItemLength) {
            throw FakePlatformMisuse("status item of fixed length");
        }
        ++fake_.statusItemsCreated_;
        std::optional<FakeButton> button;
        if (fake_.itemHasButton_) {
            button.emplace([this](const std::string& title) {
                fake_.titles_.push_back(title);
                fake_.titleTimes_.push_back(fake_.monotonic_);
                fake_.events_.push_back("title " + title);
            });
        }
        return StatusItem(std::make_unique<FakeItem>(std::move(button), [this](Menu menu) {
            fake_.menus_.push_back(std::move(menu));
            fake_.events_.emplace_back("menu");
        }));
    }

    // RunLoop
    Timer scheduledTimer(double interval, std::function<void()> callback, Repeats repeats) override
    {
        if (repeats != Repeats::yes || fake_.timer_) {
            throw FakePlatformMisuse("the fake models the one repeating timer only");
        }
        fake_.timer_ = RepeatingTimer { fake_.monotonic_, interval, 0, std::move(callback) };
        return Timer(std::make_unique<FakeTimerHandle>([this] { fake_.timer_.reset(); },
            [this](double seconds) {
                if (fake_.timer_) {
                    RepeatingTimer& timer = *fake_.timer_;
                    timer.start = fake_.monotonic_ + std::max(seconds, 0.0) - timer.interval;
                    timer.fired = 0;
                    fake_.events_.push_back("timer moved");
                }
            }));
    }

    // NotificationCenter
    void addObserver(Notification name, std::function<void()> callback) override
    {
        if (name == Notification::workspaceDidWake) {
            fake_.wakeObservers_.push_back(std::move(callback));
        }
    }

    // Clock
    Date now() override { return fake_.now(); }
    std::string shortTimeString(Date date) override { return FakePlatform::shortTime(date); }

    // SettingsStore
    std::int64_t integerForKey(std::string_view key) override
    {
        const auto found = fake_.settings_.find(key);
        if (found == fake_.settings_.end()) {
            return 0;
        }
        const SettingValue& value = found->second;
        if (const bool* flag = std::get_if<bool>(&value)) {
            return *flag ? 1 : 0;
        }
        if (const std::int64_t* integer = std::get_if<std::int64_t>(&value)) {
            return *integer;
        }
        if (const double* real = std::get_if<double>(&value)) {
            if (std::isfinite(*real) && std::fabs(*real) < 9.2e18) {
                return static_cast<std::int64_t>(*real);
            }
            return 0;
        }
        return parseInt64(trimWhitespaceAndNewlines(std::get<std::string>(value))).value_or(0);
    }
    std::optional<SettingValue> objectForKey(std::string_view key) override
    {
        const auto found = fake_.settings_.find(key);
        if (found == fake_.settings_.end()) {
            return std::nullopt;
        }
        return found->second;
    }
    void setInteger(std::int64_t value, std::string_view key) override { write(key, value); }
    void setBool(bool value, std::string_view key) override { write(key, value); }

    // Alerts
    ModalResponse runModal(const Alert& alert) override
    {
        fake_.alerts_.push_back(alert);
        fake_.events_.push_back("alert " + alert.messageText);
        Answer answer;
        if (!fake_.answers_.empty()) {
            answer = std::move(fake_.answers_.front());
            fake_.answers_.pop_front();
        } else if (alert.accessoryView) {
            throw FakePlatformMisuse("a dialog opened that the test gave no answer for");
        }
        if (answer.code < alertFirstButtonReturn
            || answer.code >= alertFirstButtonReturn + static_cast<long>(alert.buttons.size())) {
            answer.code = -1000; // closed some other way
        }
        ++fake_.modalDepth_;
        if (answer.whileOpen) {
            answer.whileOpen();
        }
        bool closedItself = false;
        if (answer.openFor > 0) {
            // The person takes this long to answer, unless the alert gives
            // way first at its closesAt.
            double target = fake_.monotonic_ + answer.openFor;
            if (alert.closesAt) {
                target = std::min(
                    target, fake_.monotonic_ + std::max(alert.closesAt->timeIntervalSince(fake_.now()), 0.0));
            }
            fake_.passTime(target, [] { return false; });
        }
        if (alert.closesAt && fake_.now() >= *alert.closesAt) {
            closedItself = true;
        }
        --fake_.modalDepth_;
        if (closedItself) {
            fake_.events_.push_back("alert closed itself");
            return ModalResponse { modalResponseAbort, answer.fieldText };
        }
        return ModalResponse { answer.code, answer.fieldText };
    }

    // Dispatch
    DispatchQueue& main() override { return main_; }
    DispatchQueue& global(QualityOfService /*qos*/) override { return global_; }

    // ProcessFactory
    std::shared_ptr<lintara::Process> makeProcess() override { return std::make_shared<Process>(fake_); }
    std::shared_ptr<lintara::Pipe> makePipe() override { return std::make_shared<FakePipe>(); }

    // RemoteControl
    void setHandler(std::function<RemoteResult(const RemoteCommand&)> perform) override
    {
        fake_.remoteHandler_ = std::move(perform);
    }
    void publish(const RemoteState& state) override { fake_.published_.push_back(state); }

    // Warnings
    void prepare() override { ++fake_.warningPreparations_; }
    void show(const Warning& warning, std::function<void(WarningAction)> chosen) override
    {
        fake_.warnings_.push_back(warning);
        fake_.warningChosen_ = std::move(chosen);
        fake_.warningShowing_ = true;
        fake_.events_.push_back("warn " + warning.body);
    }
    void withdraw() override
    {
        if (fake_.warningShowing_) {
            fake_.warningShowing_ = false;
            fake_.events_.emplace_back("withdraw warning");
        }
    }

    // Log
    void write(LogLevel level, std::string_view line) override
    {
        fake_.logLines_.push_back((level == LogLevel::warning ? "warning: " : "info: ") + std::string(line));
    }

private:
    enum class Lane { main, global };

    class Queue final : public DispatchQueue {
    public:
        Queue(Impl& impl, Lane lane)
            : impl_(impl)
            , lane_(lane)
        {
        }
        void async(std::function<void()> work) override
        {
            if (lane_ == Lane::main) {
                impl_.fake_.mainQueue_.push_back(std::move(work));
            } else {
                impl_.fake_.events_.emplace_back("background");
                impl_.fake_.backgroundQueue_.push_back(std::move(work));
            }
        }
        void asyncAfter(double seconds, std::function<void()> work) override
        {
            if (lane_ == Lane::main) {
                throw FakePlatformMisuse("delayed work on the main queue is not modelled");
            }
            FakePlatform& fake = impl_.fake_;
            fake.delayed_.push_back(Delayed { fake.monotonic_ + seconds, fake.order_++, std::move(work) });
        }

    private:
        Impl& impl_;
        Lane lane_;
    };

    class Process final : public lintara::Process {
    public:
        explicit Process(FakePlatform& fake)
            : fake_(fake)
        {
        }

        void setExecutablePath(std::string path) override { record_.executablePath = std::move(path); }
        void setArguments(std::vector<std::string> arguments) override { record_.arguments = std::move(arguments); }
        void setStandardOutput(std::shared_ptr<lintara::Pipe> pipe) override { output_ = std::move(pipe); }
        void setStandardError(std::shared_ptr<lintara::Pipe> pipe) override { error_ = std::move(pipe); }
        void setLifetime(ChildLifetime lifetime) override { record_.lifetime = lifetime; }

        std::optional<LaunchError> launch() override
        {
            if (index_) {
                throw FakePlatformMisuse("a process launched twice");
            }
            const std::string word = record_.arguments.empty() ? std::string() : record_.arguments.front();
            script_ = fake_.takeScript(word);
            record_.outputAndErrorShareOnePipe = output_ != nullptr && output_ == error_;
            index_ = fake_.runs_.size();
            fake_.events_.push_back("launch " + word);
            if (script_.launchError) {
                fake_.runs_.push_back(record_);
                return LaunchError { *script_.launchError };
            }
            record_.launched = true;
            record_.launchedAt = fake_.monotonic_;
            fake_.runs_.push_back(record_);
            if (auto* pipe = dynamic_cast<FakePipe*>(output_.get())) {
                pipe->read = [this] { return readAll(); };
            }
            return std::nullopt;
        }

        void waitUntilExit() override
        {
            if (!state().finished) {
                throw FakePlatformMisuse("waited on a child before reading its output to the end");
            }
        }
        std::int32_t terminationStatus() override
        {
            if (!state().finished) {
                throw FakePlatformMisuse("termination status of a running child");
            }
            return status_;
        }
        bool isRunning() override { return index_ && state().launched && !state().finished; }
        void terminate() override
        {
            if (!isRunning()) {
                return;
            }
            state().terminateRequested = true;
            status_ = script_.statusWhenTerminated;
            finish();
        }

    private:
        RunRecord& state() { return fake_.runs_.at(*index_); }

        std::string readAll()
        {
            if (!state().finished) {
                const double endsAt = state().launchedAt + script_.runsFor;
                if (std::isinf(script_.runsFor)) {
                    // A day of fake time is as good as forever, and keeps a
                    // test whose watchdog never comes from spinning for good.
                    constexpr double forever = 86400;
                    fake_.passTime(state().launchedAt + forever, [this] { return state().finished; });
                    if (!state().finished) {
                        throw FakePlatformMisuse("the tool hangs and nothing ever terminates it");
                    }
                } else {
                    fake_.passTime(endsAt, [this] { return state().finished; });
                    if (!state().finished) {
                        status_ = script_.terminationStatus;
                        finish();
                    }
                }
            }
            return script_.output;
        }

        void finish()
        {
            state().finished = true;
            state().finishedAt = fake_.monotonic_;
        }

        FakePlatform& fake_;
        RunRecord record_;
        std::optional<std::size_t> index_;
        ScriptedRun script_;
        std::int32_t status_ = 0;
        std::shared_ptr<lintara::Pipe> output_;
        std::shared_ptr<lintara::Pipe> error_;
    };

    void write(std::string_view key, SettingValue value)
    {
        fake_.events_.push_back("store " + std::string(key) + " " + describe(value));
        fake_.settingWrites_.emplace_back(std::string(key), value);
        fake_.settings_.insert_or_assign(std::string(key), std::move(value));
    }

    FakePlatform& fake_;
    Queue main_;
    Queue global_;
};

FakePlatform::FakePlatform()
    : impl_(std::make_unique<Impl>(*this))
{
    platform_ = std::make_unique<Platform>(Platform {
        .application = *impl_,
        .statusBar = *impl_,
        .runLoop = *impl_,
        .workspaceNotificationCenter = *impl_,
        .clock = *impl_,
        .standardUserDefaults = *impl_,
        .alerts = *impl_,
        .dispatch = *impl_,
        .processes = *impl_,
        .remote = *impl_,
        .warnings = *impl_,
        .log = *impl_,
    });
    const std::string disconnected = "  " + std::string(disconnectedStateLine) + "\n";
    scriptDefault("state", ScriptedRun::printing(disconnected));
    scriptDefault("disconnect", ScriptedRun::printing(disconnected));
}

FakePlatform::~FakePlatform() = default;

std::string FakePlatform::shortTime(Date date)
{
    const auto seconds = static_cast<long long>(std::floor(date.timeIntervalSinceReferenceDate));
    const long long ofDay = ((seconds % 86400) + 86400) % 86400;
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02lld:%02lld", ofDay / 3600, (ofDay / 60) % 60);
    return buffer;
}

void FakePlatform::onMain(const std::function<void()>& callback)
{
    if (mainDepth_ > 0 && modalDepth_ == 0) {
        throw FakePlatformMisuse("two main-thread operations overlapped");
    }
    if (modalDepth_ > 0) {
        throw FakePlatformMisuse("a main-thread callback arrived while a modal dialog was open");
    }
    ++mainDepth_;
    try {
        callback();
    } catch (...) {
        --mainDepth_;
        throw;
    }
    --mainDepth_;
}

double FakePlatform::nextTimerDue() const
{
    if (!timer_) {
        return std::numeric_limits<double>::infinity();
    }
    // A firing missed while the main thread was held is due at once.
    const double scheduled = timer_->start + static_cast<double>(timer_->fired + 1) * timer_->interval;
    return std::max(scheduled, monotonic_);
}

void FakePlatform::passTime(double target, const std::function<bool()>& done)
{
    auto moveTo = [this](double when) {
        if (when > monotonic_) {
            wall_ += when - monotonic_;
            monotonic_ = when;
        }
    };
    while (!done()) {
        const auto firstDelayed = std::min_element(delayed_.begin(), delayed_.end(),
            [](const Delayed& a, const Delayed& b) { return a.due < b.due || (a.due == b.due && a.order < b.order); });
        const double delayedDue
            = firstDelayed == delayed_.end() ? std::numeric_limits<double>::infinity() : firstDelayed->due;
        // The timer lives in the default run-loop mode: it cannot fire while a
        // dialog runs its own loop or another operation holds the main thread.
        // Its missed firings collapse into one when that is over.
        const bool mainThreadFree = modalDepth_ == 0 && mainDepth_ == 0;
        const double timerDue = mainThreadFree ? nextTimerDue() : std::numeric_limits<double>::infinity();
        const double due = std::min(delayedDue, timerDue);
        if (due > target || std::isinf(due)) {
            break;
        }
        moveTo(due);
        if (delayedDue <= timerDue) {
            std::function<void()> work = std::move(firstDelayed->work);
            delayed_.erase(firstDelayed);
            work();
            continue;
        }
        const auto periods
            = static_cast<std::uint64_t>(std::floor((monotonic_ - timer_->start) / timer_->interval + 1e-9));
        timer_->fired = std::max(timer_->fired + 1, periods);
        const std::function<void()> callback = timer_->callback;
        onMain(callback);
    }
    if (!done() && !std::isinf(target)) {
        moveTo(target);
    }
}

void FakePlatform::advance(double seconds)
{
    if (seconds < 0) {
        throw FakePlatformMisuse("time does not run backwards; use setWallClock");
    }
    passTime(monotonic_ + seconds, [] { return false; });
}

void FakePlatform::setWallClock(double secondsSinceReferenceDate) { wall_ = secondsSinceReferenceDate; }

void FakePlatform::runMain()
{
    if (modalDepth_ > 0) {
        return; // a dialog's loop runs no main-queue blocks
    }
    while (!mainQueue_.empty()) {
        std::function<void()> work = std::move(mainQueue_.front());
        mainQueue_.pop_front();
        onMain(work);
    }
}

void FakePlatform::runBackground()
{
    while (!backgroundQueue_.empty()) {
        std::function<void()> work = std::move(backgroundQueue_.front());
        backgroundQueue_.pop_front();
        work();
    }
}

void FakePlatform::settle()
{
    while (!backgroundQueue_.empty() || (!mainQueue_.empty() && modalDepth_ == 0)) {
        runBackground();
        runMain();
    }
}

void FakePlatform::start()
{
    if (controller_ != nullptr) {
        throw FakePlatformMisuse("started twice");
    }
    applicationMain(*platform_, controller_);
}

AppDelegate& FakePlatform::controller()
{
    if (controller_ == nullptr) {
        throw FakePlatformMisuse("no controller before start()");
    }
    return *controller_;
}

void FakePlatform::reopen(bool* answer)
{
    if (delegate_ == nullptr) {
        throw FakePlatformMisuse("reopened before start()");
    }
    ApplicationDelegate& target = *delegate_;
    onMain([&] {
        const bool result = target.applicationShouldHandleReopen();
        if (answer != nullptr) {
            *answer = result;
        }
    });
}

void FakePlatform::wake()
{
    events_.emplace_back("wake");
    for (const auto& observer : wakeObservers_) {
        onMain(observer);
    }
}

const Menu& FakePlatform::menu() const
{
    if (menus_.empty()) {
        throw FakePlatformMisuse("no menu has been attached");
    }
    return menus_.back();
}

const MenuItem& FakePlatform::menuItem(std::string_view title) const
{
    for (const MenuItem& item : menu().items) {
        if (!item.isSeparator && item.title == title) {
            return item;
        }
    }
    throw FakePlatformMisuse("no menu entry titled " + std::string(title));
}

void FakePlatform::choose(std::string_view title)
{
    const MenuItem chosen = menuItem(title);
    events_.push_back("choose " + chosen.title);
    onMain([&] { menu().choose(chosen); });
}

void FakePlatform::remote(RemoteCommand command)
{
    mainQueue_.push_back([this, command] {
        if (!remoteHandler_) {
            throw FakePlatformMisuse("a remote command before the controller took them");
        }
        remoteResults_.push_back(remoteHandler_(command));
    });
}

void FakePlatform::chooseWarningAction(WarningAction action)
{
    if (!warningChosen_) {
        throw FakePlatformMisuse("no warning has been shown");
    }
    events_.emplace_back("choose warning action");
    const std::function<void(WarningAction)> chosen = warningChosen_;
    onMain([&] { chosen(action); });
}

void FakePlatform::script(const std::string& word, ScriptedRun run) { scripts_[word].push_back(std::move(run)); }

void FakePlatform::scriptDefault(const std::string& word, ScriptedRun run) { defaultScripts_[word] = std::move(run); }

ScriptedRun FakePlatform::takeScript(const std::string& word)
{
    auto queued = scripts_.find(word);
    if (queued != scripts_.end() && !queued->second.empty()) {
        ScriptedRun run = std::move(queued->second.front());
        queued->second.pop_front();
        return run;
    }
    const auto fallback = defaultScripts_.find(word);
    if (fallback == defaultScripts_.end()) {
        throw FakePlatformMisuse("no script for the tool's word " + word);
    }
    return fallback->second;
}

std::size_t FakePlatform::runsOf(std::string_view word) const
{
    return static_cast<std::size_t>(std::count_if(runs_.begin(), runs_.end(),
        [&](const RunRecord& run) { return !run.arguments.empty() && run.arguments.front() == word; }));
}

std::size_t FakePlatform::processesRunning() const
{
    return static_cast<std::size_t>(
        std::count_if(runs_.begin(), runs_.end(), [](const RunRecord& run) { return run.launched && !run.finished; }));
}

} // namespace lintara::fake
