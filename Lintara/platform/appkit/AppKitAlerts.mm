// SPDX-License-Identifier: MIT
// The alerts. LintaraAlertCloser ends an alert at its closesAt, and catches
// what the clock might throw before it could cross into AppKit.
#import <AppKit/AppKit.h>

#include "AppKitAlerts.h"
#include "CallGuarded.h"
#include "Conversions.h"

#include <optional>
#include <string>

using lintara::appkit::callGuarded;

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

    // A timer in the modal run-loop mode, the one runModal's loop runs in, so
    // that it fires while the alert is up and never after.
    NSTimer* closingTimer(Clock& clock, Date closesAt)
    {
        LintaraAlertCloser* target = [[LintaraAlertCloser alloc] initWithClock:&clock closesAt:closesAt];
        NSTimer* timer = [NSTimer timerWithTimeInterval:1.0
                                                 target:target
                                               selector:@selector(check:)
                                               userInfo:nil
                                                repeats:YES];
        const double first = nextCloseCheck(clock.now(), closesAt).value_or(0);
        [timer setFireDate:[NSDate dateWithTimeIntervalSinceNow:first]];
        [[NSRunLoop currentRunLoop] addTimer:timer forMode:NSModalPanelRunLoopMode];
        return timer;
    }

} // namespace

static_assert(NSModalResponseAbort == modalResponseAbort);

AppKitAlerts::AppKitAlerts(ModalDeferral& deferral, Clock& clock)
    : deferral_(deferral)
    , clock_(clock)
{
}

ModalResponse AppKitAlerts::runModal(const Alert& alert)
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
    NSTimer* closer = alert.closesAt ? closingTimer(clock_, *alert.closesAt) : nil;
    NSModalResponse code = 0;
    {
        const ModalDeferral::ModalSession session(deferral_);
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

} // namespace lintara::appkit
