#pragma once
// Storage for large arrays that are filled once, right after they are made.
#include <cstddef>
#include <new>
#include <utility>

namespace base {

// Large blocks come mapped with their pages already in place, in one call:
// faulting in a huge song's storage page by page as it fills costs more than
// reading it. Small ones come from the heap.
void* allocateBulk(size_t bytes);
void freeBulk(void* p, size_t bytes);

// Elements are left uninitialised until written: the reader fills every one.
template <class T> struct BulkAllocator {
    using value_type = T;
    BulkAllocator() = default;
    template <class U> BulkAllocator(const BulkAllocator<U>&) { }
    T* allocate(size_t n) { return static_cast<T*>(allocateBulk(n * sizeof(T))); }
    void deallocate(T* p, size_t n) { freeBulk(p, n * sizeof(T)); }
    template <class U> void construct(U* p) { ::new (static_cast<void*>(p)) U; }
    template <class U, class... Args> void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <class U> bool operator==(const BulkAllocator<U>&) const { return true; }
};

} // namespace base
