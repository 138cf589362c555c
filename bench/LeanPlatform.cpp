// SPDX-License-Identifier: MIT
#include "LeanPlatform.hpp"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace lintara::bench {

namespace {

    class Button final : public StatusButton {
    public:
        explicit Button(std::string& title)
            : title_(title)
        {
        }
        void setTitle(const std::string& title) override { title_ = title; }

    private:
        std::string& title_;
    };

    class ItemBackend final : public StatusItem::Backend {
    public:
        ItemBackend(std::string& title, Menu& menu)
            : button_(title)
            , menu_(menu)
        {
        }
        StatusButton* button() override { return &button_; }
        void setMenu(const Menu& menu) override { menu_ = menu; }

    private:
        Button button_;
        Menu& menu_;
    };

    class NoTimer final : public Timer::Backend {
    public:
        void fireAfter(double /*seconds*/) override { }
    };

    // A tool that has already finished: launching it succeeds, it has ended,
    // and it printed the output given.
    class FinishedProcess final : public Process {
    public:
        void setExecutablePath(std::string) override { }
        void setArguments(std::vector<std::string>) override { }
        void setStandardOutput(std::shared_ptr<Pipe>) override { }
        void setStandardError(std::shared_ptr<Pipe>) override { }
        void setLifetime(ChildLifetime) override { }
        std::optional<LaunchError> launch() override { return std::nullopt; }
        void waitUntilExit() override { }
        std::int32_t terminationStatus() override { return 0; }
        bool isRunning() override { return false; }
        void terminate() override { }
    };

    class FixedPipe final : public Pipe {
    public:
        explicit FixedPipe(const std::string& output)
            : output_(output)
        {
        }
        void readDataToEndOfFile(const std::function<void(std::string_view)>& consume) override { consume(output_); }

    private:
        const std::string& output_;
    };

} // namespace

struct LeanPlatform::MainQueue::Shared {
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<std::function<void()>> blocks;
};

LeanPlatform::MainQueue::MainQueue()
    : shared_(std::make_unique<Shared>())
{
}

LeanPlatform::MainQueue::~MainQueue() = default;

void LeanPlatform::MainQueue::async(std::function<void()> work)
{
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->blocks.push_back(std::move(work));
    }
    shared_->posted.notify_one();
}

void LeanPlatform::MainQueue::asyncAfter(double, std::function<void()> work)
{
    // The controller never delays work on the main queue; should it start
    // to, running it at the next drain is the closest a measuring platform
    // without time can come.
    async(std::move(work));
}

std::size_t LeanPlatform::MainQueue::drain(double waitSeconds)
{
    std::size_t ran = 0;
    std::unique_lock lock(shared_->mutex);
    if (waitSeconds > 0) {
        shared_->posted.wait_for(
            lock, std::chrono::duration<double>(waitSeconds), [this] { return !shared_->blocks.empty(); });
    }
    while (!shared_->blocks.empty()) {
        std::function<void()> block = std::move(shared_->blocks.front());
        shared_->blocks.pop_front();
        lock.unlock();
        block();
        ++ran;
        lock.lock();
    }
    return ran;
}

LeanPlatform::LeanPlatform(std::string stateOutput)
    : stateOutput_(std::move(stateOutput))
{
    (void)platform(*this, *this);
}

Platform& LeanPlatform::platform(Dispatch& dispatch, ProcessFactory& processes)
{
    seam_ = std::make_unique<Platform>(Platform {
        .application = *this,
        .statusBar = *this,
        .runLoop = *this,
        .workspaceNotificationCenter = *this,
        .clock = *this,
        .standardUserDefaults = *this,
        .alerts = *this,
        .dispatch = dispatch,
        .processes = processes,
        .remote = *this,
        .warnings = *this,
        .log = *this,
    });
    return *seam_;
}

StatusItem LeanPlatform::statusItemWithLength(double)
{
    return StatusItem(std::make_unique<ItemBackend>(title_, menu_));
}

Timer LeanPlatform::scheduledTimer(double, std::function<void()>, Repeats)
{
    // The caller calls tick() itself, as often as it measures.
    return Timer(std::make_unique<NoTimer>());
}

std::string LeanPlatform::shortTimeString(Date date)
{
    // Hours and minutes of the instant in UTC: the cost of a short string,
    // without a locale's.
    const auto minutes = static_cast<long long>(date.timeIntervalSinceReferenceDate / 60);
    const long long hour = minutes / 60 % 24;
    const long long minute = minutes % 60;
    std::string text = std::to_string(hour) + ":";
    if (minute < 10) {
        text += '0';
    }
    return text + std::to_string(minute);
}

std::int64_t LeanPlatform::integerForKey(std::string_view key)
{
    return key == "durationMinutes" ? durationMinutes_.value_or(0) : 0;
}

std::optional<SettingValue> LeanPlatform::objectForKey(std::string_view key)
{
    if (key == "durationMinutes" && durationMinutes_) {
        return *durationMinutes_;
    }
    if (key == "automatic" && automatic_) {
        return *automatic_;
    }
    return std::nullopt;
}

void LeanPlatform::setInteger(std::int64_t value, std::string_view key)
{
    if (key == "durationMinutes") {
        durationMinutes_ = value;
    }
}

void LeanPlatform::setBool(bool value, std::string_view key)
{
    if (key == "automatic") {
        automatic_ = value;
    }
}

ModalResponse LeanPlatform::runModal(const Alert&)
{
    ++alertsShown_;
    return ModalResponse {};
}

std::shared_ptr<Process> LeanPlatform::makeProcess() { return std::make_shared<FinishedProcess>(); }

std::shared_ptr<Pipe> LeanPlatform::makePipe() { return std::make_shared<FixedPipe>(stateOutput_); }

} // namespace lintara::bench
