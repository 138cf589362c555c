// The application object on GTK: a GtkApplication that owns its name on the
// session bus, so that launching Lintara again reaches the running one.
//
// The first activation is the launch; every later one is the user opening the
// running application again (a second launch), which is handed to the
// controller as a reopen.
// Main thread only.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <string>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GtkApplication GtkApplication;
typedef struct _GtkWindow GtkWindow;

namespace lintara::gtk {

// Whether this process runs the application, only handed the launch to the
// copy that already does, or found the name held by a program that is not an
// application (lintara-term, which exports Lintara's interface under it).
enum class Registration { primary, handedToRunning, heldByAnotherProgram, failed };

class GtkShell final : public Application {
public:
    // Reopens are posted to mainQueue, so that one arriving while a modal
    // dialog is open waits for it to close.
    GtkShell(const std::string& applicationId, std::string iconName, DispatchQueue& mainQueue);
    ~GtkShell() override;
    GtkShell(const GtkShell&) = delete;
    GtkShell& operator=(const GtkShell&) = delete;

    // Claims the application id on the session bus. A copy that is already
    // running gets an activation and this process should exit.
    [[nodiscard]] Registration registerOnSessionBus(std::string& error);
    // The connection that holds the name, once registered as primary.
    [[nodiscard]] GDBusConnection* busConnection() const;

    // Ends the process, and with it the state query if one runs. Also
    // before run(), after registering: only the run loop can take a
    // registration back, so nothing is torn down on the way out.
    [[noreturn]] void abandon(int status);

    void setActivationPolicy(ActivationPolicy policy) override;
    void setDelegate(ApplicationDelegate* delegate) override;
    void run() override;
    void terminate() override;
    void activateIgnoringOtherApps(IgnoringOtherApps ignoring) override;

    // Shows a window in front of the others. After activateIgnoringOtherApps
    // it takes the focus even from another application's window.
    void present(GtkWindow* window);
    [[nodiscard]] const std::string& iconName() const { return iconName_; }

private:
    static void onActivate(GtkApplication* application, void* self);
    void activated();

    GtkApplication* application_;
    std::string applicationId_;
    std::string iconName_;
    DispatchQueue& mainQueue_;
    ApplicationDelegate* delegate_ = nullptr;
    bool launched_ = false;
    bool activationRequested_ = false;
};

} // namespace lintara::gtk
