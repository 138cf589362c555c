// SPDX-License-Identifier: MIT
#include "NotificationWarnings.hpp"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace lintara::gtk {

namespace {
    constexpr const char* serverName = "org.freedesktop.Notifications";
    constexpr const char* serverPath = "/org/freedesktop/Notifications";
    constexpr const char* serverInterface = "org.freedesktop.Notifications";
    constexpr guchar normalUrgency = 1;
    // Should the withdrawal never reach the server, the notification still
    // goes this long after the deadline rather than stay for good.
    constexpr double expiryMargin = 60.0;
    // A server that has not answered Notify by then counts as absent.
    constexpr int notifyTimeoutMillis = 10000;

    const char* actionKey(WarningAction action)
    {
        switch (action) {
        case WarningAction::extend: return "extend";
        case WarningAction::disconnectNow: return "disconnect-now";
        }
        return "";
    }

    gint32 expireTimeoutMillis(double secondsLeft)
    {
        const double millis = std::ceil((std::max(secondsLeft, 0.0) + expiryMargin) * 1000.0);
        constexpr auto longest = std::numeric_limits<gint32>::max();
        return millis < static_cast<double>(longest) ? static_cast<gint32>(millis) : longest;
    }

    void closeNotification(GDBusConnection* bus, std::uint32_t id)
    {
        g_dbus_connection_call(bus, serverName, serverPath, serverInterface, "CloseNotification",
            g_variant_new("(u)", id), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
    }
} // namespace

// What the answer to one Notify call needs to find its way back.
struct NotificationWarnings::Pending {
    NotificationWarnings* self;
    std::uint64_t serial;
};

NotificationWarnings::NotificationWarnings(
    DispatchQueue& mainQueue, Clock& clock, std::string desktopEntry, std::string iconName)
    : mainQueue_(mainQueue)
    , clock_(clock)
    , desktopEntry_(std::move(desktopEntry))
    , iconName_(std::move(iconName))
    , cancellable_(g_cancellable_new())
{
}

NotificationWarnings::~NotificationWarnings()
{
    // A Notify still in flight must not answer into a destroyed object.
    g_cancellable_cancel(cancellable_);
    g_object_unref(cancellable_);
    if (bus_ != nullptr) {
        g_dbus_connection_signal_unsubscribe(bus_, subscription_);
        g_object_unref(bus_);
    }
    closeWindow();
}

void NotificationWarnings::connect()
{
    if (bus_ != nullptr) {
        return;
    }
    // The application registered on this bus at start, so it is open already
    // and this does not wait.
    GError* error = nullptr;
    bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus_ == nullptr) {
        g_log("Lintara", G_LOG_LEVEL_MESSAGE, "no session bus for notifications: %s", error->message);
        g_error_free(error);
        return;
    }
    subscription_ = g_dbus_connection_signal_subscribe(
        bus_, serverName, serverInterface, nullptr, serverPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* signal, GVariant* parameters,
            gpointer self) {
            guint32 id = 0;
            const gchar* key = nullptr;
            if (g_strcmp0(signal, "ActionInvoked") == 0 && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(us)"))) {
                g_variant_get(parameters, "(u&s)", &id, &key);
                static_cast<NotificationWarnings*>(self)->serverSignalled(signal, id, key);
            } else if (g_strcmp0(signal, "NotificationClosed") == 0
                && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(uu)"))) {
                g_variant_get(parameters, "(uu)", &id, nullptr);
                static_cast<NotificationWarnings*>(self)->serverSignalled(signal, id, nullptr);
            }
        },
        this, nullptr);
}

void NotificationWarnings::show(const Warning& warning, std::function<void(WarningAction)> chosen)
{
    withdraw();
    warning_ = warning;
    chosen_ = std::move(chosen);
    connect();
    if (bus_ == nullptr) {
        showWindow();
        return;
    }
    GVariantBuilder actions;
    g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
    for (const Warning::Choice& choice : warning.actions) {
        g_variant_builder_add(&actions, "s", actionKey(choice.action));
        g_variant_builder_add(&actions, "s", choice.title.c_str());
    }
    GVariantBuilder hints;
    g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&hints, "{sv}", "urgency", g_variant_new_byte(normalUrgency));
    g_variant_builder_add(&hints, "{sv}", "desktop-entry", g_variant_new_string(desktopEntry_.c_str()));
    // Servers close a notification once an action is clicked, unless told
    // otherwise; the controller decides when the warning goes (an action
    // does nothing while a disconnect runs).
    g_variant_builder_add(&hints, "{sv}", "resident", g_variant_new_boolean(TRUE));
    const gint32 timeout = expireTimeoutMillis(warning.deadline.timeIntervalSince(clock_.now()));
    g_dbus_connection_call(
        bus_, serverName, serverPath, serverInterface, "Notify",
        g_variant_new("(susssasa{sv}i)", "Lintara", 0U, iconName_.c_str(), warning.summary.c_str(),
            warning.body.c_str(), &actions, &hints, timeout),
        G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, notifyTimeoutMillis, cancellable_,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            const std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
            GError* error = nullptr;
            GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
            if (reply == nullptr) {
                const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
                if (!cancelled) {
                    g_log("Lintara", G_LOG_LEVEL_MESSAGE, "no notification server, so a window warns: %s",
                        error->message);
                }
                g_error_free(error);
                if (!cancelled) {
                    pending->self->notified(pending->serial, std::nullopt);
                }
                return;
            }
            guint32 id = 0;
            g_variant_get(reply, "(u)", &id);
            g_variant_unref(reply);
            pending->self->notified(pending->serial, id);
        },
        new Pending { this, serial_ });
}

void NotificationWarnings::notified(std::uint64_t serial, std::optional<std::uint32_t> id)
{
    if (serial != serial_) {
        // Withdrawn or replaced before the server answered.
        if (id) {
            closeNotification(bus_, *id);
        }
        return;
    }
    if (id) {
        notificationId_ = *id;
        return;
    }
    showWindow();
}

void NotificationWarnings::withdraw()
{
    ++serial_;
    if (notificationId_ != 0) {
        closeNotification(bus_, notificationId_);
        notificationId_ = 0;
    }
    closeWindow();
    warning_.reset();
    chosen_ = nullptr;
}

void NotificationWarnings::serverSignalled(const char* signal, std::uint32_t id, const char* actionKeyInvoked)
{
    if (id == 0 || id != notificationId_) {
        return;
    }
    if (g_strcmp0(signal, "NotificationClosed") == 0) {
        // Dismissed, or closed after its action: nothing left to close.
        notificationId_ = 0;
        return;
    }
    for (std::size_t index = 0; index < warning_->actions.size(); ++index) {
        if (g_strcmp0(actionKeyInvoked, actionKey(warning_->actions[index].action)) == 0) {
            deliver(index);
            return;
        }
    }
}

void NotificationWarnings::deliver(std::size_t index)
{
    if (!warning_ || index >= warning_->actions.size()) {
        return;
    }
    mainQueue_.async([chosen = chosen_, action = warning_->actions[index].action] { chosen(action); });
}

void NotificationWarnings::showWindow()
{
    closeWindow();
    const Warning& warning = *warning_;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), warning.summary.c_str());
    gtk_window_set_icon_name(GTK_WINDOW(window), iconName_.c_str());
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    gtk_window_set_keep_above(GTK_WINDOW(window), TRUE);
    // Seen above everything, but it does not take the keyboard from whatever
    // the person is typing into, where a stray Return would press a button.
    gtk_window_set_focus_on_map(GTK_WINDOW(window), FALSE);

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    gtk_container_set_border_width(GTK_CONTAINER(box), 12);
    GtkWidget* summary = gtk_label_new(nullptr);
    gchar* markup = g_markup_printf_escaped("<b>%s</b>", warning.summary.c_str());
    gtk_label_set_markup(GTK_LABEL(summary), markup);
    g_free(markup);
    gtk_label_set_xalign(GTK_LABEL(summary), 0);
    GtkWidget* body = gtk_label_new(warning.body.c_str());
    gtk_label_set_xalign(GTK_LABEL(body), 0);
    GtkWidget* buttons = gtk_button_box_new(GTK_ORIENTATION_HORIZONTAL);
    gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_END);
    gtk_box_set_spacing(GTK_BOX(buttons), 6);
    for (std::size_t index = 0; index < warning.actions.size(); ++index) {
        GtkWidget* button = gtk_button_new_with_label(warning.actions[index].title.c_str());
        g_object_set_data(G_OBJECT(button), "lintara-choice", GSIZE_TO_POINTER(index));
        g_signal_connect(button, "clicked", G_CALLBACK(+[](GtkButton* clicked, gpointer self) {
            static_cast<NotificationWarnings*>(self)->deliver(
                GPOINTER_TO_SIZE(g_object_get_data(G_OBJECT(clicked), "lintara-choice")));
        }),
            this);
        gtk_container_add(GTK_CONTAINER(buttons), button);
    }
    gtk_box_pack_start(GTK_BOX(box), summary, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), body, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), buttons, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    // Closed by the person: dismissed, as a notification can be.
    g_signal_connect(window, "destroy",
        G_CALLBACK(+[](GtkWidget*, gpointer self) { static_cast<NotificationWarnings*>(self)->window_ = nullptr; }),
        this);
    window_ = window;
    gtk_widget_show_all(window);
}

void NotificationWarnings::closeWindow()
{
    if (window_ != nullptr) {
        gtk_widget_destroy(window_);
    }
}

} // namespace lintara::gtk
