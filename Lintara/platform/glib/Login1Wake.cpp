// SPDX-License-Identifier: MIT
#include "Login1Wake.hpp"

#include <gio/gio.h>

namespace lintara::glib {

namespace {
    constexpr const char* login1Name = "org.freedesktop.login1";
    constexpr const char* managerInterface = "org.freedesktop.login1.Manager";
    constexpr const char* managerPath = "/org/freedesktop/login1";
} // namespace

Login1Wake::Login1Wake(DispatchQueue& mainQueue)
    : mainQueue_(mainQueue)
{
}

Login1Wake::~Login1Wake()
{
    if (cancellable_ != nullptr) {
        g_cancellable_cancel(cancellable_);
        g_object_unref(cancellable_);
    }
    if (connection_ != nullptr) {
        if (subscription_ != 0) {
            g_dbus_connection_signal_unsubscribe(connection_, subscription_);
        }
        g_object_unref(connection_);
    }
    if (watch_ != 0) {
        g_bus_unwatch_name(watch_);
    }
}

void Login1Wake::addObserver(Notification name, std::function<void()> callback)
{
    if (name != Notification::workspaceDidWake) {
        return;
    }
    observers_.push_back(std::move(callback));
    if (cancellable_ != nullptr) {
        return;
    }
    // Asynchronous, so that start-up never waits on a bus that is slow to
    // answer. The cancellable keeps a late answer from reaching a destroyed
    // object.
    cancellable_ = g_cancellable_new();
    g_bus_get(
        G_BUS_TYPE_SYSTEM, cancellable_,
        [](GObject*, GAsyncResult* result, gpointer data) {
            GError* error = nullptr;
            GDBusConnection* connection = g_bus_get_finish(result, &error);
            if (connection == nullptr) {
                // No system bus (or cancelled): wake-ups go unnoticed, and the
                // next timer tick catches up anyway.
                g_error_free(error);
                return;
            }
            static_cast<Login1Wake*>(data)->connected(connection);
        },
        this);
}

void Login1Wake::connected(GDBusConnection* connection)
{
    connection_ = connection;
    subscription_ = g_dbus_connection_signal_subscribe(
        connection_, login1Name, managerInterface, "PrepareForSleep", managerPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar*, GVariant* parameters,
            gpointer data) {
            if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) {
                return;
            }
            gboolean sleeping = FALSE;
            g_variant_get(parameters, "(b)", &sleeping);
            static_cast<Login1Wake*>(data)->signalled(sender, sleeping != FALSE);
        },
        this, nullptr);
    watch_ = g_bus_watch_name_on_connection(
        connection_, login1Name, G_BUS_NAME_WATCHER_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar* owner, gpointer data) {
            static_cast<Login1Wake*>(data)->ownerChanged(owner);
        },
        [](GDBusConnection*, const gchar*, gpointer data) { static_cast<Login1Wake*>(data)->ownerChanged({}); }, this,
        nullptr);
}

void Login1Wake::ownerChanged(std::string owner)
{
    owner_ = std::move(owner);
    if (onReady_) {
        onReady_(owner_);
    }
}

void Login1Wake::signalled(const char* sender, bool sleeping)
{
    // GDBus already matches the well-known name against its owner; checking
    // the unique name here as well keeps that true whatever GLib does.
    if (sleeping || owner_.empty() || sender == nullptr || owner_ != sender) {
        return;
    }
    for (const auto& observer : observers_) {
        mainQueue_.async(observer);
    }
}

} // namespace lintara::glib
