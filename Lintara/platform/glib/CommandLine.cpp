// SPDX-License-Identifier: MIT
#include "CommandLine.hpp"

#include "GlibMainQueue.hpp"
#include "Lintara/platform/posix/PosixProcess.hpp"
#include "Lintara/platform/posix/ThreadDispatch.hpp"
#include "Lintara/stateQuery.hpp"
#include "Lintara/vpnPath.hpp"
#include "ModalLoop.hpp"

#ifndef LINTARA_VERSION
#error "LINTARA_VERSION must name the version"
#endif

namespace lintara::glib {

namespace {
    struct OptionContextFree {
        void operator()(GOptionContext* context) const { g_option_context_free(context); }
    };
    using OptionContext = std::unique_ptr<GOptionContext, OptionContextFree>;

    // Entries that point into options, which must outlive the context.
    OptionContext makeContext(CommandLine& options)
    {
        OptionContext context(g_option_context_new(nullptr));
        g_option_context_set_summary(context.get(), optionSummary);
        const std::array<GOptionEntry, 4> entries = optionEntries(options);
        g_option_context_add_main_entries(context.get(), entries.data(), nullptr);
        return context;
    }

    std::string helpOf(GOptionContext* context)
    {
        gchar* help = g_option_context_get_help(context, TRUE, nullptr);
        std::string text(help);
        g_free(help);
        return text;
    }
} // namespace

CommandLine::~CommandLine() { g_strfreev(rest); }

std::array<GOptionEntry, 4> optionEntries(CommandLine& options)
{
    return { {
        { "version", 0, 0, G_OPTION_ARG_NONE, &options.version, "Print the version and the VPN tool's path, and exit",
            nullptr },
        { "check", 0, 0, G_OPTION_ARG_NONE, &options.check,
            "Run the VPN tool's state once, report what it says, and exit (0: readable)", nullptr },
        { G_OPTION_REMAINING, 0, 0, G_OPTION_ARG_STRING_ARRAY, static_cast<void*>(&options.rest), nullptr, nullptr },
        {},
    } };
}

std::string usageText()
{
    CommandLine unused;
    return helpOf(makeContext(unused).get());
}

std::string versionText(const char* program)
{
    return std::string(program) + " " + LINTARA_VERSION + "\nVPN tool: " + configuredVpnPath + "\n";
}

int runCheck(std::FILE* out)
{
    ModalLoop modalLoop;
    GlibMainQueue mainQueue(modalLoop);
    std::optional<StateQueryOutcome> outcome;
    {
        posix::ThreadDispatch dispatch(mainQueue);
        posix::SpawnProcessFactory processes;
        queryState(processes, dispatch, configuredVpnPath,
            [&outcome](const StateQueryOutcome& delivered) { outcome = delivered; });
        while (!outcome) {
            g_main_context_iteration(modalLoop.context(), TRUE);
        }
    }
    std::fputs(checkReport(configuredVpnPath, *outcome).c_str(), out);
    std::fflush(out);
    return outcome->reading ? 0 : 1;
}

std::optional<int> answerCommandLine(const char* program, const CommandLine& options)
{
    if (options.rest != nullptr && options.rest[0] != nullptr) {
        std::fprintf(stderr, "%s: unexpected argument: %s\n%s", program, options.rest[0], usageText().c_str());
        return usageStatus;
    }
    if (options.version) {
        std::fputs(versionText(program).c_str(), stdout);
        return 0;
    }
    if (options.check) {
        return runCheck(stdout);
    }
    return std::nullopt;
}

std::optional<int> parseCommandLine(const char* program, int& argc, char**& argv)
{
    // GOption names the program after argv[0] otherwise, which may be a
    // path or a test build's name.
    g_set_prgname(program);
    CommandLine options;
    const OptionContext context = makeContext(options);
    GError* error = nullptr;
    if (!g_option_context_parse(context.get(), &argc, &argv, &error)) {
        std::fprintf(stderr, "%s: %s\n%s", program, error->message, helpOf(context.get()).c_str());
        g_error_free(error);
        return usageStatus;
    }
    return answerCommandLine(program, options);
}

} // namespace lintara::glib
