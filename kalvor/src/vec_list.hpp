#pragma once
// VecList: a growable array of core vectors whose element-wise operations run
// on the worker pool; and VecListIterator, which walks a snapshot of one.

#include "kalvor/src/binding/arrays.hpp"
#include "kalvor/src/binding/object.hpp"
#include "morvix/src/vec3d.hpp"

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace kalvor {

// The element arrays' allocator: the bulk arrays' storage, which does not
// value-initialise (a bulk result is written in full right after it is sized,
// so zeroing it first would be a wasted pass).
template <class T>
struct DefaultInitAllocator {
  using value_type = T;

  DefaultInitAllocator() noexcept = default;
  template <class U>
  DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) { return binding::allocate_array_of<T>(n); }
  void deallocate(T* p, std::size_t n) noexcept { binding::deallocate_array(p, n * sizeof(T)); }

  template <class U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }

  template <class U>
  bool operator==(const DefaultInitAllocator<U>&) const noexcept {
    return true;
  }
};

using VecArray = std::vector<morvix::Vec3d, DefaultInitAllocator<morvix::Vec3d>>;

struct VecList {
  VecArray items;
};

struct VecListIterator {
  VecArray snapshot;
  std::size_t cursor = 0;
};

}  // namespace kalvor

KALVOR_DECLARE_CLASS(kalvor::VecList, "kalvor", "VecList");
KALVOR_DECLARE_CLASS(kalvor::VecListIterator, "kalvor", "VecListIterator");
