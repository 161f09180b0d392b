#pragma once
// Array results: a block of float64 or int64 numbers that a bulk operation
// fills (rotation matrices, Euler angles, distances, neighbour indices),
// handed to Python as a numpy.ndarray that owns it. The block lives in an
// ArrayBlock, an internal object that lends it writable through the buffer
// protocol; numpy.asarray of it makes the array, whose base holds the block,
// so no number is copied. numpy is imported on the first array result, never
// by `import kalvor`: without it, that call raises ImportError.

#include <Python.h>

#include "kalvor/src/binding/buffer.hpp"
#include "kalvor/src/binding/convert.hpp"
#include "kalvor/src/binding/object.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace kalvor::binding {

class ArrayBlock {
 public:
  // An unwritten block of the given extents, the last varying fastest.
  ArrayBlock(std::size_t itemsize, const char* format, std::array<std::size_t, 3> shape, int ndim);

  void* data() noexcept { return bytes_.data; }
  ExportedArray view() const noexcept { return {bytes_.data, shape_, ndim_, format_, itemsize_, true}; }

 private:
  // The bulk array that list results are built from, owned and freed alike.
  ListOf<std::byte> bytes_;
  const char* format_;
  std::size_t itemsize_;
  std::array<std::size_t, 3> shape_;
  int ndim_;
};

template <class T>
inline constexpr const char* array_format = nullptr;
template <>
inline constexpr const char* array_format<double> = "d";
// numpy reads "q" as long long, a type apart from its default integer (long
// where long has 64 bits), and then prints dtype=int64 in every repr: the
// format names the C type that std::int64_t is.
template <>
inline constexpr const char* array_format<std::int64_t> = std::is_same_v<std::int64_t, long> ? "l" : "q";

// The array result of an _impl: T is double or std::int64_t.
template <class T>
class NdArray {
  static_assert(array_format<T> != nullptr, "an array result holds float64 or int64");

 public:
  NdArray(std::array<std::size_t, 3> shape, int ndim) : block_(sizeof(T), array_format<T>, shape, ndim) {}

  T* data() noexcept { return static_cast<T*>(block_.data()); }

  // The block as consecutive items of Item, each a whole number of T (a row
  // of a matrix, a 3×3 matrix), for the operation that fills it.
  template <class Item>
  Item* items() noexcept {
    static_assert(sizeof(Item) % sizeof(T) == 0 && alignof(Item) <= alignof(T));
    return reinterpret_cast<Item*>(block_.data());
  }

  ArrayBlock&& block() && noexcept { return std::move(block_); }

 private:
  ArrayBlock block_;
};

// numpy.asarray of a new ArrayBlock holding the block.
PyObject* array_to_python(ArrayBlock&& block);

template <class T>
PyObject* to_python(NdArray<T>&& array) {
  return array_to_python(std::move(array).block());
}

}  // namespace kalvor::binding

KALVOR_DECLARE_CLASS(kalvor::binding::ArrayBlock, "kalvor", "ArrayBlock");
