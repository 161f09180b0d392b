#pragma once
// Storage of the large arrays bulk operations write: the element arrays of
// VecList and the output arrays of list results. It does not value-initialise
// (every array is written in full right after it is sized). Large arrays are
// aligned to 2 MiB and offered to the kernel for transparent huge pages, which
// cuts the page faults of filling a fresh multi-megabyte array by a factor of
// 512, and a few freed ones are kept for reuse, shared by every thread and
// bounded in count and bytes.

#include <cstddef>

namespace kalvor::binding {

void* allocate_array(std::size_t bytes);
void deallocate_array(void* p, std::size_t bytes) noexcept;

}  // namespace kalvor::binding
