#pragma once
// Float64Array: an array result of a bulk operation (rotation matrices, Euler
// angles, xyzw rows). A block of doubles of one to three extents that the
// object owns and lends read-only through the buffer protocol, so
// np.asarray(result) copies nothing and memoryview(result) has its shape and
// format "d". Never changes once made; not a module attribute.

#include "kalvor/src/binding/arrays.hpp"
#include "kalvor/src/binding/buffer.hpp"
#include "kalvor/src/binding/object.hpp"

#include <array>
#include <cstddef>
#include <utility>

namespace kalvor {

class Float64Array {
 public:
  // An unwritten block of the given extents, the last varying fastest.
  Float64Array(std::array<std::size_t, 3> shape, int ndim);
  Float64Array(Float64Array&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), count_(other.count_), shape_(other.shape_), ndim_(other.ndim_) {}
  Float64Array(const Float64Array&) = delete;
  Float64Array& operator=(const Float64Array&) = delete;
  Float64Array& operator=(Float64Array&&) = delete;
  ~Float64Array();

  // The block as consecutive items of T, each a whole number of doubles (a
  // row of a matrix, a 3×3 matrix), for the operation that fills it.
  template <class T>
  T* items() noexcept {
    static_assert(sizeof(T) % sizeof(double) == 0 && alignof(T) <= alignof(double));
    return static_cast<T*>(data_);
  }

  binding::DoubleArray view() const noexcept {
    return {static_cast<const double*>(data_), shape_, ndim_};
  }

 private:
  void* data_;
  std::size_t count_;
  std::array<std::size_t, 3> shape_;
  int ndim_;
};

}  // namespace kalvor

KALVOR_DECLARE_CLASS(kalvor::Float64Array, "kalvor", "Float64Array");
