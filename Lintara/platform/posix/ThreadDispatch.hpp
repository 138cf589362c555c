// SPDX-License-Identifier: MIT
// Dispatch queues on plain threads, for every POSIX front end.
//
// Provides:
//  - main(): the front end's own main queue, passed in, which stops taking
//    blocks when this object is destroyed;
//  - global(utility) and global(defaultClass): blocks run on worker threads,
//    started when work arrives and nobody is idle, and ended after a while
//    without work, all but one, which waits for the next block;
//  - asyncAfter on the global queues, timed on the monotonic clock by one
//    timer thread, for the watchdogs of the VPN tool's runs; a cancelled
//    block is forgotten, and on Linux the timer thread does not even wake
//    for it.
// Leaves out: priorities. Both classes share one pool of workers; nothing on
// these queues competes for the processor long enough for a priority to show.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace lintara::posix {

class ThreadDispatch final : public lintara::Dispatch {
public:
    // Runs body on a new thread of its own, or throws std::system_error when
    // the system has no thread to give, as std::thread does.
    using StartThread = std::function<void(std::function<void()> body)>;
    static void startDetachedThread(std::function<void()> body);

    // mainQueue must stay valid until this object is destroyed, and accept
    // blocks from any thread. Workers are started through startThread; when
    // it fails and no worker is left to take a block, it is tried again
    // every startRetryDelay until one starts.
    explicit ThreadDispatch(lintara::DispatchQueue& mainQueue, StartThread startThread = startDetachedThread);
    // Ends within a bound, even while a worker is stuck in a block:
    //  1. No new block starts, and blocks not yet started are dropped. Posts
    //     to the main queue are dropped from now on, so nothing reaches a
    //     controller that is going away.
    //  2. Delayed blocks still pending run at once, here. In Lintara these are
    //     the watchdogs of the VPN tool's runs, and firing them early ends any
    //     tool still running: that is what lets a worker blocked in reading a
    //     hung tool's output finish (SIGTERM, then SIGKILL 2 s later).
    //  3. It waits up to shutdownGrace for the workers to finish. A worker
    //     still busy after that is left to finish on its own: it shares
    //     ownership of what it uses, so it cannot touch freed memory, and
    //     nothing it posts is delivered.
    ~ThreadDispatch() override;
    ThreadDispatch(const ThreadDispatch&) = delete;
    ThreadDispatch& operator=(const ThreadDispatch&) = delete;

    lintara::DispatchQueue& main() override;
    lintara::DispatchQueue& global(lintara::QualityOfService qos) override;

    static constexpr auto shutdownGrace = std::chrono::seconds(3);
    // How long a worker waits for more work before it ends, unless it is the
    // only one waiting.
    static constexpr auto idleLimit = std::chrono::seconds(5);
    static constexpr auto startRetryDelay = std::chrono::milliseconds(250);

    struct State;

private:
    std::shared_ptr<State> state_;
    std::thread timer_;
};

} // namespace lintara::posix
