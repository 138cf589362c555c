// Start-up, reopen and quit, and reading the two stored preferences.
#include "Lintara.hpp"
#include "settings.hpp"

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
    // VPN is left as it is.
    platform_.application.terminate();
}

} // namespace lintara
