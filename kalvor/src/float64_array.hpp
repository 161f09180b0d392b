#pragma once
// Float64Array: an array result of a bulk operation (rotation matrices, Euler
// angles, xyzw rows). A block of doubles of one to three extents that the
// object owns and lends read-only through the buffer protocol, so
// np.asarray(result) copies nothing and memoryview(result) has its shape and
// format "d". Never changes once made; not a module attribute.

#include "kalvor/src/binding/buffer.hpp"
#include "kalvor/src/binding/convert.hpp"
#include "kalvor/src/binding/object.hpp"

#include <array>
#include <cstddef>

namespace kalvor {

class Float64Array {
 public:
  // An unwritten block of the given extents, the last varying fastest.
  Float64Array(std::array<std::size_t, 3> shape, int ndim);

  // The block as consecutive items of T, each a whole number of doubles (a
  // row of a matrix, a 3×3 matrix), for the operation that fills it.
  template <class T>
  T* items() noexcept {
    static_assert(sizeof(T) % sizeof(double) == 0 && alignof(T) <= alignof(double));
    return reinterpret_cast<T*>(block_.data);
  }

  binding::DoubleArray view() const noexcept { return {block_.data, shape_, ndim_}; }

 private:
  // The bulk array that list results are built from, owned and freed alike.
  binding::ListOf<double> block_;
  std::array<std::size_t, 3> shape_;
  int ndim_;
};

}  // namespace kalvor

KALVOR_DECLARE_CLASS(kalvor::Float64Array, "kalvor", "Float64Array");
