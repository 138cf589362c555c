// SPDX-License-Identifier: MIT
#include "RemoteBus.hpp"

#include <glib.h>

#include <string>

namespace lintara::glib {

std::optional<RemoteError> remoteError(RemoteResult result)
{
    switch (result) {
    case RemoteResult::ok: return std::nullopt;
    case RemoteResult::invalidDuration:
        return RemoteError { "io.lintara.Error.InvalidDuration",
            "the minutes must be a whole number from 1 to 10080, and a countdown can end at most a week from now" };
    case RemoteResult::busy:
        return RemoteError { "io.lintara.Error.Busy", "a disconnect is running; try again after it" };
    case RemoteResult::noCountdown: return RemoteError { "io.lintara.Error.NoCountdown", "no countdown is running" };
    }
    return RemoteError { "io.lintara.Error.Failed", "unknown refusal" };
}

const char* connectionWord(std::optional<bool> connected)
{
    return !connected ? "unknown" : *connected ? "connected" : "disconnected";
}

std::optional<bool> connectionFromWord(std::string_view word)
{
    if (word == "connected" || word == "disconnected") {
        return word == "connected";
    }
    return std::nullopt;
}

bool sessionBusKnown()
{
    const char* address = g_getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address != nullptr && *address != '\0') {
        return true;
    }
    // Where GLib looks next, before it would try to start a bus.
    gchar* socket = g_build_filename(g_get_user_runtime_dir(), "bus", nullptr);
    const bool exists = g_file_test(socket, G_FILE_TEST_EXISTS);
    g_free(socket);
    return exists;
}

} // namespace lintara::glib
