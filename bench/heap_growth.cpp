// SPDX-License-Identifier: MIT
// Checks that the controller's steady work does not grow the heap: a million
// ticks, with and without a countdown, each rendering the title and the menu
// and every fifth one polling the VPN tool, must end with exactly the memory
// in use that they started with. A tick that does not poll must not allocate
// at all: what it renders is the same texts in buffers already sized.
//
// Every allocation through operator new is counted here, and malloc's own
// figure (mallinfo2) is printed beside it for what bypasses operator new.
// Exit status 0 when nothing grew, 1 otherwise.
//
//   lintara-heap-growth [ticks, default 1000000]
#include "Scenario.hpp"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace {

std::atomic<long long> liveBlocks { 0 };
std::atomic<long long> allocations { 0 };
std::atomic<long long> liveBytes { 0 };

void* allocate(std::size_t size)
{
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    liveBlocks.fetch_add(1, std::memory_order_relaxed);
    allocations.fetch_add(1, std::memory_order_relaxed);
    liveBytes.fetch_add(static_cast<long long>(malloc_usable_size(block)), std::memory_order_relaxed);
    return block;
}

void release(void* block) noexcept
{
    if (block == nullptr) {
        return;
    }
    liveBlocks.fetch_sub(1, std::memory_order_relaxed);
    liveBytes.fetch_sub(static_cast<long long>(malloc_usable_size(block)), std::memory_order_relaxed);
    std::free(block);
}

} // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t) noexcept { release(block); }

int main(int argc, char** argv)
{
    const long long ticks = argc > 1 ? std::atoll(argv[1]) : 1'000'000;
    if (ticks < 2'000) {
        std::fputs("usage: lintara-heap-growth [ticks, at least 2000]\n", stderr);
        return 2;
    }
    bool grew = false;
    for (const auto countdown : { lintara::bench::Countdown::none, lintara::bench::Countdown::running }) {
        lintara::bench::Scenario scenario(countdown);
        // A first round lets every string and buffer reach its working size.
        for (int i = 0; i < 1'000; ++i) {
            scenario.tick();
        }
        // The ticks between two polls, alone.
        long long quietTicks = 0;
        long long quietAllocations = 0;
        for (int i = 0; i < 100; ++i) {
            const long long before = allocations.load();
            scenario.tick();
            const long long made = allocations.load() - before;
            // The counter starts again at the tick that polls.
            if (scenario.controller->snapshot().pollCounter != 0) {
                ++quietTicks;
                quietAllocations += made;
            }
        }
        const long long blocksBefore = liveBlocks.load();
        const long long bytesBefore = liveBytes.load();
        const std::size_t mallocBefore = mallinfo2().uordblks;
        for (long long i = 0; i < ticks; ++i) {
            scenario.tick();
        }
        const long long blocks = liveBlocks.load() - blocksBefore;
        const long long bytes = liveBytes.load() - bytesBefore;
        const long long mallocGrowth
            = static_cast<long long>(mallinfo2().uordblks) - static_cast<long long>(mallocBefore);
        const bool running = countdown == lintara::bench::Countdown::running;
        const bool stillRunning = scenario.controller->snapshot().deadline.has_value();
        std::printf("%-18s %lld ticks: %+lld blocks, %+lld bytes through operator new; malloc in use %+lld bytes; "
                    "title \"%s\"; %lld allocations in %lld ticks that do not poll\n",
            running ? "countdown running" : "no countdown", ticks, blocks, bytes, mallocGrowth,
            scenario.platform.title().c_str(), quietAllocations, quietTicks);
        if (quietAllocations != 0 || blocks != 0 || bytes != 0 || mallocGrowth > 0 || stillRunning != running) {
            grew = true;
        }
    }
    if (grew) {
        std::puts("FAILED: the heap grew, a tick without a poll allocated, or the countdown did not stay as set up");
        return 1;
    }
    std::puts("no heap growth");
    return 0;
}
