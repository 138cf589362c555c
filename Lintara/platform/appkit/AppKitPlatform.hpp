// SPDX-License-Identifier: MIT
// The AppKit binding as one object: every interface of the platform seam,
// implemented with AppKit, Foundation and Dispatch, plus the POSIX process
// runner. Plain C++ on the outside, so that main() needs no Objective-C types
// to hold it.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <memory>

namespace lintara::appkit {

class AppKitPlatform {
public:
    // Must be called on the main thread, inside an autorelease pool. Obtains
    // the shared application object.
    AppKitPlatform();
    ~AppKitPlatform();
    AppKitPlatform(const AppKitPlatform&) = delete;
    AppKitPlatform& operator=(const AppKitPlatform&) = delete;

    [[nodiscard]] Platform& platform();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

} // namespace lintara::appkit
