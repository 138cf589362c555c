// SPDX-License-Identifier: MIT
// Lintara.app's remote control: the URL scheme lintara:, which the bundle
// registers in its Info.plist (see RemoteUrl.hpp for the URLs). Each URL
// opened with Lintara becomes a command, run through the main-queue gate like
// a menu choice: never while an alert or the status menu is open. A refusal
// is logged and sounds the alert beep, as a disabled menu entry would do
// nothing. Nothing on macOS reads the published state, so it is dropped.
//
// Plain C++ on the outside; the Apple-event handler lives in the .mm.
// Main thread only.
#pragma once

#include "AppKitSupport.hpp"
#include "Lintara/platform/Platform.hpp"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lintara::appkit {

class UrlSchemeRemote final : public RemoteControl {
public:
    // Installs the handler for the "open URL" Apple event at once, so that
    // the URL that launched the application is not missed.
    explicit UrlSchemeRemote(ModalDeferral& gate);
    ~UrlSchemeRemote() override;
    UrlSchemeRemote(const UrlSchemeRemote&) = delete;
    UrlSchemeRemote& operator=(const UrlSchemeRemote&) = delete;

    void setHandler(std::function<RemoteResult(const RemoteCommand&)> perform) override;
    void publish(const RemoteState& state) override;

    // A URL opened with Lintara.
    void open(const std::string& url);

private:
    void submit(const std::string& url, const RemoteCommand& command);

    struct Events;
    ModalDeferral& gate_;
    std::unique_ptr<Events> events_;
    std::function<RemoteResult(const RemoteCommand&)> perform_;
    // URLs opened before launch finished, run once it has.
    std::vector<std::function<void()>> early_;
};

} // namespace lintara::appkit
