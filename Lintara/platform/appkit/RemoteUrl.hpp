// SPDX-License-Identifier: MIT
// The URL scheme Lintara.app registers, read as the commands it stands for:
//   lintara://start?minutes=N   choose N minutes, as the custom dialog does;
//   lintara://cancel            cancel the pending disconnect.
// Plain C++, so that it is tested everywhere.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <optional>
#include <string_view>

namespace lintara::appkit {

// The command a URL asks for, or nothing for a URL that names none. The
// scheme and the command are read without regard to case. Minutes that are
// missing or not a whole number come through as 0, for the controller to
// refuse like any other duration out of range.
[[nodiscard]] std::optional<RemoteCommand> remoteCommandFromUrl(std::string_view url);

} // namespace lintara::appkit
