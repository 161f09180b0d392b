#pragma once
// The buffer protocol, both ways.
//
// Export: a class whose value holds a C-contiguous block of doubles lends it
// read-only (format "d", one to three extents) without a copy. Each export
// holds a shared borrow of the object until it is released, so nothing can
// resize or overwrite the memory a view points at.
//
// Import: `Block` is any object's C-contiguous bytes; `FloatRows` the rows of a
// 2-D buffer of float64 or float32, at any strides. Their converters hold the
// buffer for the call and release it afterwards.

#include <Python.h>

#include "kalvor/src/binding/wrap.hpp"
#include "kalvor/src/binding/errors.hpp"
#include "kalvor/src/binding/object.hpp"

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace kalvor::binding {

// ---- export

// A C-contiguous block of doubles: `ndim` extents (1 to 3), the last varying
// fastest; only the first `ndim` entries of `shape` count.
struct DoubleArray {
  const double* data;
  std::array<std::size_t, 3> shape;
  int ndim;
};

// Fills `view` for `array`, which belongs to `self`; the caller holds the
// shared borrow. -1 with BufferError for a request it cannot meet.
int fill_view(PyObject* self, const char* class_name, const DoubleArray& array, Py_buffer* view, int flags) noexcept;
// Frees what fill_view allocated.
void clear_view(Py_buffer* view) noexcept;

template <auto Impl>
int getbuffer_slot(PyObject* self, Py_buffer* view, int flags) noexcept {
  using T = std::remove_cvref_t<param_of<Impl, 0>>;
  view->obj = nullptr;
  BorrowFlag& flag = object_cast<T>(self)->borrow;
  if (!try_borrow_shared(flag)) {
    already_mutably_borrowed();
    return -1;
  }
  if (fill_view(self, PyClass<T>::name, Impl(object_cast<T>(self)->value), view, flags) < 0) {
    release_shared(flag);
    return -1;
  }
  return 0;
}

// Runs when the last holder of a view lets go: the borrow ends.
template <class T>
void releasebuffer_slot(PyObject* self, Py_buffer* view) noexcept {
  clear_view(view);
  release_shared(object_cast<T>(self)->borrow);
}

// ---- import

struct Block {
  const void* data = nullptr;
  std::size_t bytes = 0;
};

// The rows of a 2-D buffer with 3 columns, as converted by `float_rows`.
struct FloatRows {
  const char* base = nullptr;
  std::size_t rows = 0;
  Py_ssize_t row_stride = 0;
  Py_ssize_t column_stride = 0;
  bool single = false;  // float32, widened exactly on reading

  double at(std::size_t row, std::size_t column) const noexcept {
    const char* p = base + static_cast<Py_ssize_t>(row) * row_stride + static_cast<Py_ssize_t>(column) * column_stride;
    if (single) {
      float f;
      std::memcpy(&f, p, sizeof f);
      return f;
    }
    double d;
    std::memcpy(&d, p, sizeof d);
    return d;
  }
  // Rows of native doubles back to back: the whole block can be copied at once.
  bool packed() const noexcept { return !single && column_stride == 8 && row_stride == 24; }
};

// A held buffer, released with its holder.
class HeldBuffer {
 public:
  HeldBuffer() noexcept = default;
  HeldBuffer(const HeldBuffer&) = delete;
  HeldBuffer& operator=(const HeldBuffer&) = delete;
  ~HeldBuffer() {
    if (held_) PyBuffer_Release(&view_);
  }
  bool acquire(PyObject* o, int flags) noexcept {
    held_ = PyObject_GetBuffer(o, &view_, flags) == 0;
    return held_;
  }
  const Py_buffer& view() const noexcept { return view_; }

 private:
  Py_buffer view_{};
  bool held_ = false;
};

// Any object with a C-contiguous buffer; the interpreter's error otherwise.
template <>
struct Arg<Block> {
  HeldBuffer buffer;
  Block value;
  bool load(PyObject* o) noexcept {
    if (!buffer.acquire(o, PyBUF_SIMPLE)) return false;
    value = {buffer.view().buf, static_cast<std::size_t>(buffer.view().len)};
    return true;
  }
  const Block& get() const noexcept { return value; }
};

// Any object with a buffer that can describe its shape, strides and format;
// the shape and format are checked by `float_rows`, which can name the call.
struct StridedBuffer {
  const Py_buffer* view = nullptr;
};
template <>
struct Arg<StridedBuffer> {
  HeldBuffer buffer;
  StridedBuffer value;
  bool load(PyObject* o) noexcept {
    if (!buffer.acquire(o, PyBUF_RECORDS_RO)) return false;
    value.view = &buffer.view();
    return true;
  }
  const StridedBuffer& get() const noexcept { return value; }
};

// The rows of a 2-D buffer of float64 or float32 (native byte order) with 3
// columns; otherwise ValueError (shape) or TypeError (format) "{call}
// expected a 2-D buffer of float64 or float32 with 3 columns, got ...".
FloatRows float_rows(const StridedBuffer& buffer, std::string_view call) noexcept(false);

}  // namespace kalvor::binding
