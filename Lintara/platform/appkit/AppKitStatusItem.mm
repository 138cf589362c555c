// SPDX-License-Identifier: MIT
// The status item and its menu. The menu's target is the one way in from a
// chosen entry; it hands the entry to Menu::choice, through the deferral, and
// catches what the controller might throw before it could cross into AppKit.
#import <AppKit/AppKit.h>

#include "AppKitStatusItem.h"
#include "CallGuarded.h"
#include "Conversions.h"

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

using lintara::appkit::callGuarded;

// The target of every entry in one rendered menu. It keeps that menu's model
// so that a chosen entry can be handed back through it exactly as the
// controller built it. Its selectors carry the controller operations' names.
// As the menu's delegate it also holds main-queue work back while the menu is
// open, as an alert does.
@interface LintaraMenuTarget : NSObject <NSMenuDelegate>
- (instancetype)initWithMenu:(lintara::Menu)menu deferral:(lintara::appkit::ModalDeferral*)deferral;
- (const lintara::Menu&)menu;
- (void)toggleAutomatic;
- (void)preset:(id)sender;
- (void)customDuration;
- (void)cancelTimer;
- (void)quitApp;
@end

@implementation LintaraMenuTarget {
    lintara::Menu _menu;
    lintara::appkit::ModalDeferral* _deferral;
    std::unique_ptr<lintara::appkit::ModalDeferral::MenuTracking> _tracking;
}

- (instancetype)initWithMenu:(lintara::Menu)menu deferral:(lintara::appkit::ModalDeferral*)deferral
{
    self = [super init];
    if (self != nil) {
        _menu = std::move(menu);
        _deferral = deferral;
        _tracking = std::make_unique<lintara::appkit::ModalDeferral::MenuTracking>(*deferral);
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

- (const lintara::Menu&)menu
{
    return _menu;
}

// The chosen entry is copied out before the controller runs, and this object
// is held until the action returns: the controller renders, which replaces
// the menu that owns this object, possibly releasing both mid-action.
- (void)deliverAction:(lintara::Action)action sender:(id)sender
{
    __attribute__((objc_precise_lifetime)) LintaraMenuTarget* keepAlive = self;
    (void)keepAlive;
    const std::vector<lintara::MenuItem>& items = _menu.items;
    std::optional<lintara::MenuItem> chosen;
    if ([sender isKindOfClass:[NSMenuItem class]] && [[sender representedObject] isKindOfClass:[NSNumber class]]) {
        const NSUInteger index = [[sender representedObject] unsignedIntegerValue];
        if (index < items.size() && items[index].action == action) {
            chosen = items[index];
        }
    }
    if (!chosen) {
        // The selectors without a sender name one entry each.
        for (const lintara::MenuItem& item : items) {
            if (item.action == action) {
                chosen = item;
                break;
            }
        }
    }
    if (!chosen) {
        return;
    }
    std::function<void()> work = _menu.choice(*chosen);
    if (!work) {
        return;
    }
    lintara::appkit::ModalDeferral* deferral = _deferral;
    callGuarded("a menu action", [deferral, &work] { deferral->submit(std::move(work)); });
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

namespace lintara::appkit {

namespace {

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
        AppKitStatusItem(NSStatusItem* item, ModalDeferral& deferral)
            : item_(item)
            , button_(item)
            , deferral_(deferral)
        {
        }

        ~AppKitStatusItem() override { [[NSStatusBar systemStatusBar] removeStatusItem:item_]; }

        AppKitStatusItem(const AppKitStatusItem&) = delete;
        AppKitStatusItem& operator=(const AppKitStatusItem&) = delete;

        StatusButton* button() override { return [item_ button] != nil ? &button_ : nullptr; }

        void setMenu(const Menu& menu) override
        {
            LintaraMenuTarget* target = [[LintaraMenuTarget alloc] initWithMenu:menu deferral:&deferral_];
            LintaraMenu* drawn = [[LintaraMenu alloc] init];
            [drawn setActionTarget:target];
            [drawn setDelegate:target];
            [drawn setAutoenablesItems:[target menu].autoenablesItems == AutoenablesItems::yes ? YES : NO];
            const std::vector<MenuItem>& items = [target menu].items;
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
        ModalDeferral& deferral_;
    };

} // namespace

AppKitStatusBar::AppKitStatusBar(ModalDeferral& deferral)
    : deferral_(deferral)
{
}

StatusItem AppKitStatusBar::statusItemWithLength(double length)
{
    // NSVariableStatusItemLength is -1.0, the seam's value for it.
    NSStatusItem* item = [[NSStatusBar systemStatusBar] statusItemWithLength:static_cast<CGFloat>(length)];
    return StatusItem(std::make_unique<AppKitStatusItem>(item, deferral_));
}

} // namespace lintara::appkit
