// SPDX-License-Identifier: MIT
#include "RemoteExport.hpp"

#include "RemoteBus.hpp"

#include <gio/gio.h>

#include <string_view>

namespace lintara::glib {

namespace {
    constexpr const char* propertiesInterface = "org.freedesktop.DBus.Properties";
    // Every property but Title, which is never announced.
    constexpr const char* announcedProperties[]
        = { "Connected", "Deadline", "Automatic", "SelectedMinutes", "Status", "Busy" };

    bool sameApartFromTitle(const RemoteState& a, const RemoteState& b)
    {
        return a.connected == b.connected && a.deadline == b.deadline && a.automatic == b.automatic
            && a.selectedMinutes == b.selectedMinutes && a.busy == b.busy && a.status == b.status;
    }

    // A floating reference, or null for a name the interface does not have.
    GVariant* propertyOf(const RemoteState& state, std::string_view name)
    {
        if (name == "Connected") {
            return g_variant_new_string(connectionWord(state.connected));
        }
        if (name == "Deadline") {
            return g_variant_new_int64(state.deadline);
        }
        if (name == "Automatic") {
            return g_variant_new_boolean(state.automatic ? TRUE : FALSE);
        }
        if (name == "SelectedMinutes") {
            return g_variant_new_int64(state.selectedMinutes);
        }
        if (name == "Status") {
            return g_variant_new_string(state.status.c_str());
        }
        if (name == "Busy") {
            return g_variant_new_boolean(state.busy ? TRUE : FALSE);
        }
        if (name == "Title") {
            return g_variant_new_string(state.title.c_str());
        }
        return nullptr;
    }

    void reply(GDBusMethodInvocation* invocation, RemoteResult result)
    {
        if (const std::optional<RemoteError> error = remoteError(result)) {
            g_dbus_method_invocation_return_dbus_error(invocation, error->name, error->message);
        } else {
            g_dbus_method_invocation_return_value(invocation, nullptr);
        }
    }

    const GDBusInterfaceVTable vtable = {
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant* parameters,
            GDBusMethodInvocation* invocation,
            gpointer self) { static_cast<RemoteExport*>(self)->methodCalled(method, parameters, invocation); },
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name, GError** error,
            gpointer self) -> GVariant* {
            GVariant* value = static_cast<const RemoteExport*>(self)->property(name);
            if (value == nullptr) {
                g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_FAILED, "Lintara has not started yet");
            }
            return value;
        },
        nullptr,
        {},
    };
} // namespace

RemoteExport::RemoteExport(DispatchQueue& mainQueue)
    : mainQueue_(mainQueue)
{
}

RemoteExport::~RemoteExport()
{
    if (cancellable_ != nullptr) {
        g_cancellable_cancel(cancellable_);
        g_object_unref(cancellable_);
    }
    if (ownership_ != 0) {
        g_bus_unown_name(ownership_);
    }
    if (connection_ != nullptr) {
        if (registration_ != 0) {
            g_dbus_connection_unregister_object(connection_, registration_);
        }
        g_object_unref(connection_);
    }
}

void RemoteExport::exportOn(GDBusConnection* connection)
{
    if (connection != nullptr && connection_ == nullptr) {
        connected(G_DBUS_CONNECTION(g_object_ref(connection)));
    }
}

void RemoteExport::exportOnSessionBus()
{
    if (cancellable_ != nullptr || connection_ != nullptr || !sessionBusKnown()) {
        return;
    }
    claimName_ = true;
    // In the background, so that a bus slow to answer never holds up the
    // start; the cancellable keeps a late answer from a destroyed object.
    cancellable_ = g_cancellable_new();
    g_bus_get(
        G_BUS_TYPE_SESSION, cancellable_,
        [](GObject*, GAsyncResult* result, gpointer self) {
            GError* error = nullptr;
            GDBusConnection* connection = g_bus_get_finish(result, &error);
            if (connection == nullptr) {
                g_error_free(error);
                return;
            }
            // The bus going away later must not take Lintara with it.
            g_dbus_connection_set_exit_on_close(connection, FALSE);
            static_cast<RemoteExport*>(self)->connected(connection);
        },
        this);
}

void RemoteExport::connected(GDBusConnection* connection)
{
    connection_ = connection;
    registerWhenReady();
}

void RemoteExport::setHandler(std::function<RemoteResult(const RemoteCommand&)> perform)
{
    perform_ = std::move(perform);
    registerWhenReady();
}

void RemoteExport::registerWhenReady()
{
    if (connection_ == nullptr || !perform_ || registration_ != 0) {
        return;
    }
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(remoteInterfaceXml(), nullptr);
    GDBusInterfaceInfo* interface = node != nullptr ? g_dbus_node_info_lookup_interface(node, remoteInterface)
                                                    : nullptr;
    if (interface != nullptr) {
        registration_ = g_dbus_connection_register_object(
            connection_, remoteObjectPath, interface, &vtable, this, nullptr, nullptr);
    }
    if (node != nullptr) {
        g_dbus_node_info_unref(node);
    }
    if (registration_ != 0 && claimName_) {
        ownership_ = g_bus_own_name_on_connection(
            connection_, remoteBusName, G_BUS_NAME_OWNER_FLAGS_NONE, nullptr, nullptr, nullptr, nullptr);
    }
}

void RemoteExport::methodCalled(const char* method, GVariant* parameters, GDBusMethodInvocation* invocation)
{
    // GDBus has checked the arguments against the interface already.
    const std::string_view name(method);
    RemoteCommand command;
    if (name == "Start" || name == "Extend") {
        command.verb = name == "Start" ? RemoteVerb::start : RemoteVerb::extend;
        gint64 minutes = 0;
        g_variant_get(parameters, "(x)", &minutes);
        command.minutes = minutes;
    } else if (name == "Cancel") {
        command.verb = RemoteVerb::cancel;
    } else if (name == "SetAutomatic") {
        command.verb = RemoteVerb::setAutomatic;
        gboolean on = FALSE;
        g_variant_get(parameters, "(b)", &on);
        command.automatic = on != FALSE ? ControlState::on : ControlState::off;
    } else {
        g_dbus_method_invocation_return_error(
            invocation, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD, "No such method %s", method);
        return;
    }
    // The caller waits for its answer until the command has run, behind an
    // open dialog if need be.
    mainQueue_.async([this, command, invocation] { reply(invocation, perform_(command)); });
}

GVariant* RemoteExport::property(const char* name) const { return state_ ? propertyOf(*state_, name) : nullptr; }

void RemoteExport::publish(const RemoteState& state)
{
    if (!state_) {
        state_ = state;
        return;
    }
    if (registration_ != 0 && !sameApartFromTitle(*state_, state)) {
        GVariantBuilder changed;
        g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
        for (const char* name : announcedProperties) {
            GVariant* before = g_variant_ref_sink(propertyOf(*state_, name));
            GVariant* after = g_variant_ref_sink(propertyOf(state, name));
            if (!g_variant_equal(before, after)) {
                g_variant_builder_add(&changed, "{sv}", name, after);
            }
            g_variant_unref(before);
            g_variant_unref(after);
        }
        g_dbus_connection_emit_signal(connection_, nullptr, remoteObjectPath, propertiesInterface, "PropertiesChanged",
            g_variant_new("(s@a{sv}@as)", remoteInterface, g_variant_builder_end(&changed),
                g_variant_new_array(G_VARIANT_TYPE_STRING, nullptr, 0)),
            nullptr);
    }
    // Assigned in place, so that the strings keep their storage from one
    // tick to the next.
    *state_ = state;
}

} // namespace lintara::glib
