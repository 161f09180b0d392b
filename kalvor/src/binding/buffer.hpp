#pragma once
// The buffer protocol, both ways.
//
// Export: a class whose value holds a C-contiguous block of doubles lends it
// read-only (format "d", one to three extents) without a copy. Each export
// holds a shared borrow of the object until it is released, so nothing can
// resize or overwrite the memory a view points at. The blocks that array
// results own are lent writable, as doubles or 64-bit integers.
//
// Import: `Block` is any object's C-contiguous bytes; `FloatRows` the rows of a
// 2-D or 3-D buffer of float64 or float32, at any strides; `Floats` a 1-D
// buffer of them or any sequence of floats. Their converters hold the buffer
// for the call and release it afterwards.

#include <Python.h>

#include "kalvor/src/binding/wrap.hpp"
#include "kalvor/src/binding/errors.hpp"
#include "kalvor/src/binding/object.hpp"

#include <array>
#include <cstddef>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

namespace kalvor::binding {

// ---- export

// A C-contiguous block of doubles: `ndim` extents (1 to 3), the last varying
// fastest; only the first `ndim` entries of `shape` count.
struct DoubleArray {
  const double* data;
  std::array<std::size_t, 3> shape;
  int ndim;
};

// Any exported block: items of `itemsize` bytes in the struct `format` ("d",
// "q"), lent read-only unless `writable`.
struct ExportedArray {
  const void* data;
  std::array<std::size_t, 3> shape;
  int ndim;
  const char* format = "d";
  std::size_t itemsize = sizeof(double);
  bool writable = false;

  ExportedArray(const void* data, std::array<std::size_t, 3> shape, int ndim, const char* format, std::size_t itemsize,
                bool writable) noexcept
      : data(data), shape(shape), ndim(ndim), format(format), itemsize(itemsize), writable(writable) {}
  ExportedArray(const DoubleArray& a) noexcept : data(a.data), shape(a.shape), ndim(a.ndim) {}
};

// Fills `view` for `array`, which belongs to `self`; the caller holds the
// shared borrow. -1 with BufferError for a request it cannot meet.
int fill_view(PyObject* self, const char* class_name, const ExportedArray& array, Py_buffer* view, int flags) noexcept;
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

// The float64 or float32 (`single`, widened exactly) at `p`, at any alignment.
inline double read_float(const char* p, bool single) noexcept {
  if (single) {
    float f;
    std::memcpy(&f, p, sizeof f);
    return f;
  }
  double d;
  std::memcpy(&d, p, sizeof d);
  return d;
}

// The rows of a buffer of shape (n, c) or (n, a, b), as converted by
// `float_rows`: row r's item is read at(r, column) or at(r, a, b).
struct FloatRows {
  const char* base = nullptr;
  std::size_t rows = 0;
  // Row stride first; an item of one extent has a last stride of 0.
  std::array<Py_ssize_t, 3> strides{};
  bool single = false;  // float32, widened exactly on reading
  bool contiguous = false;

  double at(std::size_t row, std::size_t a, std::size_t b = 0) const noexcept {
    return read_float(base + static_cast<Py_ssize_t>(row) * strides[0] + static_cast<Py_ssize_t>(a) * strides[1] +
                          static_cast<Py_ssize_t>(b) * strides[2],
                      single);
  }
  // Rows of native doubles back to back: the whole block can be copied at once.
  bool packed() const noexcept { return !single && contiguous; }
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
  void release() noexcept {
    if (held_) PyBuffer_Release(&view_);
    held_ = false;
  }

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
// the shape and format are checked by `float_rows`, which can name the call
// and the shape it expects, and which refuses an object without a buffer
// (`view` null, `source` the object) in those words.
struct StridedBuffer {
  const Py_buffer* view = nullptr;
  PyObject* source = nullptr;
};
template <>
struct Arg<StridedBuffer> {
  HeldBuffer buffer;
  StridedBuffer value;
  bool load(PyObject* o) noexcept {
    value.source = o;
    if (!PyObject_CheckBuffer(o)) return true;
    if (!buffer.acquire(o, PyBUF_RECORDS_RO)) return false;
    value.view = &buffer.view();
    return true;
  }
  const StridedBuffer& get() const noexcept { return value; }
};

// A run of floats: a 1-D buffer of float64 or float32 (native byte order),
// read in place at its stride, or the items of any other sequence (a list, a
// buffer of integers), each converted by the float rule into an array the
// converter owns. An item that does not convert is a TypeError "[i]: ...".
struct Floats {
  const char* base = nullptr;
  std::size_t size = 0;
  Py_ssize_t stride = 0;
  bool single = false;

  double operator[](std::size_t i) const noexcept { return read_float(base + static_cast<Py_ssize_t>(i) * stride, single); }
};
template <>
struct Arg<Floats> {
  HeldBuffer buffer;
  std::vector<double> owned;
  Floats value;
  bool load(PyObject* o);
  const Floats& get() const noexcept { return value; }
};

class LazyFloats;
template <>
struct Arg<LazyFloats>;

// A run of floats whose length is known at once and whose items are read
// only when the impl asks (`read`): an impl that compares the length with
// something else refuses a wrong one before a long sequence is converted, in
// constant memory. The length is the object's len(); one that cannot tell it
// is converted at once, as Floats. A failure of `read` is the argument's
// error, prefixed with its name, thrown as PythonError.
class LazyFloats {
 public:
  std::size_t size = 0;
  const Floats& read() const;

 private:
  friend struct Arg<LazyFloats>;
  PyObject* source_ = nullptr;  // the call's argument, alive for the call
  const char* name_ = nullptr;
  mutable Arg<Floats> items_;
  mutable bool read_ = false;
};
template <>
struct Arg<LazyFloats> {
  LazyFloats value;
  bool load(PyObject* o, const char* name);
  const LazyFloats& get() const noexcept { return value; }
};

// The rows of a buffer of float64 or float32 (native byte order) whose shape
// is (n, *item_shape), one or two item extents; otherwise ValueError (shape)
// or TypeError (format) "{call} expected a 2-D buffer of float64 or float32
// with 3 columns, got ..." (see throw_rows_expected).
FloatRows float_rows(const StridedBuffer& buffer, std::string_view call, std::span<const std::size_t> item_shape) noexcept(false);

}  // namespace kalvor::binding
