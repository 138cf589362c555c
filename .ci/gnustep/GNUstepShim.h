// SPDX-License-Identifier: MIT
// The Apple APIs the AppKit binding calls that GNUstep (gui 0.29, base 1.28)
// does not declare, with Apple's signatures, so that the syntax check sees
// the binding as a current macOS SDK would. Forced in front of every checked
// file with -include; active only when GNUstep's headers are the ones in use.
// Nothing here is linked or run.
#pragma once

#ifdef GNUSTEP

#import <AppKit/AppKit.h>

// GNUstep has the button class but not the item's property that returns it.
@interface NSStatusItem (LintaraAppleSDK)
@property (readonly, strong) NSStatusBarButton* button;
@end

@interface NSApplication (LintaraAppleSDK)
- (BOOL)setActivationPolicy:(NSApplicationActivationPolicy)activationPolicy;
- (void)activate; // macOS 14
@end

@interface NSTextField (LintaraAppleSDK)
+ (instancetype)textFieldWithString:(NSString*)stringValue;
@end

@interface NSButton (LintaraAppleSDK)
+ (instancetype)buttonWithTitle:(NSString*)title target:(id)target action:(SEL)action;
@end

@interface NSAlert (LintaraAppleSDK)
@property (strong) NSView* accessoryView;
- (void)layout;
@end

// Optional in Apple's NSMenuDelegate; GNUstep's protocol forgets to mark
// these two so, and declares its other optional ones on NSObject, as here.
@interface NSObject (LintaraAppleSDKMenuDelegate)
- (void)menu:(NSMenu*)menu willHighlightItem:(NSMenuItem*)item;
- (NSRect)confinementRectForMenu:(NSMenu*)menu onScreen:(NSScreen*)screen;
@end

// The NSAccessibility protocol's label, which NSView adopts on macOS.
@interface NSView (LintaraAppleSDK)
@property (copy) NSString* accessibilityLabel;
@end

// Apple events: GNUstep declares the two classes and nothing in them. The
// codes are Apple's four-character ones, 'GURL' and '----'.
typedef unsigned int AEEventClass;
typedef unsigned int AEEventID;
typedef unsigned int AEKeyword;
enum { kInternetEventClass = 0x4755524C, kAEGetURL = 0x4755524C, keyDirectObject = 0x2D2D2D2D };

@interface NSAppleEventDescriptor (LintaraAppleSDK)
- (NSAppleEventDescriptor*)paramDescriptorForKeyword:(AEKeyword)keyword;
@property (readonly, copy) NSString* stringValue;
@end

@interface NSAppleEventManager (LintaraAppleSDK)
+ (NSAppleEventManager*)sharedAppleEventManager;
- (void)setEventHandler:(id)handler
            andSelector:(SEL)handleEventSelector
          forEventClass:(AEEventClass)eventClass
             andEventID:(AEEventID)eventID;
- (void)removeEventHandlerForEventClass:(AEEventClass)eventClass andEventID:(AEEventID)eventID;
@end

// CoreFoundation comes with Foundation on macOS; GNUstep's lives in a
// library Debian does not install with it.
#ifdef __cplusplus
extern "C" {
#endif
typedef unsigned long CFTypeID;
typedef const void* CFTypeRef;
CFTypeID CFGetTypeID(CFTypeRef cf);
CFTypeID CFBooleanGetTypeID(void);
#ifdef __cplusplus
}
#endif

#endif
