// SPDX-License-Identifier: MIT
// The log on Linux: GLib's structured log, in the domain "Lintara", which a
// systemd machine keeps in the journal (journalctl --user -t lintara, or
// journalctl GLIB_DOMAIN=Lintara).
#pragma once

#include "Lintara/platform/Platform.hpp"

namespace lintara::glib {

// Info lines go out at GLib's "message" level, so that they are kept without
// G_MESSAGES_DEBUG; warnings at "warning".
class GlibLog final : public Log {
public:
    void write(LogLevel level, std::string_view line) override;
};

// Where every log line of the process goes, GLib's and the libraries' too.
// Lines GLib would drop by default (debug and info, unless G_MESSAGES_DEBUG
// asks for them) are dropped either way.
enum class LogDestination {
    // The journal when there is one, else standard error.
    journalOrStandardError,
    // The journal when there is one, else nowhere: for a program that owns
    // the terminal, where a line on standard error would land in its screen.
    journalOnly,
};
void sendLogTo(LogDestination destination);

} // namespace lintara::glib
