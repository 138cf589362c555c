// SPDX-License-Identifier: MIT
// Running the VPN tool off the main thread: the state query with its
// watchdog, the disconnect, and the handlers that apply their results.
//
// The background steps are free functions on purpose: they get what they need
// by value when the job is submitted, so they cannot read a controller field.
#include "Lintara.hpp"
#include "stateQuery.hpp"
#include "toolOutput.hpp"

#include <utility>

namespace lintara {

namespace {
    // A state query that takes longer than this is asked to end.
    constexpr double stateQueryTimeLimit = 8.0;
    // A disconnect gets far longer, since tearing down a tunnel can be slow,
    // but not forever: while it runs, no query and no other disconnect can
    // start, so a tool that never returns would freeze Lintara for good.
    constexpr double disconnectTimeLimit = 60.0;

    struct ToolRun {
        std::shared_ptr<Process> process;
        std::shared_ptr<Pipe> pipe;
        DispatchQueue* main = nullptr;
        DispatchQueue* watchdogQueue = nullptr;
    };

    // Builds the child for one run: the tool, one word, one pipe for both
    // output streams. Main thread.
    ToolRun prepareRun(ProcessFactory& processes, Dispatch& dispatch, const std::string& path, const char* word,
        ChildLifetime lifetime)
    {
        ToolRun run;
        run.process = processes.makeProcess();
        run.pipe = processes.makePipe();
        run.process->setExecutablePath(path);
        run.process->setArguments({ word });
        run.process->setLifetime(lifetime);
        run.process->setStandardOutput(run.pipe);
        run.process->setStandardError(run.pipe);
        run.main = &dispatch.main();
        run.watchdogQueue = &dispatch.global(QualityOfService::defaultClass);
        return run;
    }

    // Reads everything the tool prints as it comes, keeping what the caller
    // needs of it, then reaps the tool. A watchdog asks the tool to end once
    // the limit has passed, if it is still running by then; it is taken back
    // once the tool has been reaped, since nearly every run ends in
    // milliseconds and a watchdog left to fire would wake two threads every
    // poll only to find nothing to do. Background.
    ToolOutput collectOutput(const ToolRun& run, double timeLimit)
    {
        const auto watchdog = run.watchdogQueue->asyncAfterCancellable(timeLimit, [process = run.process] {
            if (process->isRunning()) {
                process->terminate();
            }
        });
        ToolOutput output;
        run.pipe->readDataToEndOfFile([&output](std::string_view piece) { output.append(piece); });
        run.process->waitUntilExit();
        watchdog->cancel();
        return output;
    }

    // Background: never touches the controller; hands one outcome to deliver
    // on the main queue. A launch failure reads as an unreadable state, and
    // carries its reason along for the log.
    void runStateQuery(const ToolRun& run, std::function<void(const StateQueryOutcome&)> deliver)
    {
        StateQueryOutcome outcome;
        outcome.launchError = run.process->launch();
        if (!outcome.launchError) {
            ToolOutput output = collectOutput(run, stateQueryTimeLimit);
            outcome.terminationStatus = run.process->terminationStatus();
            outcome.reading = output.state();
            outcome.outputBytes = output.size();
            outcome.output = output.takeText();
        }
        run.main->async([deliver = std::move(deliver), outcome = std::move(outcome)] { deliver(outcome); });
    }

    struct DisconnectOutcome {
        std::optional<LaunchError> launchError;
        std::int32_t terminationStatus = 0;
        std::string text;
    };

    // Background: never touches the controller; hands one outcome to deliver
    // on the main queue.
    void runDisconnect(const ToolRun& run, std::function<void(const DisconnectOutcome&)> deliver)
    {
        DisconnectOutcome outcome;
        outcome.launchError = run.process->launch();
        if (!outcome.launchError) {
            outcome.text = collectOutput(run, disconnectTimeLimit).takeText();
            outcome.terminationStatus = run.process->terminationStatus();
        }
        run.main->async([deliver = std::move(deliver), outcome = std::move(outcome)] { deliver(outcome); });
    }

} // namespace

void AppDelegate::pollVPN()
{
    if (polling) {
        return;
    }
    if (busy) {
        return;
    }
    polling = true;
    queryState(platform_.processes, platform_.dispatch, vpnPath,
        [this](const StateQueryOutcome& outcome) { handlePollResult(outcome); });
}

void queryState(ProcessFactory& processes, Dispatch& dispatch, const std::string& path,
    std::function<void(const StateQueryOutcome&)> deliver)
{
    // Nobody waits for a reading once Lintara has gone.
    ToolRun run = prepareRun(processes, dispatch, path, "state", ChildLifetime::endsWithApplication);
    dispatch.global(QualityOfService::utility).async([run = std::move(run), deliver = std::move(deliver)]() mutable {
        runStateQuery(run, std::move(deliver));
    });
}

void AppDelegate::handlePollResult(const StateQueryOutcome& outcome)
{
    polling = false;
    const std::optional<bool> reading = outcome.reading;
    // Once per change, not once per poll: a tool that stays missing would
    // otherwise write a line every five seconds.
    if (!reading && !unreadable) {
        platform_.log.write(LogLevel::warning, "VPN state unreadable: " + describeUnreadable(vpnPath, outcome));
    } else if (reading && unreadable) {
        platform_.log.write(
            LogLevel::info, std::string("VPN state readable again: ") + (*reading ? "connected" : "disconnected"));
    }
    unreadable = !reading;
    if (!reading) {
        // Unreadable: keep what we knew, so a passing failure neither starts
        // nor cancels anything.
        status = "VPN 상태를 읽을 수 없음";
    } else {
        const std::optional<bool> old = connected;
        connected = reading;
        if (*reading) {
            // Only a change to connected starts a countdown by itself, so a
            // cancelled countdown stays cancelled while the VPN stays up.
            if (old != true && automatic && !busy) {
                schedule(selectedMinutes);
            }
        } else {
            deadline.reset();
            status = "다음 VPN 연결 대기 중";
        }
    }
    render();
}

void AppDelegate::disconnect()
{
    busy = true;
    // What the person asked for: left to finish even if Lintara ends first.
    ToolRun run = prepareRun(
        platform_.processes, platform_.dispatch, vpnPath, "disconnect", ChildLifetime::outlivesApplication);
    platform_.dispatch.global(QualityOfService::utility).async([run = std::move(run), this] {
        runDisconnect(run, [this](const DisconnectOutcome& outcome) {
            if (outcome.launchError) {
                handleDisconnectLaunchFailure(*outcome.launchError);
            } else {
                handleDisconnectCompletion(outcome.terminationStatus, outcome.text);
            }
        });
    });
}

void AppDelegate::handleDisconnectCompletion(std::int32_t terminationStatus, const std::string& text)
{
    busy = false;
    platform_.log.write(terminationStatus == 0 ? LogLevel::info : LogLevel::warning,
        "disconnect: " + vpnPath + " disconnect exited with status " + std::to_string(terminationStatus));
    if (terminationStatus == 0 && connected == true) {
        // The tool says the tunnel is down, though no query has seen it yet.
        // Should the next query find it up again (a client that reconnects by
        // itself, or a person who did), that is a new connection and earns a
        // new countdown, not "still connected". After a failure nothing
        // changes: the alert has said so, and trying again unasked would
        // surprise.
        connected.reset();
    }
    status = terminationStatus == 0 ? "연결 해제 명령 완료" : "연결 해제 오류";
    render();
    const std::string message = text.empty() ? "종료 코드: " + std::to_string(terminationStatus) : text;
    showMessage(status, message);
}

void AppDelegate::handleDisconnectLaunchFailure(const LaunchError& error)
{
    busy = false;
    platform_.log.write(LogLevel::warning, "disconnect could not start: " + error.localizedDescription);
    status = "연결 해제 오류";
    render();
    showMessage(status, error.localizedDescription);
}

} // namespace lintara
