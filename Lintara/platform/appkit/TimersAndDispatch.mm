// SPDX-License-Identifier: MIT
// Timers, notifications and queues. LintaraCallback is the one way in from a
// timer or a notification, and every block catches what the controller might
// throw before it could cross into AppKit or Dispatch.
#import <AppKit/AppKit.h>

#include <dispatch/dispatch.h>

#include "CallGuarded.h"
#include "TimersAndDispatch.h"

#include <memory>
#include <utility>

using lintara::appkit::callGuarded;

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

namespace lintara::appkit {

namespace {

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

    dispatch_time_t after(double seconds) { return dispatch_time(DISPATCH_TIME_NOW, delayInNanoseconds(seconds)); }

    // A block for the main queue that, once its turn comes, waits in the
    // deferral while an alert or the menu is open.
    dispatch_block_t deferred(ModalDeferral& deferral, std::function<void()> work)
    {
        ModalDeferral* target = &deferral;
        return ^{ callGuarded("a main-queue block", [target, &work] { target->submit(work); }); };
    }

    dispatch_block_t guarded(std::function<void()> work)
    {
        return ^{ callGuarded("a background block", work); };
    }

    dispatch_queue_t globalQueue(QualityOfService qos)
    {
        const qos_class_t qosClass = qos == QualityOfService::utility ? QOS_CLASS_UTILITY : QOS_CLASS_DEFAULT;
        return dispatch_get_global_queue(qosClass, 0);
    }

} // namespace

// The scheduled... constructor puts the timer in the default mode only, so it
// does not fire while an alert runs modally or the menu is being tracked;
// those loops run in other modes. A repeating NSTimer keeps its schedule: a
// late firing does not move the next.
Timer AppKitRunLoop::scheduledTimer(double interval, std::function<void()> callback, Repeats repeats)
{
    LintaraCallback* target = [[LintaraCallback alloc] initWithCallback:std::move(callback)];
    NSTimer* timer = [NSTimer scheduledTimerWithTimeInterval:interval
                                                      target:target
                                                    selector:@selector(fire:)
                                                    userInfo:nil
                                                     repeats:repeats == Repeats::yes ? YES : NO];
    return Timer(std::make_unique<AppKitTimer>(timer));
}

WorkspaceNotificationCenter::WorkspaceNotificationCenter(ModalDeferral& deferral)
    : deferral_(deferral)
    , observers_([[NSMutableArray alloc] init])
{
}

WorkspaceNotificationCenter::~WorkspaceNotificationCenter()
{
    NSNotificationCenter* center = [[NSWorkspace sharedWorkspace] notificationCenter];
    for (id observer in observers_) {
        [center removeObserver:observer];
    }
}

void WorkspaceNotificationCenter::addObserver(Notification name, std::function<void()> callback)
{
    NSString* notificationName = nil;
    switch (name) {
    case Notification::workspaceDidWake: notificationName = NSWorkspaceDidWakeNotification; break;
    }
    // The wake notification is delivered on the main thread in the run loop's
    // common modes, so it can arrive while an alert is open; the deferral
    // holds it until the alert has closed.
    ModalDeferral* deferral = &deferral_;
    LintaraCallback* observer = [[LintaraCallback alloc]
        initWithCallback:[deferral, callback = std::move(callback)] { deferral->submit(callback); }];
    // The workspace's own centre: its notifications are not posted to the
    // process's default one.
    [[[NSWorkspace sharedWorkspace] notificationCenter] addObserver:observer
                                                           selector:@selector(fire:)
                                                               name:notificationName
                                                             object:nil];
    // The centre does not keep its observers alive; we do.
    [observers_ addObject:observer];
}

GrandCentralDispatch::MainQueue::MainQueue(ModalDeferral& deferral)
    : deferral_(deferral)
{
}

void GrandCentralDispatch::MainQueue::async(std::function<void()> work)
{
    dispatch_async(dispatch_get_main_queue(), deferred(deferral_, std::move(work)));
}

void GrandCentralDispatch::MainQueue::asyncAfter(double seconds, std::function<void()> work)
{
    dispatch_after(after(seconds), dispatch_get_main_queue(), deferred(deferral_, std::move(work)));
}

GrandCentralDispatch::GlobalQueue::GlobalQueue(QualityOfService qos)
    : qos_(qos)
{
}

void GrandCentralDispatch::GlobalQueue::async(std::function<void()> work)
{
    dispatch_async(globalQueue(qos_), guarded(std::move(work)));
}

void GrandCentralDispatch::GlobalQueue::asyncAfter(double seconds, std::function<void()> work)
{
    dispatch_after(after(seconds), globalQueue(qos_), guarded(std::move(work)));
}

GrandCentralDispatch::GrandCentralDispatch(ModalDeferral& deferral)
    : main_(deferral)
{
}

DispatchQueue& GrandCentralDispatch::global(QualityOfService qos)
{
    return qos == QualityOfService::utility ? utility_ : defaultClass_;
}

void scheduleDrain(ModalDeferral& deferral)
{
    ModalDeferral* target = &deferral;
    dispatch_async(dispatch_get_main_queue(), ^{ callGuarded("a main-queue block", [target] { target->drain(); }); });
}

} // namespace lintara::appkit
