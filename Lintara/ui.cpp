// SPDX-License-Identifier: MIT
// The status item's title, the status menu, and the message alert.
#include "Lintara.hpp"
#include "text.hpp"

#include <cmath>
#include <cstdio>
#include <limits>

namespace lintara {

namespace {
    constexpr std::int64_t presetHours[] = { 1, 2, 4 };

    // Seconds left, rounded up and never below zero. The deadlines we set are
    // at most a week away, but a clock that jumps, or a binding that hands back
    // nonsense, must not turn into undefined behaviour or a negative time.
    std::int64_t remainingSeconds(double secondsLeft)
    {
        const double rounded = std::ceil(secondsLeft);
        if (!(rounded > 0)) { // also catches NaN
            return 0;
        }
        // 2^63 as a double; anything at or above it saturates.
        constexpr double limit = 9223372036854775808.0;
        if (rounded >= limit) {
            return std::numeric_limits<std::int64_t>::max();
        }
        return static_cast<std::int64_t>(rounded);
    }

    MenuItem infoItem(std::string title)
    {
        MenuItem item;
        item.title = std::move(title);
        return item;
    }

    MenuItem actionItem(std::string title, Action action)
    {
        MenuItem item;
        item.title = std::move(title);
        item.action = action;
        return item;
    }

} // namespace

std::string countdownTitle(double secondsLeft)
{
    const std::int64_t remaining = remainingSeconds(secondsLeft);
    const std::int64_t hours = remaining / 3600;
    const std::int64_t minutes = (remaining / 60) % 60;
    const std::int64_t seconds = remaining % 60;
    char buffer[48];
    // Cannot fail or truncate: the widest title is 30 bytes.
    (void)std::snprintf(buffer, sizeof buffer, "VPN %lld:%02lld:%02lld", static_cast<long long>(hours),
        static_cast<long long>(minutes), static_cast<long long>(seconds));
    return buffer;
}

// Reached only through Menu::choice, which has already turned away a disabled
// entry or one without an action.
void AppDelegate::perform(const MenuItem& sender)
{
    switch (sender.action) {
    case Action::none: return;
    case Action::toggleAutomatic: toggleAutomatic(); return;
    case Action::preset: preset(sender); return;
    case Action::customDuration: customDuration(); return;
    case Action::cancelTimer: cancelTimer(); return;
    case Action::quitApp: quitApp(); return;
    }
}

void AppDelegate::render()
{
    // Every change of the deadline ends in a render; a warning that announces
    // a deadline no longer in force (passed, cancelled, replaced, moved, or
    // the VPN gone) is taken away here, before anything else shows.
    if (warnedAbout != deadline) {
        withdrawWarning();
    }
    std::string title;
    if (deadline) {
        title = countdownTitle(deadline->timeIntervalSince(platform_.clock.now()));
    } else if (busy) {
        title = busyTitle;
    } else {
        title = idleTitle;
    }
    if (StatusButton* button = item->button()) {
        button->setTitle(title);
    }
    item->setMenu(buildMenu());
    publishState(title);
}

Menu AppDelegate::buildMenu()
{
    Menu menu;
    menu.onChoose = [this](const MenuItem& sender) { perform(sender); };

    if (connected == true) {
        menu.addItem(infoItem("VPN 연결됨"));
    } else if (connected == false) {
        menu.addItem(infoItem("VPN 연결 안 됨"));
    } else {
        menu.addItem(infoItem("VPN 상태 확인 중"));
    }

    MenuItem automaticItem = actionItem("연결 감지 시 자동 시작", Action::toggleAutomatic);
    automaticItem.state = automatic ? ControlState::on : ControlState::off;
    menu.addItem(std::move(automaticItem));

    menu.addItem(infoItem("설정 시간: " + std::to_string(selectedMinutes) + "분"));

    if (deadline) {
        menu.addItem(infoItem("해제 예정: " + platform_.clock.shortTimeString(*deadline)));
    } else {
        menu.addItem(infoItem(status));
    }

    menu.addItem(MenuItem::separatorItem());

    for (const std::int64_t hours : presetHours) {
        MenuItem presetItem = actionItem(std::to_string(hours) + "시간", Action::preset);
        presetItem.tag = hours;
        presetItem.state = selectedMinutes == hours * 60 ? ControlState::on : ControlState::off;
        presetItem.enabled = !busy;
        menu.addItem(std::move(presetItem));
    }

    MenuItem customItem = actionItem("사용자 설정…", Action::customDuration);
    customItem.enabled = !busy;
    menu.addItem(std::move(customItem));

    MenuItem cancelItem = actionItem("예약 취소", Action::cancelTimer);
    cancelItem.enabled = deadline.has_value();
    menu.addItem(std::move(cancelItem));

    menu.addItem(MenuItem::separatorItem());

    menu.addItem(infoItem("잠자기 중에는 깨어난 뒤 해제됩니다"));

    MenuItem quitItem = actionItem("종료 (예약도 취소)", Action::quitApp);
    quitItem.keyEquivalent = "q";
    quitItem.enabled = !busy;
    menu.addItem(std::move(quitItem));

    menu.setAutoenablesItems(AutoenablesItems::no);
    return menu;
}

void AppDelegate::showMessage(const std::string& title, const std::string& text)
{
    platform_.application.activateIgnoringOtherApps(IgnoringOtherApps::yes);
    Alert alert;
    alert.messageText = title;
    alert.informativeText = text;
    alert.addButtonWithTitle("확인");
    // A rejected entry is reported while a countdown may still run; the
    // deadline must not wait for this alert to be read.
    alert.closesAt = deadline;
    // One button, so the answer tells us nothing.
    (void)platform_.alerts.runModal(alert);
}

} // namespace lintara
