// SPDX-License-Identifier: MIT
// The GLib log binding: structured lines in the domain Lintara, and a
// terminal program's log that never reaches its screen. Each case runs in a
// child process, since GLib takes a log writer once per process.
#include "Lintara/platform/glib/GlibLog.hpp"

#include <gtest/gtest.h>

#include <glib.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace lintara::glib {
namespace {

    const char* field(const GLogField* fields, gsize count, const char* key)
    {
        for (gsize i = 0; i < count; ++i) {
            if (g_strcmp0(fields[i].key, key) == 0) {
                return static_cast<const char*>(fields[i].value);
            }
        }
        return "(none)";
    }

    GLogWriterOutput printFields(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer)
    {
        std::fprintf(stderr, "level=%s domain=%s message=%s;",
            (level & G_LOG_LEVEL_WARNING) != 0 ? "warning" : "message", field(fields, count, "GLIB_DOMAIN"),
            field(fields, count, "MESSAGE"));
        return G_LOG_WRITER_HANDLED;
    }

    TEST(GlibLogDeathTest, LinesAreStructuredInTheDomainLintaraAtTheirLevel)
    {
        EXPECT_EXIT(
            {
                g_log_set_writer_func(printFields, nullptr, nullptr);
                GlibLog log;
                log.write(LogLevel::warning, "tool missing: 100%");
                log.write(LogLevel::info, "readable again");
                std::exit(0);
            },
            ::testing::ExitedWithCode(0),
            "level=warning domain=Lintara message=tool missing: 100%;"
            "level=message domain=Lintara message=readable again;");
    }

    TEST(GlibLogDeathTest, AJournalOnlyLogWritesNothingToTheTerminal)
    {
        EXPECT_EXIT(
            {
                dup2(STDERR_FILENO, STDOUT_FILENO);
                sendLogTo(LogDestination::journalOnly);
                GlibLog log;
                log.write(LogLevel::warning, "unreadable");
                g_warning("a library's warning");
                g_message("a library's message");
                std::fflush(nullptr);
                std::exit(0);
            },
            ::testing::ExitedWithCode(0), "^$");
    }

} // namespace
} // namespace lintara::glib
