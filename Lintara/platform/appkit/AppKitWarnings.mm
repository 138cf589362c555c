// SPDX-License-Identifier: MIT
// The warning as a user notification, or as a panel of Lintara's own where
// notifications are not allowed. See AppKitWarnings.hpp.
#import <AppKit/AppKit.h>
#import <UserNotifications/UserNotifications.h>

#include <dispatch/dispatch.h>

#include "AppKitWarnings.hpp"
#include "Conversions.h"

#include <cstdint>
#include <optional>
#include <string>

namespace {
NSString* const categoryIdentifier = @"com.lintara.Lintara.warning";

// The action identifiers in the notification's category, and in what the
// panel's buttons report.
const char* actionIdentifier(lintara::WarningAction action)
{
    switch (action) {
    case lintara::WarningAction::extend: return "extend";
    case lintara::WarningAction::disconnectNow: return "disconnect-now";
    }
    return "";
}
} // namespace

// What the person did with a notification or a panel button, handed to C++.
// The notification centre holds its delegate weakly; State keeps this alive.
@interface LintaraWarningResponder : NSObject <UNUserNotificationCenterDelegate>
- (instancetype)initWithState:(lintara::appkit::AppKitWarnings::State*)state;
- (void)buttonPressed:(NSButton*)sender;
@end

namespace lintara::appkit {

struct AppKitWarnings::State {
    explicit State(DispatchQueue& queue)
        : mainQueue(queue)
    {
    }

    // Any thread: the action `action` was chosen on the notification (or
    // panel) of the warning `from`. Judged on the main queue, in turn.
    void post(std::string from, std::string action)
    {
        mainQueue.async([this, from = std::move(from), action = std::move(action)] {
            if (!warning || from != identifier) {
                return;
            }
            for (const Warning::Choice& choice : warning->actions) {
                if (action == actionIdentifier(choice.action)) {
                    // A copy: the choice withdraws the warning it came from.
                    const std::function<void(WarningAction)> callback = chosen;
                    callback(choice.action);
                    return;
                }
            }
        });
    }

    void showPanel();
    void closePanel()
    {
        [panel close];
        panel = nil;
    }

    DispatchQueue& mainQueue;
    std::optional<Warning> warning;
    std::function<void(WarningAction)> chosen;
    // The notification request's identifier of the warning on show; empty
    // with none. The panel, when there is one, answers under it too.
    std::string identifier;
    std::uint64_t shown = 0;
    bool asked = false;
    bool allowed = false;
    LintaraWarningResponder* responder = nil;
    NSPanel* panel = nil;
};

} // namespace lintara::appkit

@implementation LintaraWarningResponder {
    lintara::appkit::AppKitWarnings::State* _state;
}

- (instancetype)initWithState:(lintara::appkit::AppKitWarnings::State*)state
{
    self = [super init];
    if (self != nil) {
        _state = state;
    }
    return self;
}

// Lintara may count as the active application (its alert is up): show the
// banner all the same.
- (void)userNotificationCenter:(UNUserNotificationCenter*)center
       willPresentNotification:(UNNotification*)notification
         withCompletionHandler:(void (^)(UNNotificationPresentationOptions options))completionHandler
{
    (void)center;
    (void)notification;
    completionHandler(UNNotificationPresentationOptionBanner | UNNotificationPresentationOptionList
        | UNNotificationPresentationOptionSound);
}

// Clicking the notification itself, or dismissing it, chooses nothing.
- (void)userNotificationCenter:(UNUserNotificationCenter*)center
    didReceiveNotificationResponse:(UNNotificationResponse*)response
             withCompletionHandler:(void (^)(void))completionHandler
{
    (void)center;
    _state->post(lintara::appkit::toStdString([[[response notification] request] identifier]),
        lintara::appkit::toStdString([response actionIdentifier]));
    completionHandler();
}

- (void)buttonPressed:(NSButton*)sender
{
    const auto index = static_cast<std::size_t>([sender tag]);
    if (_state->warning && index < _state->warning->actions.size()) {
        _state->post(_state->identifier, actionIdentifier(_state->warning->actions[index].action));
    }
}

@end

namespace lintara::appkit {

namespace {
    NSTextField* panelLabel(const std::string& text, NSFont* font, NSRect frame)
    {
        NSTextField* label = [[NSTextField alloc] initWithFrame:frame];
        [label setStringValue:toNSString(text)];
        [label setFont:font];
        [label setEditable:NO];
        [label setSelectable:NO];
        [label setBezeled:NO];
        [label setDrawsBackground:NO];
        return label;
    }
} // namespace

void AppKitWarnings::State::showPanel()
{
    closePanel();
    const CGFloat width = 400;
    const CGFloat margin = 16;
    // Titled so that it can be moved out of the way and closed; utility and
    // non-activating, so that it never takes the focus from what the person
    // is typing into, nor hides when Lintara is not the active application.
    NSPanel* shown = [[NSPanel alloc] initWithContentRect:NSMakeRect(0, 0, width, 112)
                                                styleMask:NSWindowStyleMaskTitled | NSWindowStyleMaskClosable
                                                | NSWindowStyleMaskUtilityWindow | NSWindowStyleMaskNonactivatingPanel
                                                  backing:NSBackingStoreBuffered
                                                    defer:NO];
    [shown setTitle:@"Lintara"];
    [shown setFloatingPanel:YES];
    [shown setHidesOnDeactivate:NO];
    [shown setBecomesKeyOnlyIfNeeded:YES];
    [shown setReleasedWhenClosed:NO];
    NSView* content = [shown contentView];
    const CGFloat textWidth = width - 2 * margin;
    [content addSubview:panelLabel(
                            warning->summary, [NSFont boldSystemFontOfSize:0], NSMakeRect(margin, 80, textWidth, 18))];
    [content addSubview:panelLabel(warning->body, [NSFont systemFontOfSize:0], NSMakeRect(margin, 54, textWidth, 18))];
    // Right-aligned, in the warning's order.
    CGFloat right = width - margin;
    for (std::size_t index = warning->actions.size(); index-- > 0;) {
        NSButton* button = [NSButton buttonWithTitle:toNSString(warning->actions[index].title)
                                              target:responder
                                              action:@selector(buttonPressed:)];
        [button setTag:static_cast<NSInteger>(index)];
        [button sizeToFit];
        NSRect frame = [button frame];
        frame.origin = NSMakePoint(right - frame.size.width, 12);
        [button setFrame:frame];
        right -= frame.size.width + 8;
        [content addSubview:button];
    }
    [shown center];
    [shown orderFrontRegardless];
    panel = shown;
}

AppKitWarnings::AppKitWarnings(DispatchQueue& mainQueue)
    : state_(std::make_unique<State>(mainQueue))
{
    state_->responder = [[LintaraWarningResponder alloc] initWithState:state_.get()];
}

AppKitWarnings::~AppKitWarnings()
{
    if (state_->asked) {
        [[UNUserNotificationCenter currentNotificationCenter] setDelegate:nil];
    }
    state_->closePanel();
}

void AppKitWarnings::prepare()
{
    UNUserNotificationCenter* center = [UNUserNotificationCenter currentNotificationCenter];
    State* state = state_.get();
    if (!state->asked) {
        state->asked = true;
        [center setDelegate:state->responder];
        [center requestAuthorizationWithOptions:UNAuthorizationOptionAlert | UNAuthorizationOptionSound
                              completionHandler:^(BOOL granted, NSError* error) {
                                  if (error != nil) {
                                      NSLog(@"Lintara: no leave to notify: %@", error);
                                  }
                                  dispatch_async(dispatch_get_main_queue(), ^{ state->allowed = granted == YES; });
                              }];
        return;
    }
    // The person may have changed the setting since the last countdown.
    [center getNotificationSettingsWithCompletionHandler:^(UNNotificationSettings* settings) {
        const bool allowed = [settings authorizationStatus] == UNAuthorizationStatusAuthorized &&
            [settings alertSetting] == UNNotificationSettingEnabled;
        dispatch_async(dispatch_get_main_queue(), ^{ state->allowed = allowed; });
    }];
}

void AppKitWarnings::show(const Warning& warning, std::function<void(WarningAction)> chosen)
{
    withdraw();
    State* state = state_.get();
    state->warning = warning;
    state->chosen = std::move(chosen);
    state->identifier = "com.lintara.Lintara.warning." + std::to_string(++state->shown);
    if (!state->allowed) {
        state->showPanel();
        return;
    }
    NSMutableArray* actions = [NSMutableArray array];
    for (const Warning::Choice& choice : warning.actions) {
        const UNNotificationActionOptions options = choice.action == WarningAction::disconnectNow
            ? UNNotificationActionOptionDestructive
            : UNNotificationActionOptionNone;
        [actions addObject:[UNNotificationAction actionWithIdentifier:toNSString(actionIdentifier(choice.action))
                                                                title:toNSString(choice.title)
                                                              options:options]];
    }
    UNUserNotificationCenter* center = [UNUserNotificationCenter currentNotificationCenter];
    // Registered with each warning, so that the buttons carry the
    // controller's texts.
    [center
        setNotificationCategories:[NSSet setWithObject:[UNNotificationCategory
                                                           categoryWithIdentifier:categoryIdentifier
                                                                          actions:actions
                                                                intentIdentifiers:@[]
                                                                          options:UNNotificationCategoryOptionNone]]];
    UNMutableNotificationContent* content = [[UNMutableNotificationContent alloc] init];
    [content setTitle:toNSString(warning.summary)];
    [content setBody:toNSString(warning.body)];
    [content setCategoryIdentifier:categoryIdentifier];
    [content setSound:[UNNotificationSound defaultSound]];
    const std::string identifier = state->identifier;
    UNNotificationRequest* request = [UNNotificationRequest requestWithIdentifier:toNSString(identifier)
                                                                          content:content
                                                                          trigger:nil];
    [center addNotificationRequest:request
             withCompletionHandler:^(NSError* error) {
                 if (error == nil) {
                     return;
                 }
                 NSLog(@"Lintara: the warning could not be posted, so a panel shows it: %@", error);
                 dispatch_async(dispatch_get_main_queue(), ^{
                     if (state->identifier == identifier) {
                         state->showPanel();
                     }
                 });
             }];
}

void AppKitWarnings::withdraw()
{
    State* state = state_.get();
    if (state->asked && !state->identifier.empty()) {
        NSArray* identifiers = @[ toNSString(state->identifier) ];
        UNUserNotificationCenter* center = [UNUserNotificationCenter currentNotificationCenter];
        [center removePendingNotificationRequestsWithIdentifiers:identifiers];
        [center removeDeliveredNotificationsWithIdentifiers:identifiers];
    }
    state->identifier.clear();
    state->warning.reset();
    state->chosen = nullptr;
    state->closePanel();
}

} // namespace lintara::appkit
