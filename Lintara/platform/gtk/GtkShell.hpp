// SPDX-License-Identifier: MIT
// The application object on GTK: a GtkApplication that owns its name on the
// session bus, so that launching Lintara again reaches the running one.
//
// The first activation is the launch; every later one is the user opening the
// running application again (a second launch), which is handed to the
// controller as a reopen.
// Main thread only.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <functional>
#include <optional>
#include <string>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GtkApplication GtkApplication;
typedef struct _GApplication GApplication;
typedef struct _GVariantDict GVariantDict;
typedef struct _GOptionEntry GOptionEntry;
typedef struct _GtkWindow GtkWindow;

namespace lintara::gtk {

// Whether this process runs the application, only handed the launch to the
// copy that already does, or found the name held by a program that is not an
// application (lintara-term, which exports Lintara's interface under it).
// Without a session bus there is no tray to reach, nor a copy to hand to.
enum class Registration { primary, handedToRunning, heldByAnotherProgram, noSessionBus, failed };

// What the program does once its options are parsed, before anything else
// happens: the exit status to end with, or nothing to go on and launch.
using LocalOptionsHandler = std::function<std::optional<int>()>;

class GtkShell final : public Application {
public:
    // Reopens are posted to mainQueue, so that one arriving while a modal
    // dialog is open waits for it to close.
    GtkShell(const std::string& applicationId, std::string iconName, DispatchQueue& mainQueue);
    ~GtkShell() override;
    GtkShell(const GtkShell&) = delete;
    GtkShell& operator=(const GtkShell&) = delete;

    // The command line run() parses, with these entries (which must outlive
    // the parse), and what to do once they are parsed. A mistake on the
    // command line prints its error and usage to standard error and ends the
    // process with usageStatus.
    void takeCommandLine(int argc, char** argv, const GOptionEntry* entries, const char* summary, std::string usage,
        int usageStatus, LocalOptionsHandler handler);

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
    static int onLocalOptions(GApplication* application, GVariantDict* options, void* self);
    void activated();

    GtkApplication* application_;
    std::string applicationId_;
    std::string iconName_;
    DispatchQueue& mainQueue_;
    ApplicationDelegate* delegate_ = nullptr;
    bool launched_ = false;
    bool activationRequested_ = false;
    int argc_ = 0;
    char** argv_ = nullptr;
    std::string usage_;
    int usageStatus_ = 0;
    LocalOptionsHandler localOptions_;
    bool optionsParsed_ = false;
    std::optional<int> optionStatus_;
};

} // namespace lintara::gtk
