// SPDX-License-Identifier: MIT
// lintara-ctl: Lintara's countdown for scripts and status bars, through the
// session-bus interface io.lintara.Lintara1 of whichever front end runs.
//
// Exit status: 0 done; 1 no Lintara to reach (no session bus, nobody owns
// the name, or it quit while followed); 2 a usage error; 3 Lintara refused,
// with the refusal's text on standard error.
#include "CtlStatus.hpp"
#include "RemoteBus.hpp"

#include "Lintara/text.hpp"

#include <gio/gio.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace lintara;
using namespace lintara::glib;

constexpr int exitNotRunning = 1;
constexpr int exitUsage = 2;
constexpr int exitRefused = 3;

constexpr const char* help = R"(Usage: lintara-ctl COMMAND

Reads and drives the Lintara that runs for this user (lintara or
lintara-term), over the session bus.

Commands:
  status            one line: the title as Lintara shows it
  status --json     every property, and remaining_seconds, as JSON
  status --waybar   JSON for a waybar custom module: text, tooltip, class
                    (idle, counting, warning, busy or disconnected)
  status --follow   a new line every second, and at once on every change,
                    until Lintara quits; combines with --json or --waybar
  start MINUTES     count down MINUTES (1 to 10080), as the custom dialog does
  cancel            cancel the pending disconnect
  extend MINUTES    move the pending disconnect MINUTES later
  automatic on|off  start counting down by itself when the VPN connects
  --help            this text
  --version         the version

A command sent while one of Lintara's dialogs is open is carried out when the
dialog closes.

Exit status: 0 done, 1 no Lintara running, 2 usage error, 3 refused.
)";

enum class Format { title, json, waybar };
enum class Following { no, yes };

struct Request {
    enum class Kind { help, version, status, call } kind = Kind::help;
    Format format = Format::title;
    Following following = Following::no;
    const char* method = "";
    GVariant* parameters = nullptr;
};

[[noreturn]] void usageError(const std::string& what)
{
    std::fprintf(stderr, "lintara-ctl: %s\nTry 'lintara-ctl --help'.\n", what.c_str());
    std::exit(exitUsage);
}

[[noreturn]] void unreachable(const std::string& what)
{
    std::fprintf(stderr, "lintara-ctl: %s\n", what.c_str());
    std::exit(exitNotRunning);
}

std::int64_t minutesArgument(const std::vector<std::string_view>& words)
{
    if (words.size() != 2) {
        usageError(std::string(words[0]) + " takes one argument, MINUTES");
    }
    const std::optional<std::int64_t> minutes = parseInt64(words[1]);
    if (!minutes) {
        usageError("MINUTES must be a whole number, not '" + std::string(words[1]) + "'");
    }
    return *minutes;
}

Request parse(const std::vector<std::string_view>& words)
{
    Request request;
    if (words.empty()) {
        usageError("no command given");
    }
    const std::string_view command = words[0];
    if (command == "--help" || command == "-h") {
        return request;
    }
    if (command == "--version") {
        request.kind = Request::Kind::version;
        return request;
    }
    if (command == "status") {
        request.kind = Request::Kind::status;
        for (std::size_t i = 1; i < words.size(); ++i) {
            const std::string_view option = words[i];
            if (option == "--follow" && request.following == Following::no) {
                request.following = Following::yes;
            } else if ((option == "--json" || option == "--waybar") && request.format == Format::title) {
                request.format = option == "--json" ? Format::json : Format::waybar;
            } else {
                usageError("status takes --follow and one of --json or --waybar, not '" + std::string(option) + "'");
            }
        }
        return request;
    }
    request.kind = Request::Kind::call;
    if (command == "start" || command == "extend") {
        request.method = command == "start" ? "Start" : "Extend";
        request.parameters = g_variant_new("(x)", static_cast<gint64>(minutesArgument(words)));
    } else if (command == "cancel") {
        if (words.size() != 1) {
            usageError("cancel takes no argument");
        }
        request.method = "Cancel";
    } else if (command == "automatic") {
        if (words.size() != 2 || (words[1] != "on" && words[1] != "off")) {
            usageError("automatic takes on or off");
        }
        request.method = "SetAutomatic";
        request.parameters = g_variant_new("(b)", words[1] == "on" ? TRUE : FALSE);
    } else {
        usageError("unknown command '" + std::string(command) + "'");
    }
    return request;
}

GDBusConnection* connect()
{
    if (!sessionBusKnown()) {
        unreachable("no session bus here (DBUS_SESSION_BUS_ADDRESS is not set), so no Lintara to reach");
    }
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus == nullptr) {
        const std::string message = error->message;
        g_error_free(error);
        unreachable("cannot reach the session bus: " + message);
    }
    return bus;
}

// Exits with the status the failure calls for.
[[noreturn]] void fail(GError* error)
{
    gchar* remote = g_dbus_error_get_remote_error(error);
    const bool refused = remote != nullptr && g_str_has_prefix(remote, remoteErrorPrefix);
    g_dbus_error_strip_remote_error(error);
    if (refused) {
        std::fprintf(stderr, "lintara-ctl: %s (%s)\n", error->message, remote);
        std::exit(exitRefused);
    }
    // Nobody owns the name, or its owner has no such object yet.
    for (const GDBusError code : { G_DBUS_ERROR_SERVICE_UNKNOWN, G_DBUS_ERROR_NAME_HAS_NO_OWNER,
             G_DBUS_ERROR_UNKNOWN_OBJECT, G_DBUS_ERROR_UNKNOWN_INTERFACE, G_DBUS_ERROR_UNKNOWN_METHOD }) {
        if (g_error_matches(error, G_DBUS_ERROR, code)) {
            unreachable("Lintara is not running (nothing offers " + std::string(remoteInterface) + " at "
                + remoteBusName + " on the session bus)");
        }
    }
    unreachable(std::string("Lintara did not answer: ") + error->message);
}

GVariant* call(GDBusConnection* bus, const char* interface, const char* method, GVariant* parameters,
    const GVariantType* replyType)
{
    GError* error = nullptr;
    // No time limit: a command waits for a dialog that is open in Lintara.
    GVariant* reply = g_dbus_connection_call_sync(bus, remoteBusName, remoteObjectPath, interface, method, parameters,
        replyType, G_DBUS_CALL_FLAGS_NO_AUTO_START, G_MAXINT, nullptr, &error);
    if (reply == nullptr) {
        fail(error);
    }
    return reply;
}

// Takes what the dictionary holds and leaves the rest.
void apply(RemoteState& state, GVariant* properties)
{
    const char* text = nullptr;
    gint64 number = 0;
    gboolean flag = FALSE;
    if (g_variant_lookup(properties, "Connected", "&s", &text)) {
        state.connected = connectionFromWord(text);
    }
    if (g_variant_lookup(properties, "Deadline", "x", &number)) {
        state.deadline = number;
    }
    if (g_variant_lookup(properties, "Automatic", "b", &flag)) {
        state.automatic = flag != FALSE;
    }
    if (g_variant_lookup(properties, "SelectedMinutes", "x", &number)) {
        state.selectedMinutes = number;
    }
    if (g_variant_lookup(properties, "Status", "&s", &text)) {
        state.status = text;
    }
    if (g_variant_lookup(properties, "Busy", "b", &flag)) {
        state.busy = flag != FALSE;
    }
    if (g_variant_lookup(properties, "Title", "&s", &text)) {
        state.title = text;
    }
}

RemoteState readAll(GDBusConnection* bus)
{
    GVariant* reply = call(bus, "org.freedesktop.DBus.Properties", "GetAll", g_variant_new("(s)", remoteInterface),
        G_VARIANT_TYPE("(a{sv})"));
    GVariant* properties = g_variant_get_child_value(reply, 0);
    RemoteState state;
    apply(state, properties);
    g_variant_unref(properties);
    g_variant_unref(reply);
    return state;
}

std::string readTitle(GDBusConnection* bus)
{
    GVariant* reply = call(bus, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", remoteInterface, "Title"), G_VARIANT_TYPE("(v)"));
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    std::string title = g_variant_is_of_type(value, G_VARIANT_TYPE_STRING) ? g_variant_get_string(value, nullptr) : "";
    g_variant_unref(value);
    g_variant_unref(reply);
    return title;
}

double unixNow() { return static_cast<double>(g_get_real_time()) / 1e6; }

void printLine(const RemoteState& state, Format format, double now)
{
    std::string line;
    switch (format) {
    case Format::title: line = state.title; break;
    case Format::json: line = statusJson(state, now); break;
    case Format::waybar: line = waybarJson(state, now); break;
    }
    line += '\n';
    // A status bar reads a pipe: every line must leave at once.
    if (std::fputs(line.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
        std::exit(exitNotRunning);
    }
}

class Follower {
public:
    Follower(GDBusConnection* bus, Format format)
        : bus_(bus)
        , format_(format)
        , loop_(g_main_loop_new(nullptr, FALSE))
    {
    }

    [[noreturn]] void run()
    {
        // Subscribed before the first reading, so that no change falls
        // between the two.
        g_dbus_connection_signal_subscribe(
            bus_, owner().c_str(), "org.freedesktop.DBus.Properties", "PropertiesChanged", remoteObjectPath,
            remoteInterface, G_DBUS_SIGNAL_FLAGS_NONE,
            [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
                gpointer self) { static_cast<Follower*>(self)->changed(parameters); },
            this, nullptr);
        g_bus_watch_name_on_connection(
            bus_, remoteBusName, G_BUS_NAME_WATCHER_FLAGS_NONE, nullptr,
            [](GDBusConnection*, const gchar*, gpointer) { unreachable("Lintara has quit"); }, nullptr, nullptr);
        state_ = readAll(bus_);
        show();
        g_main_loop_run(loop_);
        std::exit(EXIT_SUCCESS);
    }

private:
    // The unique name behind the well-known one, so that only its own
    // signals count.
    std::string owner()
    {
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
            "org.freedesktop.DBus", "GetNameOwner", g_variant_new("(s)", remoteBusName), G_VARIANT_TYPE("(s)"),
            G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
        if (reply == nullptr) {
            fail(error);
        }
        const gchar* name = nullptr;
        g_variant_get(reply, "(&s)", &name);
        std::string owner = name;
        g_variant_unref(reply);
        return owner;
    }

    void changed(GVariant* parameters)
    {
        if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sa{sv}as)"))) {
            return;
        }
        GVariant* properties = g_variant_get_child_value(parameters, 1);
        apply(state_, properties);
        g_variant_unref(properties);
        // The title is never announced; once no countdown runs it is
        // Lintara's to say.
        state_.title = readTitle(bus_);
        show();
    }

    // Prints a line now, and the next one just after the next whole second:
    // the deadline is a whole second, so that is when the title changes.
    void show()
    {
        const double now = unixNow();
        RemoteState shown = state_;
        shown.title = titleAt(state_, now);
        printLine(shown, format_, now);
        if (timer_ != 0) {
            g_source_remove(timer_);
        }
        const double wait = 1.0 - (now - std::floor(now)) + 0.01;
        timer_ = g_timeout_add(
            static_cast<guint>(std::ceil(wait * 1000.0)),
            [](gpointer self) -> gboolean {
                auto* follower = static_cast<Follower*>(self);
                follower->timer_ = 0;
                follower->show();
                return G_SOURCE_REMOVE;
            },
            this);
    }

    GDBusConnection* bus_;
    Format format_;
    GMainLoop* loop_;
    RemoteState state_;
    guint timer_ = 0;
};

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string_view> words(argv + (argc > 0 ? 1 : 0), argv + argc);
    const Request request = parse(words);
    switch (request.kind) {
    case Request::Kind::help: std::fputs(help, stdout); return EXIT_SUCCESS;
    case Request::Kind::version: std::puts("lintara-ctl " LINTARA_VERSION); return EXIT_SUCCESS;
    case Request::Kind::status: {
        GDBusConnection* bus = connect();
        if (request.following == Following::yes) {
            Follower(bus, request.format).run();
        }
        printLine(readAll(bus), request.format, unixNow());
        return EXIT_SUCCESS;
    }
    case Request::Kind::call: {
        GDBusConnection* bus = connect();
        g_variant_unref(call(bus, remoteInterface, request.method, request.parameters, nullptr));
        return EXIT_SUCCESS;
    }
    }
    return EXIT_SUCCESS;
}
