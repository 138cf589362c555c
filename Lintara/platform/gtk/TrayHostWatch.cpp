// SPDX-License-Identifier: MIT
#include "TrayHostWatch.hpp"

#include <gio/gio.h>

#include <cstdio>

namespace lintara::gtk {

namespace {
    constexpr const char* watcherName = "org.kde.StatusNotifierWatcher";

    // One notification through org.freedesktop.Notifications; with no server
    // to take it, nothing happens.
    void notify(const std::string& iconName, const std::string& summary, const std::string& body)
    {
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (bus == nullptr) {
            return;
        }
        const gchar* const noActions[] = { nullptr };
        GVariantBuilder hints;
        g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
        g_dbus_connection_call(bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
            "org.freedesktop.Notifications", "Notify",
            g_variant_new("(susss^asa{sv}i)", "Lintara", 0U, iconName.c_str(), summary.c_str(), body.c_str(), noActions,
                &hints, -1),
            G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
        g_object_unref(bus);
    }
} // namespace

std::string missingHostMessage()
{
    return "no tray host (StatusNotifierItem) shows Lintara's item on this desktop, so its countdown runs unseen; "
           "it waits for one. On GNOME, install and turn on the AppIndicator extension "
           "(gnome-shell-extension-appindicator), or use lintara-term in a terminal instead.";
}

TrayHostWatch::TrayHostWatch(Log& log, std::string iconName, unsigned graceSeconds)
    : log_(log)
    , iconName_(std::move(iconName))
    , graceSeconds_(graceSeconds)
{
    watch_ = g_bus_watch_name(
        G_BUS_TYPE_SESSION, watcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, gpointer self) {
            static_cast<TrayHostWatch*>(self)->appeared();
        },
        [](GDBusConnection*, const gchar*, gpointer self) { static_cast<TrayHostWatch*>(self)->vanished(); }, this,
        nullptr);
}

TrayHostWatch::~TrayHostWatch()
{
    g_bus_unwatch_name(watch_);
    if (timer_ != 0) {
        g_source_remove(timer_);
    }
}

void TrayHostWatch::appeared()
{
    if (timer_ != 0) {
        g_source_remove(timer_);
        timer_ = 0;
    }
    if (missingSaid_) {
        missingSaid_ = false;
        log_.write(LogLevel::info, "a tray host has come: the item shows again");
    }
}

void TrayHostWatch::vanished()
{
    if (timer_ != 0 || missingSaid_) {
        return;
    }
    timer_ = g_timeout_add_seconds(
        graceSeconds_,
        [](gpointer self) -> gboolean {
            static_cast<TrayHostWatch*>(self)->graceOver();
            return G_SOURCE_REMOVE;
        },
        this);
}

void TrayHostWatch::graceOver()
{
    timer_ = 0;
    missingSaid_ = true;
    const std::string message = missingHostMessage();
    std::fprintf(stderr, "lintara: %s\n", message.c_str());
    log_.write(LogLevel::warning, message);
    if (!notified_) {
        notified_ = true;
        notify(iconName_, "Lintara cannot show itself in the tray", message);
    }
}

} // namespace lintara::gtk
