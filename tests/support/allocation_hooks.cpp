#include "allocation_hooks.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

thread_local bool t_counting = false;
std::atomic<long> g_allocations{0};
std::atomic<long> g_ownAllocations{0};
std::atomic<long> g_ownReleases{0};
std::atomic<long> g_failAt{0};
std::atomic<bool> g_failed{false};

// Whether a call comes from code the test binary owns (the module's code is linked into
// it) or from the C++ library on its behalf. Only such allocations are made to fail: the
// GL driver allocates with operator new too, and is not written to survive a failure.
bool IsOwnCaller(const void* address) {
    static const void* const executable = [] {
        Dl_info self{};
        return dladdr(reinterpret_cast<const void*>(&IsOwnCaller), &self) != 0 ? self.dli_fbase
                                                                               : nullptr;
    }();
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) {
        return false;
    }
    return info.dli_fbase == executable || std::strstr(info.dli_fname, "libstdc++") != nullptr;
}

// False when this allocation is the one chosen to fail.
bool Count(const void* caller) {
    if (!t_counting) {
        return true;
    }
    ++g_allocations;
    if (!IsOwnCaller(caller)) {
        return true;
    }
    if (++g_ownAllocations == g_failAt) {
        g_failed = true;
        return false;
    }
    return true;
}

void* Allocate(std::size_t size, const void* caller) noexcept {
    return Count(caller) ? std::malloc(size == 0 ? 1 : size) : nullptr;
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment, const void* caller) noexcept {
    if (!Count(caller)) {
        return nullptr;
    }
    std::size_t align = static_cast<std::size_t>(alignment);
    if (align < sizeof(void*)) {
        align = sizeof(void*);
    }
    void* memory = nullptr;
    return posix_memalign(&memory, align, size == 0 ? 1 : size) == 0 ? memory : nullptr;
}

void* OrThrow(void* memory) {
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

void Release(void* memory, const void* caller) noexcept {
    if (t_counting && memory != nullptr && IsOwnCaller(caller)) {
        ++g_ownReleases;
    }
    std::free(memory);
}

}  // namespace

AllocationCounter::AllocationCounter(long failAt) {
    g_allocations = 0;
    g_ownAllocations = 0;
    g_ownReleases = 0;
    g_failAt = failAt;
    g_failed = false;
    t_counting = true;
}

AllocationCounter::~AllocationCounter() {
    Stop();
}

long AllocationCounter::Stop() {
    t_counting = false;
    g_failAt = 0;
    return g_allocations;
}

long AllocationCounter::OwnAllocations() const {
    return g_ownAllocations;
}

long AllocationCounter::OwnReleases() const {
    return g_ownReleases;
}

bool AllocationCounter::Failed() const {
    return g_failed;
}

void* operator new(std::size_t size) {
    return OrThrow(Allocate(size, __builtin_return_address(0)));
}
void* operator new[](std::size_t size) {
    return OrThrow(Allocate(size, __builtin_return_address(0)));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size, __builtin_return_address(0));
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size, __builtin_return_address(0));
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return OrThrow(AllocateAligned(size, alignment, __builtin_return_address(0)));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return OrThrow(AllocateAligned(size, alignment, __builtin_return_address(0)));
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(size, alignment, __builtin_return_address(0));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(size, alignment, __builtin_return_address(0));
}
void operator delete(void* memory) noexcept {
    Release(memory, __builtin_return_address(0));
}
void operator delete[](void* memory) noexcept {
    Release(memory, __builtin_return_address(0));
}
void operator delete(void* memory, std::size_t) noexcept {
    Release(memory, __builtin_return_address(0));
}
void operator delete[](void* memory, std::size_t) noexcept {
    Release(memory, __builtin_return_address(0));
}
void operator delete(void* memory, const std::nothrow_t&) noexcept {
    Release(memory, __builtin_return_address(0));
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
    Release(memory, __builtin_return_address(0));
}
void operator delete(void* memory, std::align_val_t) noexcept {
    Release(memory, __builtin_return_address(0));
}
void operator delete[](void* memory, std::align_val_t) noexcept {
    Release(memory, __builtin_return_address(0));
}
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept {
    Release(memory, __builtin_return_address(0));
}
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept {
    Release(memory, __builtin_return_address(0));
}
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept {
    Release(memory, __builtin_return_address(0));
}
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept {
    Release(memory, __builtin_return_address(0));
}
