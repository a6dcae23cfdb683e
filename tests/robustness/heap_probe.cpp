// The heap probes: the largest-allocation watch works through the sanitizer allocator's hooks
// in sanitizer builds, and otherwise by standing in front of the C library's malloc, which
// every library of the process then calls; the fill pattern is the C library's own.
#include "heap_probe.h"

#include <atomic>
#include <cstdlib>
#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
#define ORVIK_WATCH_WITH_SANITIZER_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVIK_WATCH_WITH_SANITIZER_HOOKS 1
#endif
#endif

namespace {

std::atomic<bool> watching{false};
std::atomic<std::size_t> largestSeen{0};

void note(std::size_t size) {
    if (!watching.load(std::memory_order_relaxed)) return;
    std::size_t seen = largestSeen.load(std::memory_order_relaxed);
    while (size > seen && !largestSeen.compare_exchange_weak(seen, size)) {
    }
}

} // namespace

#ifdef ORVIK_WATCH_WITH_SANITIZER_HOOKS
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*,
                                                                  std::size_t),
                                                         void (*)(const volatile void*));
namespace {
void mallocHook(const volatile void*, std::size_t size) {
    note(size);
}
void freeHook(const volatile void*) {}
bool installHooks() {
    __sanitizer_install_malloc_and_free_hooks(mallocHook, freeHook);
    return true;
}
} // namespace
#else
extern "C" void* __libc_malloc(std::size_t size);
// The executable's malloc comes before the C library's for every caller in the process; it
// hands the request on unchanged, so free and realloc keep working on the same blocks.
extern "C" void* malloc(std::size_t size) noexcept {
    note(size);
    return __libc_malloc(size);
}
namespace {
bool installHooks() {
    return true;
}
} // namespace
#endif

namespace orvik::test {

AllocationWatch::AllocationWatch() {
    static const bool installed = installHooks();
    (void)installed;
    largestSeen = 0;
    watching = true;
}

AllocationWatch::~AllocationWatch() {
    watching = false;
}

std::size_t AllocationWatch::largest() const {
    return largestSeen.load();
}

void fillNewBlocksWith(unsigned char pattern) {
#ifndef ORVIK_WATCH_WITH_SANITIZER_HOOKS
    // glibc fills each new block with the complement of the perturb byte.
    mallopt(M_PERTURB, static_cast<unsigned char>(~pattern));
#else
    (void)pattern;
#endif
}

} // namespace orvik::test
