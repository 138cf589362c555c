// SPDX-License-Identifier: MIT
// Lintara on the session bus: the object /io/lintara/Lintara with the
// interface io.lintara.Lintara1 (see data/io.lintara.Lintara1.xml), for both
// Linux front ends.
//
// Properties are answered at once from the state the controller last
// published. Method calls become commands on the main queue, so that one
// arriving while a modal dialog is open waits for it like a menu choice; the
// caller gets its answer when the controller has run it. PropertiesChanged
// goes out only when a value other than Title changes: an idle countdown
// sends nothing.
//
// Main thread only.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <functional>
#include <optional>

typedef struct _GCancellable GCancellable;
typedef struct _GDBusConnection GDBusConnection;
typedef struct _GDBusMethodInvocation GDBusMethodInvocation;
typedef struct _GVariant GVariant;

namespace lintara::glib {

class RemoteExport final : public RemoteControl {
public:
    // mainQueue must outlive this object.
    explicit RemoteExport(DispatchQueue& mainQueue);
    ~RemoteExport() override;
    RemoteExport(const RemoteExport&) = delete;
    RemoteExport& operator=(const RemoteExport&) = delete;

    // On a connection whose owner already holds the well-known name (the
    // tray's application does).
    void exportOn(GDBusConnection* connection);
    // Connects to the session bus in the background, exports, then claims
    // the well-known name. Without a session bus, or should connecting fail,
    // there is no interface and nothing is said: the rest runs as before.
    void exportOnSessionBus();

    void setHandler(std::function<RemoteResult(const RemoteCommand&)> perform) override;
    void publish(const RemoteState& state) override;

    // For the interface's vtable.
    void methodCalled(const char* method, GVariant* parameters, GDBusMethodInvocation* invocation);
    [[nodiscard]] GVariant* property(const char* name) const;

private:
    void connected(GDBusConnection* connection);
    // Registers once both the connection and the handler are there.
    void registerWhenReady();

    DispatchQueue& mainQueue_;
    std::function<RemoteResult(const RemoteCommand&)> perform_;
    std::optional<RemoteState> state_;
    GCancellable* cancellable_ = nullptr;
    GDBusConnection* connection_ = nullptr;
    bool claimName_ = false;
    unsigned registration_ = 0;
    unsigned ownership_ = 0;
};

} // namespace lintara::glib
