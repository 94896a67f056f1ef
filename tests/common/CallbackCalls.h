#pragma once
// Counts what a real-time path does that it must not: allocations (C++ ones reach malloc too) and
// mutex locks made on its thread between Probe(true) and Probe(false). Include in one source file
// per test program; the interposers replace the C library's for the whole program.

#include <atomic>
#include <cstddef>
#include <dlfcn.h>
#include <pthread.h>

// Counting interposers: only in plain builds, where they do not fight the
// sanitizers' own malloc and lock interceptors.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TARVO_COUNT_CALLBACK_CALLS 0
#else
#define TARVO_COUNT_CALLBACK_CALLS 1
#endif

namespace {
thread_local bool t_inCallback = false;
std::atomic<long> g_callbacks{0};
std::atomic<long> g_allocations{0};
std::atomic<long> g_locks{0};

void Probe(bool entering) {
    t_inCallback = entering;
    if (entering)
        g_callbacks.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

#if TARVO_COUNT_CALLBACK_CALLS
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* __libc_memalign(size_t, size_t);

void* malloc(size_t n) {
    if (t_inCallback)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t size) {
    if (t_inCallback)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t n) {
    if (t_inCallback)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}
void free(void* p) {
    if (t_inCallback && p != nullptr)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    __libc_free(p);
}
void* aligned_alloc(size_t alignment, size_t n) {
    if (t_inCallback)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, n);
}
int posix_memalign(void** out, size_t alignment, size_t n) {
    if (t_inCallback)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    *out = __libc_memalign(alignment, n);
    return *out != nullptr ? 0 : 12;
}
int pthread_mutex_lock(pthread_mutex_t* m) {
    using Lock = int (*)(pthread_mutex_t*);
    static Lock real = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (t_inCallback)
        g_locks.fetch_add(1, std::memory_order_relaxed);
    return real(m);
}
}
#endif
