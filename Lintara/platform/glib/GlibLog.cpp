// SPDX-License-Identifier: MIT
#include "GlibLog.hpp"

#include <glib.h>

#include <string>

namespace lintara::glib {

namespace {
    constexpr const char* domain = "Lintara";

    GLogWriterOutput write(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer data)
    {
        const auto destination = static_cast<LogDestination>(GPOINTER_TO_INT(data));
        const char* fieldDomain = nullptr;
        for (gsize i = 0; i < count; ++i) {
            if (g_strcmp0(fields[i].key, "GLIB_DOMAIN") == 0) {
                fieldDomain = static_cast<const char*>(fields[i].value);
            }
        }
        if (g_log_writer_default_would_drop(level, fieldDomain)) {
            return G_LOG_WRITER_HANDLED;
        }
        if (g_log_writer_journald(level, fields, count, nullptr) == G_LOG_WRITER_HANDLED) {
            return G_LOG_WRITER_HANDLED;
        }
        if (destination == LogDestination::journalOrStandardError) {
            return g_log_writer_standard_streams(level, fields, count, nullptr);
        }
        return G_LOG_WRITER_HANDLED;
    }
} // namespace

void GlibLog::write(LogLevel level, std::string_view line)
{
    const std::string text(line);
    g_log_structured(domain, level == LogLevel::warning ? G_LOG_LEVEL_WARNING : G_LOG_LEVEL_MESSAGE,
        "SYSLOG_IDENTIFIER", g_get_prgname() != nullptr ? g_get_prgname() : "lintara", "MESSAGE", "%s", text.c_str());
}

void sendLogTo(LogDestination destination)
{
    g_log_set_writer_func(write, GINT_TO_POINTER(static_cast<int>(destination)), nullptr);
}

} // namespace lintara::glib
