// SPDX-License-Identifier: MIT
// The status item's title, the status menu, and the message alert.
#include "Lintara.hpp"
#include "text.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <string_view>

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

    // Writes the entries of a menu over those it already has, so that a render
    // that shows the same texts as the last one copies them into buffers
    // already big enough and allocates nothing. Every field of every entry is
    // written, so nothing from the last render survives by mistake.
    class MenuWriter {
    public:
        explicit MenuWriter(Menu& menu)
            : menu_(menu)
        {
        }
        ~MenuWriter() { menu_.items.resize(next_); }
        MenuWriter(const MenuWriter&) = delete;
        MenuWriter& operator=(const MenuWriter&) = delete;

        // The next entry, its title the pieces in order, every other field
        // unset.
        MenuItem& entry(std::initializer_list<std::string_view> pieces, Action action = Action::none)
        {
            if (next_ == menu_.items.size()) {
                menu_.items.emplace_back();
            }
            MenuItem& item = menu_.items[next_++];
            item.isSeparator = false;
            item.title.clear();
            for (const std::string_view piece : pieces) {
                item.title.append(piece);
            }
            item.action = action;
            item.keyEquivalent.clear();
            item.tag.reset();
            item.state.reset();
            item.enabled.reset();
            return item;
        }
        void separator() { entry({}).isSeparator = true; }

    private:
        Menu& menu_;
        std::size_t next_ = 0;
    };

    // A whole number as text, without a string of its own.
    struct DecimalText {
        explicit DecimalText(std::int64_t value)
        {
            const std::to_chars_result written = std::to_chars(digits.data(), digits.data() + digits.size(), value);
            length = static_cast<std::size_t>(written.ptr - digits.data());
        }
        [[nodiscard]] std::string_view view() const { return { digits.data(), length }; }

        std::array<char, 24> digits {};
        std::size_t length = 0;
    };

} // namespace

std::string countdownTitle(double secondsLeft)
{
    const std::int64_t remaining = remainingSeconds(secondsLeft);
    // Put together by hand rather than by snprintf, which costs more than
    // the rest of a tick: the widest title is 30 bytes.
    std::array<char, 48> buffer { 'V', 'P', 'N', ' ' };
    char* end = std::to_chars(buffer.data() + 4, buffer.data() + buffer.size(), remaining / 3600).ptr;
    for (const std::int64_t part : { remaining / 60 % 60, remaining % 60 }) {
        *end++ = ':';
        *end++ = static_cast<char>('0' + part / 10);
        *end++ = static_cast<char>('0' + part % 10);
    }
    return { buffer.data(), end };
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
    writeMenu();
    item->setMenu(menu);
    publishState(title);
}

void AppDelegate::writeMenu()
{
    if (!menu.onChoose) {
        menu.onChoose = [this](const MenuItem& sender) { perform(sender); };
    }
    MenuWriter writer(menu);

    if (connected == true) {
        writer.entry({ "VPN 연결됨" });
    } else if (connected == false) {
        writer.entry({ "VPN 연결 안 됨" });
    } else {
        writer.entry({ "VPN 상태 확인 중" });
    }

    writer.entry({ "연결 감지 시 자동 시작" }, Action::toggleAutomatic).state
        = automatic ? ControlState::on : ControlState::off;

    writer.entry({ "설정 시간: ", DecimalText(selectedMinutes).view(), "분" });

    if (deadline) {
        writer.entry({ "해제 예정: ", platform_.clock.shortTimeString(*deadline) });
    } else {
        writer.entry({ status });
    }

    writer.separator();

    for (const std::int64_t hours : presetHours) {
        MenuItem& presetItem = writer.entry({ DecimalText(hours).view(), "시간" }, Action::preset);
        presetItem.tag = hours;
        presetItem.state = selectedMinutes == hours * 60 ? ControlState::on : ControlState::off;
        presetItem.enabled = !busy;
    }

    writer.entry({ "사용자 설정…" }, Action::customDuration).enabled = !busy;
    writer.entry({ "예약 취소" }, Action::cancelTimer).enabled = deadline.has_value();

    writer.separator();

    writer.entry({ "잠자기 중에는 깨어난 뒤 해제됩니다" });

    MenuItem& quitItem = writer.entry({ "종료 (예약도 취소)" }, Action::quitApp);
    quitItem.keyEquivalent = "q";
    quitItem.enabled = !busy;

    menu.setAutoenablesItems(AutoenablesItems::no);
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
