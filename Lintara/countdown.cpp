// SPDX-License-Identifier: MIT
// The deadline and the tick that tests it, the warning before it, the choice
// of duration, and the switch that starts a countdown by itself.
#include "Lintara.hpp"
#include "settings.hpp"
#include "text.hpp"

#include <cmath>

namespace lintara {

namespace {
    constexpr std::int64_t ticksPerPoll = 5;
    constexpr std::int64_t secondsPerMinute = 60;
    constexpr std::int64_t minutesPerPresetHour = 60;

    // While a countdown runs, each tick should land just after a whole second
    // of the time left: the title, rounded up, then drops by exactly one at
    // every tick whenever a query's result redraws in between, and the last
    // tick falls just after the deadline rather than up to a second past it.
    // The margin keeps a tick that fires a hair early on the wall clock from
    // reading the second before.
    constexpr double tickMargin = 0.01;
    // A tick this late after its whole second still counts as in phase; one
    // that lands later, or before the margin, moves the timer.
    constexpr double tickLateness = 0.25;

    // What the warning's "30분 연장" adds.
    constexpr std::int64_t extensionMinutes = 30;
    // A tick this much later than the instant the warning fell due was held
    // back (the machine slept, or a dialog held the ticks), so the countdown
    // resumes inside the lead time as if it had started there: no warning.
    constexpr double warningLateness = 60.0;
} // namespace

void AppDelegate::alignTicks(Date now)
{
    if (!deadline || !timer) {
        return;
    }
    const double left = deadline->timeIntervalSince(now);
    if (!(left > 0) || !std::isfinite(left)) {
        return;
    }
    // The next tick comes just after the next whole second of the time left
    // (just after the deadline itself when less than a second is left).
    timer->fireAfter(left - std::floor(left) + tickMargin);
}

bool AppDelegate::ticksInPhase(Date now) const
{
    const double left = deadline->timeIntervalSince(now);
    const double pastWholeSecond = std::ceil(left) - left;
    return pastWholeSecond >= tickMargin / 2 && pastWholeSecond <= tickLateness;
}

void AppDelegate::schedule(std::int64_t minutes)
{
    const Date now = platform_.clock.now();
    const auto seconds = static_cast<double>(minutes * secondsPerMinute);
    deadline = now.addingTimeInterval(seconds);
    status = "예약 중";
    alignTicks(now);
    armWarning(now);
    render();
}

void AppDelegate::armWarning(Date now)
{
    const auto lead = static_cast<double>(warningMinutes * secondsPerMinute);
    warningDue.reset();
    // A countdown that starts with no more than the lead time left was just
    // chosen; warning about it would only interrupt.
    if (warningMinutes > 0 && deadline && deadline->timeIntervalSince(now) > lead) {
        warningDue = deadline->addingTimeInterval(-lead);
        platform_.warnings.prepare();
    }
}

void AppDelegate::warnIfDue()
{
    if (!warningDue || !deadline) {
        return;
    }
    const Date now = platform_.clock.now();
    if (now < *warningDue) {
        return;
    }
    const bool onTime = now.timeIntervalSince(*warningDue) <= warningLateness;
    warningDue.reset();
    if (!onTime || now >= *deadline) {
        return;
    }
    const auto minutesLeft = static_cast<std::int64_t>(std::ceil(deadline->timeIntervalSince(now) / secondsPerMinute));
    Warning warning;
    warning.summary = "VPN 자동 해제 예정";
    warning.body = std::to_string(minutesLeft) + "분 뒤 " + platform_.clock.shortTimeString(*deadline)
        + "에 VPN 연결을 해제합니다";
    warning.actions = { { WarningAction::extend, "30분 연장" }, { WarningAction::disconnectNow, "지금 해제" } };
    warning.deadline = *deadline;
    warnedAbout = deadline;
    platform_.warnings.show(warning, [this, about = *deadline](WarningAction action) { warningChosen(about, action); });
}

void AppDelegate::warningChosen(Date about, WarningAction action)
{
    // A choice that arrives after its warning was withdrawn is about a
    // countdown that has ended or moved since.
    if (warnedAbout != about) {
        return;
    }
    switch (action) {
    case WarningAction::extend: extendDeadline(extensionMinutes); return;
    case WarningAction::disconnectNow: disconnectNow(); return;
    }
}

void AppDelegate::withdrawWarning()
{
    if (warnedAbout) {
        warnedAbout.reset();
        platform_.warnings.withdraw();
    }
}

void AppDelegate::extendDeadline(std::int64_t minutes)
{
    if (busy || !deadline) {
        return;
    }
    // Whole minutes keep the ticks in step with the deadline.
    deadline = deadline->addingTimeInterval(static_cast<double>(minutes * secondsPerMinute));
    armWarning(platform_.clock.now());
    render();
}

void AppDelegate::disconnectNow()
{
    if (busy || !deadline) {
        return;
    }
    deadline = platform_.clock.now();
    warningDue.reset();
    // The tick finds the deadline due, and disconnects and reports as at any
    // deadline; it comes at once rather than within the second.
    if (timer) {
        timer->fireAfter(0);
    }
    render();
}

void AppDelegate::tick()
{
    pollCounter += 1;
    if (pollCounter >= ticksPerPoll) {
        // Back to 0 whether or not a query starts: a refused poll waits for
        // the next fifth tick rather than being retried.
        pollCounter = 0;
        pollVPN();
    }
    if (deadline) {
        // The wall clock, not a count of ticks: time asleep counts, and the
        // first tick after a modal dialog catches up.
        const Date now = platform_.clock.now();
        if (now >= *deadline && !busy) {
            // Cleared before the call, so the deadline fires exactly once. While
            // an earlier disconnect is still running it is held for a later tick.
            deadline.reset();
            disconnect();
        } else if (deadline > now && !ticksInPhase(now)) {
            // A wake, a closed dialog or a clock that was set has put the
            // ticks out of step with the deadline.
            alignTicks(now);
        }
    }
    warnIfDue();
    render();
}

void AppDelegate::cancelTimer()
{
    deadline.reset();
    status = "예약 취소됨";
    render();
}

void AppDelegate::preset(const MenuItem& sender)
{
    const std::int64_t hours = sender.tag.value_or(0);
    // Our own menu only carries the tags 1, 2 and 4; an entry that reaches us
    // with anything else did not come from it, and must not be stored.
    if (hours < shortestDuration || hours > longestDuration / minutesPerPresetHour) {
        return;
    }
    const std::int64_t minutes = hours * minutesPerPresetHour;
    selectDuration(minutes);
}

void AppDelegate::selectDuration(std::int64_t minutes)
{
    selectedMinutes = minutes;
    platform_.standardUserDefaults.setInteger(minutes, durationMinutesKey);
    if (connected == true) {
        schedule(minutes);
        return;
    }
    status = "다음 VPN 연결 대기 중";
    render();
}

void AppDelegate::customDuration()
{
    if (busy) {
        return;
    }
    platform_.application.activateIgnoringOtherApps(IgnoringOtherApps::yes);

    Alert alert;
    alert.messageText = "자동 해제 시간을 설정하세요";
    alert.informativeText = "1~10,080분을 입력하세요. 연결 중이면 지금부터 새 시간으로 예약됩니다.";
    alert.accessoryView = TextField { std::to_string(selectedMinutes), Rect { 0, 0, 260, 26 } };
    alert.addButtonWithTitle("설정");
    alert.addButtonWithTitle("취소");
    alert.initialFirstResponder = FirstResponder::accessoryView;
    // Ticks wait while the dialog is open, so a dialog left open would hold
    // the disconnect back for good. It gives way at the deadline instead, as
    // if cancelled, and the tick that follows disconnects.
    alert.closesAt = deadline;

    const ModalResponse response = platform_.alerts.runModal(alert);
    if (response.code != alertFirstButtonReturn) {
        return;
    }
    const std::optional<std::int64_t> minutes = parseInt64(trimWhitespaceAndNewlines(response.fieldText));
    if (!minutes || *minutes < shortestDuration || *minutes > longestDuration) {
        showMessage("시간을 확인해주세요", "1~10,080 사이의 정수(분)를 입력해주세요.");
        return;
    }
    selectDuration(*minutes);
}

void AppDelegate::toggleAutomatic()
{
    automatic = !automatic;
    platform_.standardUserDefaults.setBool(automatic, automaticKey);
    if (automatic && connected == true && !deadline) {
        schedule(selectedMinutes);
    }
    render();
}

} // namespace lintara
