// SPDX-License-Identifier: MIT
// The "open URL" Apple event, handed to UrlSchemeRemote. Never built or run
// on a Mac by its author; CI checks its syntax against GNUstep's headers.
#import <AppKit/AppKit.h>

#include "Conversions.h"
#include "RemoteUrl.hpp"
#include "UrlSchemeRemote.hpp"

#include <exception>
#include <utility>

// Receives the event for as long as the remote control lives.
@interface LintaraUrlEvents : NSObject
- (instancetype)initWithRemote:(lintara::appkit::UrlSchemeRemote*)remote;
- (void)handleGetURLEvent:(NSAppleEventDescriptor*)event withReplyEvent:(NSAppleEventDescriptor*)replyEvent;
@end

@implementation LintaraUrlEvents {
    lintara::appkit::UrlSchemeRemote* _remote;
}

- (instancetype)initWithRemote:(lintara::appkit::UrlSchemeRemote*)remote
{
    self = [super init];
    if (self != nil) {
        _remote = remote;
    }
    return self;
}

- (void)handleGetURLEvent:(NSAppleEventDescriptor*)event withReplyEvent:(NSAppleEventDescriptor*)replyEvent
{
    (void)replyEvent;
    NSString* url = [[event paramDescriptorForKeyword:keyDirectObject] stringValue];
    // Nothing may cross back into AppKit; a command that cannot even be
    // queued is only logged.
    try {
        _remote->open(lintara::appkit::toStdString(url));
    } catch (const std::exception& error) {
        NSLog(@"Lintara: could not take the URL %@: %@", url, lintara::appkit::toNSString(error.what()));
    } catch (...) {
        NSLog(@"Lintara: could not take the URL %@", url);
    }
}

@end

namespace lintara::appkit {

namespace {
    NSString* describe(RemoteResult result)
    {
        switch (result) {
        case RemoteResult::ok: return @"done";
        case RemoteResult::invalidDuration: return @"minutes must be a whole number from 1 to 10080";
        case RemoteResult::busy: return @"a disconnect is running";
        case RemoteResult::noCountdown: return @"no countdown is running";
        }
        return @"refused";
    }
} // namespace

struct UrlSchemeRemote::Events {
    LintaraUrlEvents* receiver;
};

UrlSchemeRemote::UrlSchemeRemote(ModalDeferral& gate)
    : gate_(gate)
    , events_(std::make_unique<Events>(Events { [[LintaraUrlEvents alloc] initWithRemote:this] }))
{
    [[NSAppleEventManager sharedAppleEventManager] setEventHandler:events_->receiver
                                                       andSelector:@selector(handleGetURLEvent:withReplyEvent:)
                                                     forEventClass:kInternetEventClass
                                                        andEventID:kAEGetURL];
}

UrlSchemeRemote::~UrlSchemeRemote()
{
    [[NSAppleEventManager sharedAppleEventManager] removeEventHandlerForEventClass:kInternetEventClass
                                                                        andEventID:kAEGetURL];
}

void UrlSchemeRemote::setHandler(std::function<RemoteResult(const RemoteCommand&)> perform)
{
    perform_ = std::move(perform);
    // Behind the launch that sets the handler, never inside it.
    for (std::function<void()>& work : early_) {
        gate_.submit(std::move(work));
    }
    early_.clear();
}

void UrlSchemeRemote::publish(const RemoteState& /*state*/) { }

void UrlSchemeRemote::open(const std::string& url)
{
    const std::optional<RemoteCommand> command = remoteCommandFromUrl(url);
    if (!command) {
        NSLog(@"Lintara: %@ names no command; lintara://start?minutes=N and lintara://cancel do", toNSString(url));
        return;
    }
    submit(url, *command);
}

void UrlSchemeRemote::submit(const std::string& url, const RemoteCommand& command)
{
    std::function<void()> work = [this, url, command] {
        const RemoteResult result = perform_(command);
        if (result != RemoteResult::ok) {
            NSLog(@"Lintara: %@ refused: %@", toNSString(url), describe(result));
            NSBeep();
        }
    };
    if (!perform_) {
        early_.push_back(std::move(work));
        return;
    }
    gate_.submit(std::move(work));
}

} // namespace lintara::appkit
