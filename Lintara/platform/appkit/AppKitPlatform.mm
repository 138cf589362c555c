// The seam's interfaces, each as the AppKit, Foundation or Dispatch call that
// does the same job on macOS. The controller is reached only through the
// small Objective-C objects below (the application delegate, the menu target,
// the timer and notification callback), and every one of them catches what
// the controller might throw before it could cross into AppKit.
#import <AppKit/AppKit.h>

#include <dispatch/dispatch.h>

#include "AppKitPlatform.hpp"
#include "AppKitSupport.hpp"
#include "AppKitWarnings.hpp"
#include "Conversions.h"

#include "Lintara/Lintara.hpp"
#include "Lintara/platform/posix/PosixProcess.hpp"

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace lintara::appkit {

namespace {

    // The controller state may be half-written after an exception, so the
    // application ends rather than run on with it. Terminating is an AppKit
    // call, so a background thread asks the main thread to do it.
    void reportEscapedException(const char* where, const char* what) noexcept
    {
        NSLog(@"Lintara: %@ failed: %@. Quitting.", toNSString(where), toNSString(what));
        if ([NSThread isMainThread]) {
            [NSApp terminate:nil];
        } else {
            dispatch_async(dispatch_get_main_queue(), ^{ [NSApp terminate:nil]; });
        }
    }

    // Every entry from AppKit or Dispatch into C++ goes through here.
    template <typename Work> void callGuarded(const char* where, Work&& work) noexcept
    {
        try {
            std::forward<Work>(work)();
        } catch (const std::exception& error) {
            reportEscapedException(where, error.what());
        } catch (...) {
            reportEscapedException(where, "an unknown exception");
        }
    }

} // namespace

} // namespace lintara::appkit

using lintara::appkit::callGuarded;

// The standard editing actions, answered along the responder chain by the
// field editor and the window's undo manager. Declared so that the selector
// check knows them whichever headers declare them.
@protocol LintaraEditingActions
- (void)undo:(id)sender;
- (void)redo:(id)sender;
@end

// ------------------------------------------------------------ the delegate

// The application's delegate: forwards the two application callbacks to the
// controller. NSApplication holds its delegate weakly, so the binding keeps
// this object alive.
@interface LintaraApplicationBridge : NSObject <NSApplicationDelegate>
- (instancetype)initWithController:(lintara::AppDelegate*)controller gate:(lintara::appkit::MainQueueGate*)gate;
@end

@implementation LintaraApplicationBridge {
    lintara::AppDelegate* _controller;
    lintara::appkit::MainQueueGate* _gate;
}

- (instancetype)initWithController:(lintara::AppDelegate*)controller gate:(lintara::appkit::MainQueueGate*)gate
{
    self = [super init];
    if (self != nil) {
        _controller = controller;
        _gate = gate;
    }
    return self;
}

- (void)applicationDidFinishLaunching:(NSNotification*)notification
{
    (void)notification;
    callGuarded("launching", [self] { _controller->applicationDidFinishLaunching(); });
}

- (BOOL)applicationShouldHandleReopen:(NSApplication*)sender hasVisibleWindows:(BOOL)flag
{
    (void)sender;
    (void)flag;
    // Reopening while one of our alerts is open would nest the controller
    // inside the operation that opened it, so the redraw waits for the alert
    // to close. The controller's answer is always "no", and so is ours.
    if (_gate->modalOpen()) {
        lintara::AppDelegate* controller = _controller;
        lintara::appkit::MainQueueGate* gate = _gate;
        callGuarded("reopening",
            [gate, controller] { gate->submit([controller] { (void)controller->applicationShouldHandleReopen(); }); });
        return NO;
    }
    bool answer = false;
    callGuarded("reopening", [self, &answer] { answer = _controller->applicationShouldHandleReopen(); });
    return answer ? YES : NO;
}

@end

// --------------------------------------------------------------- the menu

// The target of every entry in one rendered menu. It keeps that menu's model
// so that a chosen entry can be handed back to the controller exactly as the
// controller built it. Its selectors carry the controller operations' names.
// As the menu's delegate it also holds main-queue work back while the menu is
// open, as an alert does.
@interface LintaraMenuTarget : NSObject <NSMenuDelegate>
- (instancetype)initWithItems:(std::vector<lintara::MenuItem>)items gate:(lintara::appkit::MainQueueGate*)gate;
- (const std::vector<lintara::MenuItem>&)items;
- (void)toggleAutomatic;
- (void)preset:(id)sender;
- (void)customDuration;
- (void)cancelTimer;
- (void)quitApp;
@end

@implementation LintaraMenuTarget {
    std::vector<lintara::MenuItem> _items;
    lintara::appkit::MainQueueGate* _gate;
    std::unique_ptr<lintara::appkit::MainQueueGate::MenuTracking> _tracking;
}

- (instancetype)initWithItems:(std::vector<lintara::MenuItem>)items gate:(lintara::appkit::MainQueueGate*)gate
{
    self = [super init];
    if (self != nil) {
        _items = std::move(items);
        _gate = gate;
        _tracking = std::make_unique<lintara::appkit::MainQueueGate::MenuTracking>(*gate);
    }
    return self;
}

// Menu tracking holds the tick timer, but not the main queue nor the wake
// notification: a disconnect's outcome would open its alert inside the
// tracking, and a poll result would replace the menu under the open one.
- (void)menuWillOpen:(NSMenu*)menu
{
    (void)menu;
    _tracking->willOpen();
}

- (void)menuDidClose:(NSMenu*)menu
{
    (void)menu;
    callGuarded("closing the menu", [self] { _tracking->didClose(); });
}

- (const std::vector<lintara::MenuItem>&)items
{
    return _items;
}

// The chosen entry is copied out before the controller runs, and this object
// is held until the action returns: the controller renders, which replaces
// the menu that owns this object, possibly releasing both mid-action.
- (void)deliverAction:(lintara::Action)action sender:(id)sender
{
    __attribute__((objc_precise_lifetime)) LintaraMenuTarget* keepAlive = self;
    (void)keepAlive;
    std::optional<lintara::MenuItem> chosen;
    if ([sender isKindOfClass:[NSMenuItem class]] && [[sender representedObject] isKindOfClass:[NSNumber class]]) {
        const NSUInteger index = [[sender representedObject] unsignedIntegerValue];
        if (index < _items.size() && _items[index].action == action) {
            chosen = _items[index];
        }
    }
    if (!chosen) {
        // The selectors without a sender name one entry each.
        for (const lintara::MenuItem& item : _items) {
            if (item.action == action) {
                chosen = item;
                break;
            }
        }
    }
    if (!chosen) {
        return;
    }
    lintara::appkit::MainQueueGate* gate = _gate;
    callGuarded(
        "a menu action", [gate, &chosen] { gate->submit([item = std::move(*chosen)] { lintara::sendAction(item); }); });
}

- (void)toggleAutomatic
{
    [self deliverAction:lintara::Action::toggleAutomatic sender:nil];
}

- (void)preset:(id)sender
{
    [self deliverAction:lintara::Action::preset sender:sender];
}

- (void)customDuration
{
    [self deliverAction:lintara::Action::customDuration sender:nil];
}

- (void)cancelTimer
{
    [self deliverAction:lintara::Action::cancelTimer sender:nil];
}

- (void)quitApp
{
    [self deliverAction:lintara::Action::quitApp sender:nil];
}

@end

// A menu that keeps its entries' target alive. Menu items hold their target
// weakly, and a result that arrives while the menu is open renders a new menu
// in its place; the open one must still deliver a choice, so the target lives
// exactly as long as the menu that uses it.
@interface LintaraMenu : NSMenu
@property (nonatomic, strong) LintaraMenuTarget* actionTarget;
@end

@implementation LintaraMenu
@end

// ------------------------------------------------ timer and notifications

// Calls one C++ function when its selector is sent: the target of the tick
// timer and the observer of the wake notification.
@interface LintaraCallback : NSObject
- (instancetype)initWithCallback:(std::function<void()>)callback;
- (void)fire:(id)sender;
@end

@implementation LintaraCallback {
    std::function<void()> _callback;
}

- (instancetype)initWithCallback:(std::function<void()>)callback
{
    self = [super init];
    if (self != nil) {
        _callback = std::move(callback);
    }
    return self;
}

- (void)fire:(id)sender
{
    (void)sender;
    callGuarded("a timer or notification", _callback);
}

@end

// Ends the running modal alert once the wall clock reaches an instant. It
// looks at the clock at least once a second rather than trusting one long
// timer, whose run-loop time stops while the Mac sleeps and ignores a clock
// that is set.
@interface LintaraAlertCloser : NSObject
- (instancetype)initWithClock:(lintara::Clock*)clock closesAt:(lintara::Date)closesAt;
- (void)check:(NSTimer*)timer;
@end

@implementation LintaraAlertCloser {
    lintara::Clock* _clock;
    lintara::Date _closesAt;
}

- (instancetype)initWithClock:(lintara::Clock*)clock closesAt:(lintara::Date)closesAt
{
    self = [super init];
    if (self != nil) {
        _clock = clock;
        _closesAt = closesAt;
    }
    return self;
}

- (void)check:(NSTimer*)timer
{
    callGuarded("closing an alert", [self, timer] {
        const std::optional<double> wait = lintara::appkit::nextCloseCheck(_clock->now(), _closesAt);
        if (wait) {
            [timer setFireDate:[NSDate dateWithTimeIntervalSinceNow:*wait]];
            return;
        }
        [timer invalidate];
        // The way to end a modal loop from a timer rather than from one of
        // its own windows' actions.
        [NSApp abortModal];
    });
}

@end

namespace lintara::appkit {

namespace {

    // ---------------------------------------------------------- application

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

    class AppKitApplication final : public Application {
    public:
        AppKitApplication(NSApplication* application, MainQueueGate& gate)
            : application_(application)
            , gate_(gate)
        {
        }

        void setActivationPolicy(ActivationPolicy policy) override
        {
            NSApplicationActivationPolicy value = NSApplicationActivationPolicyAccessory;
            switch (policy) {
            case ActivationPolicy::regular: value = NSApplicationActivationPolicyRegular; break;
            case ActivationPolicy::accessory: value = NSApplicationActivationPolicyAccessory; break;
            case ActivationPolicy::prohibited: value = NSApplicationActivationPolicyProhibited; break;
            }
            [application_ setActivationPolicy:value];
        }

        void setDelegate(AppDelegate* delegate) override
        {
            bridge_ = [[LintaraApplicationBridge alloc] initWithController:delegate gate:&gate_];
            [application_ setDelegate:bridge_];
        }

        void run() override
        {
            [application_ setMainMenu:editingMenu()];
            [application_ run];
        }

        void terminate() override { [application_ terminate:nil]; }

        void activateIgnoringOtherApps(bool flag) override
        {
            // An accessory application with no window of its own must come
            // forward for its alert to be seen and typed into. From macOS 14
            // the old call may be declined, and the disconnect's outcome,
            // which no click precedes, would open behind the active app;
            // -activate is the call those systems honour. Earlier systems
            // have only the old one. The alert also raises its own window
            // (see AppKitAlerts), should activation still be refused.
            if (@available(macOS 14, *)) {
                [application_ activate];
            } else {
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
                [application_ activateIgnoringOtherApps:flag ? YES : NO];
#pragma clang diagnostic pop
            }
        }

    private:
        NSApplication* application_;
        MainQueueGate& gate_;
        LintaraApplicationBridge* bridge_ = nil;
    };

    // ---------------------------------------------------------- status item

    SEL selectorFor(Action action)
    {
        switch (action) {
        case Action::none: return nullptr;
        case Action::toggleAutomatic: return @selector(toggleAutomatic);
        case Action::preset: return @selector(preset:);
        case Action::customDuration: return @selector(customDuration);
        case Action::cancelTimer: return @selector(cancelTimer);
        case Action::quitApp: return @selector(quitApp);
        }
        return nullptr;
    }

    class AppKitStatusButton final : public StatusButton {
    public:
        explicit AppKitStatusButton(NSStatusItem* item)
            : item_(item)
        {
        }

        void setTitle(const std::string& title) override
        {
            NSStatusBarButton* button = [item_ button];
            [button setTitle:toNSString(title)];
            [button setAccessibilityLabel:toNSString(accessibleTitle(title))];
        }

    private:
        NSStatusItem* item_;
    };

    class AppKitStatusItem final : public StatusItem::Backend {
    public:
        AppKitStatusItem(NSStatusItem* item, MainQueueGate& gate)
            : item_(item)
            , button_(item)
            , gate_(gate)
        {
        }

        ~AppKitStatusItem() override { [[NSStatusBar systemStatusBar] removeStatusItem:item_]; }

        AppKitStatusItem(const AppKitStatusItem&) = delete;
        AppKitStatusItem& operator=(const AppKitStatusItem&) = delete;

        StatusButton* button() override { return [item_ button] != nil ? &button_ : nullptr; }

        void setMenu(Menu menu) override
        {
            LintaraMenuTarget* target = [[LintaraMenuTarget alloc] initWithItems:std::move(menu.items) gate:&gate_];
            LintaraMenu* drawn = [[LintaraMenu alloc] init];
            [drawn setActionTarget:target];
            [drawn setDelegate:target];
            [drawn setAutoenablesItems:menu.autoenablesItems ? YES : NO];
            const std::vector<MenuItem>& items = [target items];
            for (std::size_t index = 0; index < items.size(); ++index) {
                [drawn addItem:drawnItem(items[index], index, target)];
            }
            [item_ setMenu:drawn];
        }

    private:
        static NSMenuItem* drawnItem(const MenuItem& model, std::size_t index, LintaraMenuTarget* target)
        {
            if (model.isSeparator) {
                // A cast only for the GNUstep headers the CI check reads,
                // which type the separator as id<NSMenuItem>.
                return (NSMenuItem*)[NSMenuItem separatorItem];
            }
            SEL action = selectorFor(model.action);
            NSCAssert(action == nullptr ||
                    [NSStringFromSelector(action) isEqualToString:toNSString(selectorName(model.action))],
                @"The menu target's selector differs from the controller's operation name");
            NSMenuItem* drawn = [[NSMenuItem alloc] initWithTitle:toNSString(model.title)
                                                           action:action
                                                    keyEquivalent:toNSString(model.keyEquivalent)];
            if (action != nullptr) {
                [drawn setTarget:target];
                [drawn setRepresentedObject:@(index)];
            }
            // Attributes the model leaves unset keep AppKit's defaults.
            if (model.tag) {
                [drawn setTag:static_cast<NSInteger>(*model.tag)];
            }
            if (model.state) {
                [drawn setState:*model.state == ControlState::on ? NSControlStateValueOn : NSControlStateValueOff];
            }
            if (model.enabled) {
                [drawn setEnabled:*model.enabled ? YES : NO];
            }
            return drawn;
        }

        NSStatusItem* item_;
        AppKitStatusButton button_;
        MainQueueGate& gate_;
    };

    class AppKitStatusBar final : public StatusBar {
    public:
        explicit AppKitStatusBar(MainQueueGate& gate)
            : gate_(gate)
        {
        }

        StatusItem statusItemWithLength(double length) override
        {
            // NSVariableStatusItemLength is -1.0, the seam's value for it.
            NSStatusItem* item = [[NSStatusBar systemStatusBar] statusItemWithLength:static_cast<CGFloat>(length)];
            return StatusItem(std::make_unique<AppKitStatusItem>(item, gate_));
        }

    private:
        MainQueueGate& gate_;
    };

    // ------------------------------------------- timers and notifications

    class AppKitTimer final : public Timer::Backend {
    public:
        explicit AppKitTimer(NSTimer* timer)
            : timer_(timer)
        {
        }
        ~AppKitTimer() override { [timer_ invalidate]; }
        // A repeating NSTimer whose fire date is moved keeps its interval
        // from the new date on.
        void fireAfter(double seconds) override { timer_.fireDate = [NSDate dateWithTimeIntervalSinceNow:seconds]; }
        AppKitTimer(const AppKitTimer&) = delete;
        AppKitTimer& operator=(const AppKitTimer&) = delete;

    private:
        NSTimer* timer_;
    };

    class AppKitRunLoop final : public RunLoop {
    public:
        // The scheduled... constructor puts the timer in the default mode
        // only, so it does not fire while an alert runs modally or the menu
        // is being tracked; those loops run in other modes. A repeating
        // NSTimer keeps its schedule: a late firing does not move the next.
        Timer scheduledTimer(double interval, std::function<void()> callback, Repeats repeats) override
        {
            LintaraCallback* target = [[LintaraCallback alloc] initWithCallback:std::move(callback)];
            NSTimer* timer = [NSTimer scheduledTimerWithTimeInterval:interval
                                                              target:target
                                                            selector:@selector(fire:)
                                                            userInfo:nil
                                                             repeats:repeats == Repeats::yes ? YES : NO];
            return Timer(std::make_unique<AppKitTimer>(timer));
        }
    };

    class WorkspaceNotificationCenter final : public NotificationCenter {
    public:
        explicit WorkspaceNotificationCenter(MainQueueGate& gate)
            : gate_(gate)
            , observers_([[NSMutableArray alloc] init])
        {
        }

        ~WorkspaceNotificationCenter() override
        {
            NSNotificationCenter* center = [[NSWorkspace sharedWorkspace] notificationCenter];
            for (id observer in observers_) {
                [center removeObserver:observer];
            }
        }

        WorkspaceNotificationCenter(const WorkspaceNotificationCenter&) = delete;
        WorkspaceNotificationCenter& operator=(const WorkspaceNotificationCenter&) = delete;

        void addObserver(Notification name, std::function<void()> callback) override
        {
            NSString* notificationName = nil;
            switch (name) {
            case Notification::workspaceDidWake: notificationName = NSWorkspaceDidWakeNotification; break;
            }
            // The wake notification is delivered on the main thread in the
            // run loop's common modes, so it can arrive while an alert is
            // open; the gate holds it until the alert has closed.
            MainQueueGate* gate = &gate_;
            LintaraCallback* observer = [[LintaraCallback alloc]
                initWithCallback:[gate, callback = std::move(callback)] { gate->submit(callback); }];
            // The workspace's own centre: its notifications are not posted
            // to the process's default one.
            [[[NSWorkspace sharedWorkspace] notificationCenter] addObserver:observer
                                                                   selector:@selector(fire:)
                                                                       name:notificationName
                                                                     object:nil];
            // The centre does not keep its observers alive; we do.
            [observers_ addObject:observer];
        }

    private:
        MainQueueGate& gate_;
        NSMutableArray* observers_;
    };

    // -------------------------------------------------- clock and settings

    class FoundationClock final : public Clock {
    public:
        FoundationClock()
            : formatter_([[NSDateFormatter alloc] init])
        {
            [formatter_ setDateStyle:NSDateFormatterNoStyle];
            [formatter_ setTimeStyle:NSDateFormatterShortStyle];
            // Follows the system's zone, so that after travel the next
            // render shows the new zone's time.
            [formatter_ setTimeZone:[NSTimeZone localTimeZone]];
        }

        Date now() override { return Date { [NSDate timeIntervalSinceReferenceDate] }; }

        std::string shortTimeString(Date date) override
        {
            [formatter_ setLocale:userLocale()];
            NSDate* instant = [NSDate dateWithTimeIntervalSinceReferenceDate:date.timeIntervalSinceReferenceDate];
            return toStdString([formatter_ stringFromDate:instant]);
        }

    private:
        // The user's locale, as it is now, in the user's own language even
        // where the bundle's only localisation (Korean) was imposed on it.
        static NSLocale* userLocale()
        {
            NSLocale* current = [NSLocale autoupdatingCurrentLocale];
            const std::optional<std::string> identifier = timeLocaleIdentifier(
                toStdString([current localeIdentifier]), toStdString([[NSLocale preferredLanguages] firstObject]));
            return identifier ? [NSLocale localeWithLocaleIdentifier:toNSString(*identifier)] : current;
        }

        NSDateFormatter* formatter_;
    };

    // The application's own domain of the user's defaults, named by the
    // bundle identifier. Writes are persisted by the defaults system itself.
    class UserDefaultsStore final : public SettingsStore {
    public:
        std::int64_t integerForKey(std::string_view key) override
        {
            return static_cast<std::int64_t>([defaults() integerForKey:toNSString(key)]);
        }

        std::optional<SettingValue> objectForKey(std::string_view key) override
        {
            return toSettingValue([defaults() objectForKey:toNSString(key)]);
        }

        void setInteger(std::int64_t value, std::string_view key) override
        {
            [defaults() setInteger:static_cast<NSInteger>(value) forKey:toNSString(key)];
        }

        void setBool(bool value, std::string_view key) override
        {
            [defaults() setBool:value ? YES : NO forKey:toNSString(key)];
        }

    private:
        static NSUserDefaults* defaults() { return [NSUserDefaults standardUserDefaults]; }
    };

    // ---------------------------------------------------------------- alerts

    // The message alert's text: short, as the alert's own; long, the end of
    // it in a bounded, scrolling, selectable view, so that the alert stays
    // on the screen and its button in reach.
    void showBody(NSAlert* panel, const std::string& informativeText)
    {
        const AlertBody body = alertBody(informativeText);
        if (body.text.size() < informativeText.size()) {
            NSLog(@"Lintara: the alert shows only the end of this text: %@", toNSString(informativeText));
        }
        if (!body.scrolls) {
            [panel setInformativeText:toNSString(body.text)];
            return;
        }
        const NSSize visible = NSMakeSize(460, 220);
        NSScrollView* scroller = [[NSScrollView alloc] initWithFrame:NSMakeRect(0, 0, visible.width, visible.height)];
        [scroller setHasVerticalScroller:YES];
        [scroller setHasHorizontalScroller:NO];
        [scroller setBorderType:NSBezelBorder];
        const NSSize content = [scroller contentSize];
        NSTextView* text = [[NSTextView alloc] initWithFrame:NSMakeRect(0, 0, content.width, content.height)];
        [text setEditable:NO];
        [text setSelectable:YES];
        [text setFont:[NSFont systemFontOfSize:[NSFont smallSystemFontSize]]];
        // Long lines wrap at the view's width, so only one scroller is needed.
        [text setVerticallyResizable:YES];
        [text setHorizontallyResizable:NO];
        [text setAutoresizingMask:NSViewWidthSizable];
        [[text textContainer] setWidthTracksTextView:YES];
        [[text textContainer] setContainerSize:NSMakeSize(content.width, CGFLOAT_MAX)];
        [[text layoutManager] setAllowsNonContiguousLayout:YES];
        [text setString:toNSString(body.text)];
        [scroller setDocumentView:text];
        // A tool's last lines say why it failed.
        [text scrollRangeToVisible:NSMakeRange([[text string] length], 0)];
        [panel setAccessoryView:scroller];
    }

    class AppKitAlerts final : public Alerts {
    public:
        AppKitAlerts(MainQueueGate& gate, Clock& clock)
            : gate_(gate)
            , clock_(clock)
        {
        }

        ModalResponse runModal(const Alert& alert) override
        {
            NSAlert* panel = [[NSAlert alloc] init];
            [panel setMessageText:toNSString(alert.messageText)];
            NSTextField* field = nil;
            if (alert.accessoryView) {
                [panel setInformativeText:toNSString(alert.informativeText)];
                const Rect& frame = alert.accessoryView->frame;
                field = [NSTextField textFieldWithString:toNSString(alert.accessoryView->stringValue)];
                [field setFrame:NSMakeRect(frame.x, frame.y, frame.width, frame.height)];
                [panel setAccessoryView:field];
            } else {
                showBody(panel, alert.informativeText);
            }
            for (const std::string& title : alert.buttons) {
                [panel addButtonWithTitle:toNSString(title)];
            }
            // NSAlert gives Escape only to a button titled with AppKit's own
            // localised "Cancel", which ours is not.
            NSArray* buttons = [panel buttons];
            if ([buttons count] > 1) {
                [[buttons objectAtIndex:1] setKeyEquivalent:@"\033"];
            }
            // NSAlert lays out lazily inside runModal, and a first responder
            // set before that can lose to the default button.
            [panel layout];
            NSWindow* window = [panel window];
            if (field != nil && alert.initialFirstResponder == FirstResponder::accessoryView) {
                [window setInitialFirstResponder:field];
            }
            // In front of whatever is active, even if activation was declined.
            [window setLevel:NSFloatingWindowLevel];
            [window center];
            [window makeKeyAndOrderFront:nil];
            NSTimer* closer = alert.closesAt ? closingTimer(*alert.closesAt) : nil;
            NSModalResponse code = 0;
            {
                const MainQueueGate::ModalSession session(gate_);
                code = [panel runModal];
            }
            [closer invalidate];
            ModalResponse response;
            response.code = static_cast<long>(code);
            if (field != nil) {
                response.fieldText = toStdString([field stringValue]);
            }
            return response;
        }

    private:
        static_assert(NSModalResponseAbort == modalResponseAbort);

        // A timer in the modal run-loop mode, the one runModal's loop runs
        // in, so that it fires while the alert is up and never after.
        NSTimer* closingTimer(Date closesAt)
        {
            LintaraAlertCloser* target = [[LintaraAlertCloser alloc] initWithClock:&clock_ closesAt:closesAt];
            NSTimer* timer = [NSTimer timerWithTimeInterval:1.0
                                                     target:target
                                                   selector:@selector(check:)
                                                   userInfo:nil
                                                    repeats:YES];
            const double first = nextCloseCheck(clock_.now(), closesAt).value_or(0);
            [timer setFireDate:[NSDate dateWithTimeIntervalSinceNow:first]];
            [[NSRunLoop currentRunLoop] addTimer:timer forMode:NSModalPanelRunLoopMode];
            return timer;
        }

        MainQueueGate& gate_;
        Clock& clock_;
    };

    // -------------------------------------------------------------- dispatch

    dispatch_time_t after(double seconds) { return dispatch_time(DISPATCH_TIME_NOW, delayInNanoseconds(seconds)); }

    // The main dispatch queue, behind the gate: a block first waits its turn
    // on the queue, then, if an alert is open, in the gate.
    class MainQueue final : public DispatchQueue {
    public:
        explicit MainQueue(MainQueueGate& gate)
            : gate_(gate)
        {
        }

        void async(std::function<void()> work) override
        {
            dispatch_async(dispatch_get_main_queue(), gated(std::move(work)));
        }

        void asyncAfter(double seconds, std::function<void()> work) override
        {
            dispatch_after(after(seconds), dispatch_get_main_queue(), gated(std::move(work)));
        }

    private:
        dispatch_block_t gated(std::function<void()> work)
        {
            MainQueueGate* gate = &gate_;
            return ^{ callGuarded("a main-queue block", [gate, &work] { gate->submit(work); }); };
        }

        MainQueueGate& gate_;
    };

    class GlobalQueue final : public DispatchQueue {
    public:
        explicit GlobalQueue(QualityOfService qos)
            : qos_(qos)
        {
        }

        void async(std::function<void()> work) override { dispatch_async(queue(), guarded(std::move(work))); }

        void asyncAfter(double seconds, std::function<void()> work) override
        {
            dispatch_after(after(seconds), queue(), guarded(std::move(work)));
        }

    private:
        dispatch_queue_t queue() const
        {
            const qos_class_t qos = qos_ == QualityOfService::utility ? QOS_CLASS_UTILITY : QOS_CLASS_DEFAULT;
            return dispatch_get_global_queue(qos, 0);
        }

        static dispatch_block_t guarded(std::function<void()> work)
        {
            return ^{ callGuarded("a background block", work); };
        }

        QualityOfService qos_;
    };

    class GrandCentralDispatch final : public Dispatch {
    public:
        explicit GrandCentralDispatch(MainQueueGate& gate)
            : main_(gate)
        {
        }

        DispatchQueue& main() override { return main_; }

        DispatchQueue& global(QualityOfService qos) override
        {
            return qos == QualityOfService::utility ? utility_ : defaultClass_;
        }

    private:
        MainQueue main_;
        GlobalQueue utility_ { QualityOfService::utility };
        GlobalQueue defaultClass_ { QualityOfService::defaultClass };
    };

    // A drain of the gate, as a fresh turn of the main queue.
    void scheduleDrain(MainQueueGate& gate)
    {
        MainQueueGate* target = &gate;
        dispatch_async(
            dispatch_get_main_queue(), ^{ callGuarded("a main-queue block", [target] { target->drain(); }); });
    }

} // namespace

struct AppKitPlatform::Parts {
    MainQueueGate gate { [this] { scheduleDrain(gate); } };
    AppKitApplication application { [NSApplication sharedApplication], gate };
    AppKitStatusBar statusBar { gate };
    AppKitRunLoop runLoop;
    WorkspaceNotificationCenter workspaceNotificationCenter { gate };
    FoundationClock clock;
    UserDefaultsStore standardUserDefaults;
    AppKitAlerts alerts { gate, clock };
    GrandCentralDispatch dispatch { gate };
    posix::ProcessFactory processes;
    AppKitWarnings warnings { dispatch.main() };
    Platform platform {
        application,
        statusBar,
        runLoop,
        workspaceNotificationCenter,
        clock,
        standardUserDefaults,
        alerts,
        dispatch,
        processes,
        warnings,
    };
};

AppKitPlatform::AppKitPlatform()
    : parts_(std::make_unique<Parts>())
{
}

AppKitPlatform::~AppKitPlatform() = default;

Platform& AppKitPlatform::platform() { return parts_->platform; }

} // namespace lintara::appkit
