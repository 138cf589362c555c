// SPDX-License-Identifier: MIT
#include "GtkShell.hpp"

#include "Lintara/platform/posix/PosixProcess.hpp"

#include <glib-unix.h>
#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace lintara::gtk {

namespace {
    // These signals would otherwise end the process outright, leaving a
    // running state query behind; abandon() ends it first. Runs as a GLib
    // source on the main thread.
    template <int signal> gboolean leaveOnSignal(gpointer shell)
    {
        static_cast<GtkShell*>(shell)->abandon(128 + signal);
    }

    // Whether the name has an owner that is not an application: lintara-term
    // owns it for Lintara's interface, but has no application object.
    bool heldByAnotherProgram(const std::string& applicationId)
    {
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (bus == nullptr) {
            return false;
        }
        std::string path = "/" + applicationId;
        std::replace(path.begin(), path.end(), '.', '/');
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(bus, applicationId.c_str(), path.c_str(),
            "org.freedesktop.DBus.Properties", "Get", g_variant_new("(ss)", "org.gtk.Application", "Busy"), nullptr,
            G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr, &error);
        g_object_unref(bus);
        if (reply != nullptr) {
            g_variant_unref(reply);
            return false;
        }
        // An owner that answered, but not as an application.
        const bool other = g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_INTERFACE)
            || g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD)
            || g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_OBJECT)
            || g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS);
        g_error_free(error);
        return other;
    }
} // namespace

GtkShell::GtkShell(const std::string& applicationId, std::string iconName, DispatchQueue& mainQueue)
    : application_(gtk_application_new(applicationId.c_str(), G_APPLICATION_DEFAULT_FLAGS))
    , applicationId_(applicationId)
    , iconName_(std::move(iconName))
    , mainQueue_(mainQueue)
{
    g_signal_connect(application_, "activate", G_CALLBACK(onActivate), this);
}

GtkShell::~GtkShell() { g_object_unref(application_); }

void GtkShell::takeCommandLine(int argc, char** argv, const GOptionEntry* entries, const char* summary,
    std::string usage, int usageStatus, LocalOptionsHandler handler)
{
    argc_ = argc;
    argv_ = argv;
    usage_ = std::move(usage);
    usageStatus_ = usageStatus;
    localOptions_ = std::move(handler);
    g_application_add_main_option_entries(G_APPLICATION(application_), entries);
    g_application_set_option_context_summary(G_APPLICATION(application_), summary);
    g_signal_connect(application_, "handle-local-options", G_CALLBACK(onLocalOptions), this);
}

int GtkShell::onLocalOptions(GApplication* /*application*/, GVariantDict* /*options*/, void* self)
{
    auto* shell = static_cast<GtkShell*>(self);
    shell->optionsParsed_ = true;
    shell->optionStatus_ = shell->localOptions_ ? shell->localOptions_() : std::nullopt;
    // -1 tells GApplication to go on: register (done already) and activate.
    return shell->optionStatus_.value_or(-1);
}

Registration GtkShell::registerOnSessionBus(std::string& error)
{
    GError* failure = nullptr;
    // GApplication carries on without a bus as an ordinary program, which
    // here would mean a tray item that no host can ever see.
    GDBusConnection* sessionBus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &failure);
    if (sessionBus == nullptr) {
        error = failure != nullptr ? failure->message : "unknown error";
        g_clear_error(&failure);
        return Registration::noSessionBus;
    }
    g_object_unref(sessionBus);
    if (!g_application_register(G_APPLICATION(application_), nullptr, &failure)) {
        // A GApplication cannot hand its launch to an owner that is none.
        if (heldByAnotherProgram(applicationId_)) {
            g_clear_error(&failure);
            return Registration::heldByAnotherProgram;
        }
        error = failure != nullptr ? failure->message : "unknown error";
        g_clear_error(&failure);
        return Registration::failed;
    }
    if (g_application_get_is_remote(G_APPLICATION(application_))) {
        g_application_activate(G_APPLICATION(application_));
        // The activation is a message on the bus; it must leave before we do.
        if (GDBusConnection* bus = g_application_get_dbus_connection(G_APPLICATION(application_))) {
            g_dbus_connection_flush_sync(bus, nullptr, nullptr);
        }
        return Registration::handedToRunning;
    }
    return Registration::primary;
}

GDBusConnection* GtkShell::busConnection() const
{
    return g_application_get_dbus_connection(G_APPLICATION(application_));
}

void GtkShell::setActivationPolicy(ActivationPolicy /*policy*/)
{
    // A tray application has no windows and no dock entry in any case; the
    // policy has nothing more to change here.
}

void GtkShell::setDelegate(ApplicationDelegate* delegate) { delegate_ = delegate; }

void GtkShell::run()
{
    g_unix_signal_add(SIGTERM, leaveOnSignal<SIGTERM>, this);
    g_unix_signal_add(SIGHUP, leaveOnSignal<SIGHUP>, this);
    g_unix_signal_add(SIGINT, leaveOnSignal<SIGINT>, this);
    char programName[] = "lintara";
    char* arguments[] = { programName, nullptr };
    // Without a command line taken, only the program name: GApplication
    // would read anything else as files to open.
    if (argv_ == nullptr) {
        g_application_run(G_APPLICATION(application_), 1, arguments);
        return;
    }
    g_application_run(G_APPLICATION(application_), argc_, argv_);
    if (!optionsParsed_) {
        // GApplication has printed what it could not parse, and nothing more.
        std::fputs(usage_.c_str(), stderr);
        abandon(usageStatus_);
    }
    // Ended by an option, or a launch refused, before the loop ran.
    if (optionStatus_) {
        abandon(*optionStatus_);
    }
}

void GtkShell::terminate()
{
    // There is no shutdown work; what must survive has been written already.
    // Ending here, rather than unwinding through the toolkit's handlers,
    // keeps worker threads and static objects from being torn down under
    // each other.
    abandon(EXIT_SUCCESS);
}

void GtkShell::abandon(int status)
{
    GDBusConnection* bus = g_application_get_is_registered(G_APPLICATION(application_))
        ? g_application_get_dbus_connection(G_APPLICATION(application_))
        : nullptr;
    if (bus != nullptr) {
        g_dbus_connection_flush_sync(bus, nullptr, nullptr);
    }
    std::fflush(nullptr);
    // A disconnect in flight is left to finish; a state query is not.
    posix::endChildrenThatEndWithApplication();
    std::_Exit(status);
}

void GtkShell::activateIgnoringOtherApps(IgnoringOtherApps ignoring)
{
    activationRequested_ = ignoring == IgnoringOtherApps::yes;
}

void GtkShell::present(GtkWindow* window)
{
    guint32 timestamp = GDK_CURRENT_TIME;
#ifdef GDK_WINDOWING_X11
    // A window manager that prevents focus stealing lets a window with a
    // fresh user timestamp through; the server's own clock is the freshest.
    GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(window));
    if (activationRequested_ && surface != nullptr && GDK_IS_X11_WINDOW(surface)) {
        timestamp = gdk_x11_get_server_time(surface);
    }
#endif
    activationRequested_ = false;
    gtk_window_present_with_time(window, timestamp);
}

void GtkShell::onActivate(GtkApplication* /*application*/, void* self) { static_cast<GtkShell*>(self)->activated(); }

void GtkShell::activated()
{
    if (delegate_ == nullptr) {
        return;
    }
    if (!launched_) {
        launched_ = true;
        // Nothing but the tray item keeps the application alive: no window
        // will ever hold it. Held only now: a run that an option ended
        // before the launch must not go on waiting.
        g_application_hold(G_APPLICATION(application_));
        delegate_->applicationDidFinishLaunching();
        return;
    }
    // The answer only says whether the platform should open a window itself;
    // a tray application never does.
    mainQueue_.async([delegate = delegate_] { (void)delegate->applicationShouldHandleReopen(); });
}

} // namespace lintara::gtk
