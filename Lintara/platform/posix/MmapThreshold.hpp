// SPDX-License-Identifier: MIT
// glibc's allocator, set for a process that stays up for months. Does nothing
// with any other C library.
#pragma once

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace lintara::posix {

// A VPN tool that floods its output makes a worker hold a few megabytes for a
// moment. glibc raises its mmap threshold each time such a block is freed, so
// the next ones come from the heap and stay with the process for good; a
// fixed threshold keeps them in mappings of their own that go back to the
// system when freed. Call once, first thing in main().
inline void fixMmapThreshold()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

} // namespace lintara::posix
