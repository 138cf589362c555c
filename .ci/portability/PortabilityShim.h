// SPDX-License-Identifier: MIT
// What the portability check (.ci/steps/75-portability.sh) needs from glibc
// beyond plain POSIX to stand in for macOS. Forced in front of every checked
// C++ file with -include. Every name declared here is one macOS has, or one
// our own code is then barred from, so nothing here can hide a call that
// Lintara.app could not make. Nothing is linked or run.
#pragma once

// libc++ picks its thread API by the system's macro, and __linux__ is
// undefined for the check; on macOS it is pthreads, as here.
#define _LIBCPP_HAS_THREAD_API_PTHREAD

#include <pthread.h>
#include <stddef.h>
#include <time.h>

extern "C" {
// libc++ 14 calls this wherever glibc is 2.30 or later, and glibc declares it
// only for _GNU_SOURCE. macOS has none: once libc++ has used it, it is
// poisoned below.
int pthread_cond_clockwait(pthread_cond_t*, pthread_mutex_t*, clockid_t, const struct timespec*);

// macOS declares memmem in <string.h> (since 10.7), and POSIX.1-2024 has it;
// glibc 2.36 declares it only for _GNU_SOURCE.
void* memmem(const void*, size_t, const void*, size_t);
}

#include <condition_variable>
#pragma GCC poison pthread_cond_clockwait
