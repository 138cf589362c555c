// SPDX-License-Identifier: MIT
// The names of Lintara's session-bus interface (data/io.lintara.Lintara1.xml),
// shared by the front ends that export it and by lintara-ctl, which calls it.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <optional>
#include <string_view>

namespace lintara::glib {

inline constexpr const char* remoteBusName = "io.lintara.Lintara";
inline constexpr const char* remoteObjectPath = "/io/lintara/Lintara";
inline constexpr const char* remoteInterface = "io.lintara.Lintara1";
// Every refusal's error name starts with this.
inline constexpr const char* remoteErrorPrefix = "io.lintara.Error.";

struct RemoteError {
    const char* name;
    const char* message;
};

// The D-Bus error that carries a refusal; none for ok.
[[nodiscard]] std::optional<RemoteError> remoteError(RemoteResult result);

// The property Connected: "connected", "disconnected" or "unknown".
[[nodiscard]] const char* connectionWord(std::optional<bool> connected);
[[nodiscard]] std::optional<bool> connectionFromWord(std::string_view word);

// The introspection XML of the interface, as installed.
[[nodiscard]] const char* remoteInterfaceXml();

// Whether the environment names a session bus: DBUS_SESSION_BUS_ADDRESS, or a
// "bus" in the user's runtime directory. Without either, GLib would try to
// start a bus of its own, which a program on a bare SSH login must not do.
[[nodiscard]] bool sessionBusKnown();

} // namespace lintara::glib
