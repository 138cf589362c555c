// The deadline and the tick that tests it, the choice of duration, and the
// switch that starts a countdown by itself.
#include "Lintara.hpp"
#include "settings.hpp"
#include "text.hpp"

namespace lintara {

namespace {
    constexpr std::int64_t ticksPerPoll = 5;
    constexpr std::int64_t secondsPerMinute = 60;
    constexpr std::int64_t minutesPerPresetHour = 60;
} // namespace

void AppDelegate::schedule(std::int64_t minutes)
{
    const Date now = platform_.clock.now();
    const auto seconds = static_cast<double>(minutes * secondsPerMinute);
    deadline = now.addingTimeInterval(seconds);
    status = "예약 중";
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
        }
    }
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
    platform_.application.activateIgnoringOtherApps(true);

    Alert alert;
    alert.messageText = "자동 해제 시간을 설정하세요";
    alert.informativeText = "1~10,080분을 입력하세요. 연결 중이면 지금부터 새 시간으로 예약됩니다.";
    alert.accessoryView = TextField { std::to_string(selectedMinutes), Rect { 0, 0, 260, 26 } };
    alert.addButtonWithTitle("설정");
    alert.addButtonWithTitle("취소");
    alert.initialFirstResponder = FirstResponder::accessoryView;

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
