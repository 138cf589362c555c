// SPDX-License-Identifier: MIT
// Dispatch queues on the Windows thread pool.
//
// Provides:
//  - main(): the front end's own main queue, passed in from outside (the
//    tray's window queue), which stops taking blocks when this object is
//    destroyed;
//  - global(utility) and global(defaultClass): blocks run on the process's
//    thread pool (TrySubmitThreadpoolCallback), or on a thread of their own
//    when the pool cannot take one;
//  - asyncAfter on the global queues, each with a one-shot thread-pool timer,
//    for the watchdogs of the VPN tool's runs; a cancelled block's timer is
//    closed, so that the pool does not wake for it.
// Leaves out: priorities, as the POSIX queues do: nothing on these queues
// competes for the processor long enough for one to show.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <chrono>
#include <memory>

namespace lintara::win32 {

class Win32Dispatch final : public lintara::Dispatch {
public:
    // mainQueue must stay valid until this object is destroyed, and accept
    // blocks from any thread.
    explicit Win32Dispatch(lintara::DispatchQueue& mainQueue);
    // Ends within a bound, even while a worker is stuck in a block, the way
    // the POSIX queues do:
    //  1. No new block starts, and blocks not yet started are dropped. Posts
    //     to the main queue are dropped from now on.
    //  2. Delayed blocks still pending run at once, here: the watchdogs of
    //     the VPN tool's runs, whose early firing ends any tool still
    //     running, and so lets a worker blocked reading its output finish.
    //  3. It waits up to shutdownGrace for running blocks to finish; one
    //     still busy after that shares ownership of what it uses, and nothing
    //     it posts is delivered.
    ~Win32Dispatch() override;
    Win32Dispatch(const Win32Dispatch&) = delete;
    Win32Dispatch& operator=(const Win32Dispatch&) = delete;

    lintara::DispatchQueue& main() override;
    lintara::DispatchQueue& global(lintara::QualityOfService qos) override;

    static constexpr auto shutdownGrace = std::chrono::seconds(3);

    struct State;

private:
    std::shared_ptr<State> state_;
};

} // namespace lintara::win32
