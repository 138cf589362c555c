// SPDX-License-Identifier: MIT
#include "CtlStatus.hpp"

#include "RemoteBus.hpp"

#include "Lintara/text.hpp"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace lintara::glib {

std::int64_t remainingSeconds(const RemoteState& state, double now)
{
    if (state.deadline <= 0) {
        return 0;
    }
    const double left = std::ceil(static_cast<double>(state.deadline) - now);
    return left > 0 ? static_cast<std::int64_t>(left) : 0;
}

std::string titleAt(const RemoteState& state, double now)
{
    if (state.deadline <= 0) {
        return state.title;
    }
    return countdownTitle(static_cast<double>(state.deadline) - now);
}

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string statusJson(const RemoteState& state, double now)
{
    auto flag = [](bool value) { return value ? "true" : "false"; };
    return std::string("{\"connected\":") + jsonString(connectionWord(state.connected))
        + ",\"deadline\":" + std::to_string(state.deadline) + ",\"automatic\":" + flag(state.automatic)
        + ",\"selected_minutes\":" + std::to_string(state.selectedMinutes) + ",\"status\":" + jsonString(state.status)
        + ",\"busy\":" + flag(state.busy) + ",\"title\":" + jsonString(state.title)
        + ",\"remaining_seconds\":" + std::to_string(remainingSeconds(state, now)) + "}";
}

const char* waybarClass(const RemoteState& state, double now)
{
    if (state.busy) {
        return "busy";
    }
    if (state.deadline > 0) {
        return remainingSeconds(state, now) <= warningSeconds ? "warning" : "counting";
    }
    return state.connected == false ? "disconnected" : "idle";
}

std::string waybarJson(const RemoteState& state, double now)
{
    std::string tooltip = state.status;
    if (state.deadline > 0) {
        const auto when = static_cast<std::time_t>(state.deadline);
        std::tm local {};
        char clock[16] = "";
        if (localtime_r(&when, &local) != nullptr) {
            (void)std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
        }
        tooltip += std::string("\n해제 예정: ") + clock;
    }
    return "{\"text\":" + jsonString(state.title) + ",\"tooltip\":" + jsonString(tooltip)
        + ",\"class\":" + jsonString(waybarClass(state, now)) + "}";
}

} // namespace lintara::glib
