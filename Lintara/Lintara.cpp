#include "Lintara.hpp"

#include "settings.hpp"

namespace lintara {

Application* app = nullptr;
std::unique_ptr<AppDelegate> delegate;

int applicationMain(Platform& platform)
{
    app = &platform.application;
    app->setActivationPolicy(ActivationPolicy::accessory);
    delegate = std::make_unique<AppDelegate>(platform);
    app->setDelegate(delegate.get());
    app->run();
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
{
}

AppDelegate::View AppDelegate::view() const
{
    return View {
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
