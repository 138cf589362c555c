// SPDX-License-Identifier: MIT
#include "Lintara.hpp"

#include "settings.hpp"
#include "vpnPath.hpp"

namespace lintara {

int applicationMain(Platform& platform, std::unique_ptr<AppDelegate>& controller)
{
    Application& application = platform.application;
    application.setActivationPolicy(ActivationPolicy::accessory);
    controller = std::make_unique<AppDelegate>(platform);
    application.setDelegate(controller.get());
    application.run();
    return 0;
}

AppDelegate::AppDelegate(Platform& platform)
    : platform_(platform)
    , busy(false)
    , polling(false)
    , pollCounter(0)
    , selectedMinutes(storedDurationMinutes(platform.standardUserDefaults))
    , automatic(storedAutomatic(platform.standardUserDefaults))
    , status("예약 없음")
    , vpnPath(configuredVpnPath)
    , warningMinutes(storedWarningMinutes(platform.standardUserDefaults))
    , unreadable(false)
{
}

AppDelegate::Snapshot AppDelegate::snapshot() const
{
    return Snapshot {
        .deadline = deadline,
        .busy = busy,
        .polling = polling,
        .pollCounter = pollCounter,
        .connected = connected,
        .selectedMinutes = selectedMinutes,
        .automatic = automatic,
        .status = status,
        .vpnPath = vpnPath,
        .hasItem = item.has_value(),
        .hasTimer = timer.has_value(),
        .warningMinutes = warningMinutes,
        .warningDue = warningDue,
        .warnedAbout = warnedAbout,
    };
}

} // namespace lintara
