#include "platform/base/bulk_memory.h"

#include <cstdint>
#include <new>
#include <sys/mman.h>

namespace base {

namespace {

constexpr size_t hugePage = size_t {2} << 20;

size_t roundUp(size_t bytes)
{
    return (bytes + hugePage - 1) / hugePage * hugePage;
}

} // namespace

void* allocateBulk(size_t bytes)
{
    if (bytes < hugePage)
        return ::operator new(bytes);
    // Aligned to a huge page and marked for them: a million-note song then
    // faults in a handful of pages, not thousands.
    const size_t size = roundUp(bytes);
    void* raw = mmap(nullptr, size + hugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = roundUp(start);
    if (aligned > start)
        munmap(raw, aligned - start);
    if (const size_t tail = start + size + hugePage - (aligned + size))
        munmap(reinterpret_cast<void*>(aligned + size), tail);
    madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void freeBulk(void* p, size_t bytes)
{
    if (bytes < hugePage)
        ::operator delete(p);
    else
        munmap(p, roundUp(bytes));
}

} // namespace base
