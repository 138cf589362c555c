// SPDX-License-Identifier: MIT
// Every entry from AppKit or Dispatch into C++ goes through callGuarded, so
// that nothing the controller throws crosses into AppKit.
#pragma once

#import <AppKit/AppKit.h>

#include <dispatch/dispatch.h>

#include "Conversions.h"

#include <exception>
#include <utility>

namespace lintara::appkit {

// The controller state may be half-written after an exception, so the
// application ends rather than run on with it. Terminating is an AppKit call,
// so a background thread asks the main thread to do it.
inline void reportEscapedException(const char* where, const char* what) noexcept
{
    NSLog(@"Lintara: %@ failed: %@. Quitting.", toNSString(where), toNSString(what));
    if ([NSThread isMainThread]) {
        [NSApp terminate:nil];
    } else {
        dispatch_async(dispatch_get_main_queue(), ^{ [NSApp terminate:nil]; });
    }
}

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

} // namespace lintara::appkit
