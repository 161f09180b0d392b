#pragma once
// Storage of the large arrays bulk operations write: the element arrays of
// VecList and the output arrays of list results. It does not value-initialise
// (every array is written in full right after it is sized). Large arrays are
// aligned to 2 MiB and offered to the kernel for transparent huge pages, which
// cuts the page faults of filling a fresh multi-megabyte array by a factor of
// 512, and a few freed ones are kept for reuse, shared by every thread and
// bounded in count and bytes.

#include <cstddef>
#include <new>

namespace kalvor::binding {

void* allocate_array(std::size_t bytes);
void deallocate_array(void* p, std::size_t bytes) noexcept;

// An array of n T's (uninitialised); std::bad_alloc when its size overflows.
template <class T>
T* allocate_array_of(std::size_t n) {
  if (n > std::size_t(-1) / sizeof(T)) throw std::bad_array_new_length();
  return static_cast<T*>(allocate_array(n * sizeof(T)));
}

}  // namespace kalvor::binding
