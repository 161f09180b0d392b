#pragma once
// VecList: a growable array of core vectors whose element-wise operations run
// on the worker pool; and VecListIterator, which walks a snapshot of one.

#include "kalvor/src/binding/object.hpp"
#include "morvix/src/vec3d.hpp"

#include <cstddef>
#include <memory>
#include <vector>

namespace kalvor {

// Allocates without value-initialising: a bulk result is written in full
// right after it is sized, so zeroing it first would be a wasted pass.
template <class T>
struct DefaultInitAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };
  DefaultInitAllocator() noexcept = default;
  template <class U>
  DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    std::allocator_traits<std::allocator<T>>::construct(static_cast<std::allocator<T>&>(*this), p,
                                                        std::forward<Args>(args)...);
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

KALVOR_DECLARE_CLASS(kalvor::VecList, "VecList");
KALVOR_DECLARE_CLASS(kalvor::VecListIterator, "VecListIterator");
