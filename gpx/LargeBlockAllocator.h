// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace carteva {

// An allocator for the arrays a large GPX file fills with tens of megabytes: blocks of that
// size are aligned to huge pages and the kernel is asked to back them so, which spares one page
// fault for every 4 KiB written. Smaller blocks come from the usual heap.
template<class T> class LargeBlockAllocator
{
public:
    using value_type = T;

    LargeBlockAllocator() = default;
    template<class U> LargeBlockAllocator(const LargeBlockAllocator<U> &) noexcept { }

    T *allocate(std::size_t n)
    {
        if (n > std::size_t(-1) / sizeof(T))
            throw std::bad_array_new_length();
        const std::size_t bytes = n * sizeof(T);
        if (bytes < HugePage)
            return static_cast<T *>(::operator new(bytes));
        const std::size_t rounded = (bytes + HugePage - 1) / HugePage * HugePage;
        void *block = std::aligned_alloc(HugePage, rounded);
        if (block == nullptr)
            throw std::bad_alloc();
        ::madvise(block, rounded, MADV_HUGEPAGE); // only a hint: without it, small pages
        return static_cast<T *>(block);
    }

    void deallocate(T *block, std::size_t n) noexcept
    {
        if (n * sizeof(T) < HugePage)
            ::operator delete(block);
        else
            std::free(block);
    }

    template<class U> bool operator==(const LargeBlockAllocator<U> &) const noexcept
    {
        return true;
    }

private:
    static constexpr std::size_t HugePage = std::size_t(2) << 20;
};

} // namespace carteva
