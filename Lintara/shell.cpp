// SPDX-License-Identifier: MIT
// Start-up, reopen and quit, and reading the stored preferences.
#include "Lintara.hpp"
#include "settings.hpp"
#include "text.hpp"

namespace lintara {

namespace {
    constexpr std::int64_t fallbackDuration = 60;
    constexpr double tickInterval = 1.0;
} // namespace

std::int64_t storedDurationMinutes(SettingsStore& store) { return store.integerForKey(durationMinutesKey); }

bool storedAutomatic(SettingsStore& store)
{
    const std::optional<SettingValue> value = store.objectForKey(automaticKey);
    if (value) {
        if (const bool* flag = std::get_if<bool>(&*value)) {
            return *flag;
        }
    }
    return true;
}

std::int64_t storedWarningMinutes(SettingsStore& store)
{
    // Unlike the duration, 0 is a setting here, so integerForKey's 0 for
    // "nothing usable" will not do.
    const std::optional<SettingValue> value = store.objectForKey(warningMinutesKey);
    std::optional<std::int64_t> minutes;
    if (value) {
        if (const std::int64_t* integer = std::get_if<std::int64_t>(&*value)) {
            minutes = *integer;
        } else if (const bool* flag = std::get_if<bool>(&*value)) {
            // The key file reads a stored 0 or 1 as a boolean.
            minutes = *flag ? 1 : 0;
        } else if (const std::string* text = std::get_if<std::string>(&*value)) {
            // `defaults write` without -int stores the number as text.
            minutes = parseInt64(trimWhitespaceAndNewlines(*text));
        }
    }
    if (!minutes || *minutes < 0 || *minutes > longestWarningMinutes) {
        return defaultWarningMinutes;
    }
    return *minutes;
}

void AppDelegate::applicationDidFinishLaunching()
{
    // Out-of-range values are repaired in memory only; the store keeps what it
    // had until the user next chooses a duration.
    if (selectedMinutes < shortestDuration || selectedMinutes > longestDuration) {
        selectedMinutes = fallbackDuration;
    }
    item.emplace(platform_.statusBar.statusItemWithLength(variableStatusItemLength));
    platform_.workspaceNotificationCenter.addObserver(Notification::workspaceDidWake, [this] { tick(); });
    timer.emplace(platform_.runLoop.scheduledTimer(
        tickInterval, [this] { tick(); }, Repeats::yes));
    platform_.remote.setHandler([this](const RemoteCommand& command) { return performRemote(command); });
    render();
    pollVPN();
}

bool AppDelegate::applicationShouldHandleReopen()
{
    render();
    return false;
}

void AppDelegate::quitApp()
{
    // A pending deadline lives only in memory and ends with the process; the
    // VPN is left as it is, and a warning about it goes too.
    withdrawWarning();
    platform_.application.terminate();
}

} // namespace lintara
