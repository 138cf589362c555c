// SPDX-License-Identifier: MIT
// The application and its delegate bridge. The bridge is the one way in from
// AppKit's application callbacks, and it catches what the controller might
// throw before it could cross into AppKit.
#import <AppKit/AppKit.h>

#include "AppKitApplication.h"
#include "CallGuarded.h"

using lintara::appkit::callGuarded;

// The standard editing actions, answered along the responder chain by the
// field editor and the window's undo manager. Declared so that the selector
// check knows them whichever headers declare them.
@protocol LintaraEditingActions
- (void)undo:(id)sender;
- (void)redo:(id)sender;
@end

// The application's delegate: forwards the two application callbacks to the
// seam's delegate. NSApplication holds its delegate weakly, so the binding
// keeps this object alive.
@interface LintaraApplicationBridge : NSObject <NSApplicationDelegate>
- (instancetype)initWithDelegate:(lintara::ApplicationDelegate*)delegate
                        deferral:(lintara::appkit::ModalDeferral*)deferral;
@end

@implementation LintaraApplicationBridge {
    lintara::ApplicationDelegate* _delegate;
    lintara::appkit::ModalDeferral* _deferral;
}

- (instancetype)initWithDelegate:(lintara::ApplicationDelegate*)delegate
                        deferral:(lintara::appkit::ModalDeferral*)deferral
{
    self = [super init];
    if (self != nil) {
        _delegate = delegate;
        _deferral = deferral;
    }
    return self;
}

- (void)applicationDidFinishLaunching:(NSNotification*)notification
{
    (void)notification;
    callGuarded("launching", [self] { _delegate->applicationDidFinishLaunching(); });
}

- (BOOL)applicationShouldHandleReopen:(NSApplication*)sender hasVisibleWindows:(BOOL)flag
{
    (void)sender;
    (void)flag;
    // Reopening while one of our alerts is open would nest the controller
    // inside the operation that opened it, so the redraw waits for the alert
    // to close. The controller's answer is always "no", and so is ours.
    if (_deferral->modalOpen()) {
        lintara::ApplicationDelegate* delegate = _delegate;
        lintara::appkit::ModalDeferral* deferral = _deferral;
        callGuarded("reopening", [deferral, delegate] {
            deferral->submit([delegate] { (void)delegate->applicationShouldHandleReopen(); });
        });
        return NO;
    }
    bool answer = false;
    callGuarded("reopening", [self, &answer] { answer = _delegate->applicationShouldHandleReopen(); });
    return answer ? YES : NO;
}

@end

namespace lintara::appkit {

namespace {

    // A main menu whose only use is its key equivalents. An accessory
    // application never shows one, but without it the custom-duration field
    // gets no Cmd-V, Cmd-C, Cmd-X, Cmd-A or Cmd-Z: they only beep. The
    // actions go to the first responder, the field's editor.
    NSMenu* editingMenu()
    {
        struct Entry {
            NSString* title;
            SEL action;
            NSString* key;
        };
        const Entry entries[] = {
            { @"실행 취소", @selector(undo:), @"z" },
            { @"실행 복귀", @selector(redo:), @"Z" },
            { @"잘라내기", @selector(cut:), @"x" },
            { @"복사", @selector(copy:), @"c" },
            { @"붙여넣기", @selector(paste:), @"v" },
            { @"전체 선택", @selector(selectAll:), @"a" },
        };
        NSMenu* edit = [[NSMenu alloc] initWithTitle:@"편집"];
        for (const Entry& entry : entries) {
            [edit addItem:[[NSMenuItem alloc] initWithTitle:entry.title action:entry.action keyEquivalent:entry.key]];
        }
        NSMenuItem* editItem = [[NSMenuItem alloc] initWithTitle:@"편집" action:nullptr keyEquivalent:@""];
        [editItem setSubmenu:edit];
        // AppKit takes the first entry for the application menu.
        NSMenu* menuBar = [[NSMenu alloc] initWithTitle:@""];
        [menuBar addItem:[[NSMenuItem alloc] initWithTitle:@"Lintara" action:nullptr keyEquivalent:@""]];
        [menuBar addItem:editItem];
        return menuBar;
    }

} // namespace

AppKitApplication::AppKitApplication(NSApplication* application, ModalDeferral& deferral)
    : application_(application)
    , deferral_(deferral)
{
}

void AppKitApplication::setActivationPolicy(ActivationPolicy policy)
{
    NSApplicationActivationPolicy value = NSApplicationActivationPolicyAccessory;
    switch (policy) {
    case ActivationPolicy::regular: value = NSApplicationActivationPolicyRegular; break;
    case ActivationPolicy::accessory: value = NSApplicationActivationPolicyAccessory; break;
    case ActivationPolicy::prohibited: value = NSApplicationActivationPolicyProhibited; break;
    }
    [application_ setActivationPolicy:value];
}

void AppKitApplication::setDelegate(ApplicationDelegate* delegate)
{
    bridge_ = [[LintaraApplicationBridge alloc] initWithDelegate:delegate deferral:&deferral_];
    [application_ setDelegate:bridge_];
}

void AppKitApplication::run()
{
    [application_ setMainMenu:editingMenu()];
    [application_ run];
}

void AppKitApplication::terminate() { [application_ terminate:nil]; }

void AppKitApplication::activateIgnoringOtherApps(IgnoringOtherApps ignoring)
{
    // An accessory application with no window of its own must come forward
    // for its alert to be seen and typed into. From macOS 14 the old call may
    // be declined, and the disconnect's outcome, which no click precedes,
    // would open behind the active app; -activate is the call those systems
    // honour. Earlier systems have only the old one. The alert also raises its
    // own window (see AppKitAlerts), should activation still be refused.
    if (@available(macOS 14, *)) {
        [application_ activate];
    } else {
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
        [application_ activateIgnoringOtherApps:ignoring == IgnoringOtherApps::yes ? YES : NO];
#pragma clang diagnostic pop
    }
}

} // namespace lintara::appkit
