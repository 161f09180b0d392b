#include "kalvor/src/binding/buffer.hpp"

#include <bit>
#include <new>
#include <string>

namespace kalvor::binding {

namespace {

// What an empty array points at: a view never holds a null pointer.
const double empty_array[1] = {0.0};

bool wants(int flags, int request) noexcept { return (flags & request) == request; }

// A format prefix that keeps native byte order and standard sizes.
bool native_prefix(char c) noexcept {
  return c == '@' || c == '=' || (std::endian::native == std::endian::little ? c == '<' : c == '>' || c == '!');
}

}  // namespace

int fill_view(PyObject* self, const char* class_name, const ExportedArray& array, Py_buffer* view, int flags) noexcept {
  if ((flags & PyBUF_WRITABLE) && !array.writable) return read_only_buffer(class_name);
  const int ndim = array.ndim;
  std::size_t count = 1;
  int long_extents = 0;
  for (int d = 0; d < ndim; ++d) {
    count *= array.shape[d];
    long_extents += array.shape[d] > 1 ? 1 : 0;
  }
  // Fortran order differs from C order once two extents exceed 1.
  if (wants(flags, PyBUF_F_CONTIGUOUS) && long_extents > 1) return not_fortran_contiguous(class_name);
  const auto itemsize = static_cast<Py_ssize_t>(array.itemsize);
  // shape and strides live as long as the view: ndim extents, then ndim strides.
  auto* layout = new (std::nothrow) Py_ssize_t[6];
  if (layout == nullptr) {
    PyErr_NoMemory();
    return -1;
  }
  Py_ssize_t stride = itemsize;
  for (int d = ndim - 1; d >= 0; --d) {
    layout[d] = static_cast<Py_ssize_t>(array.shape[d]);
    layout[ndim + d] = stride;
    stride *= layout[d];
  }
  view->buf = const_cast<void*>(count == 0 ? static_cast<const void*>(empty_array) : array.data);
  view->obj = Py_NewRef(self);
  view->len = static_cast<Py_ssize_t>(count) * itemsize;
  view->readonly = array.writable ? 0 : 1;
  view->suboffsets = nullptr;
  view->internal = layout;
  if (wants(flags, PyBUF_ND)) {
    view->itemsize = itemsize;
    view->format = wants(flags, PyBUF_FORMAT) ? const_cast<char*>(array.format) : nullptr;
    view->ndim = ndim;
    view->shape = layout;
    view->strides = wants(flags, PyBUF_STRIDES) ? layout + ndim : nullptr;
  } else {
    // A consumer that asks for no shape sees plain bytes.
    view->itemsize = 1;
    view->format = wants(flags, PyBUF_FORMAT) ? const_cast<char*>("B") : nullptr;
    view->ndim = 1;
    view->shape = nullptr;
    view->strides = nullptr;
  }
  return 0;
}

void clear_view(Py_buffer* view) noexcept {
  delete[] static_cast<Py_ssize_t*>(view->internal);
  view->internal = nullptr;
}

namespace {

// "(5, 4)", "(3,)": the shape of a buffer as a tuple's text.
std::string shape_text(const Py_buffer& view) {
  std::string shape = "(";
  for (int i = 0; i < view.ndim; ++i) {
    if (i > 0) shape += ", ";
    shape += std::to_string(view.shape != nullptr ? view.shape[i] : view.len / view.itemsize);
  }
  shape += view.ndim == 1 ? ",)" : ")";
  return shape;
}

// The element code of a float64 or float32 format in native byte order ('d'
// or 'f'), else 0.
char float_code(const Py_buffer& view) noexcept {
  std::string_view code = view.format != nullptr ? view.format : "B";
  if (code.size() == 2 && native_prefix(code[0])) code.remove_prefix(1);
  if (code == "d" && view.itemsize == 8) return 'd';
  if (code == "f" && view.itemsize == 4) return 'f';
  return 0;
}

}  // namespace

FloatRows float_rows(const StridedBuffer& buffer, std::string_view call, std::span<const std::size_t> item_shape) noexcept(false) {
  if (buffer.view == nullptr) throw_array_expected(call, item_shape, buffer.source);
  const Py_buffer& view = *buffer.view;
  const int ndim = static_cast<int>(item_shape.size()) + 1;
  bool shaped = view.ndim == ndim && view.shape != nullptr;
  for (int d = 1; shaped && d < ndim; ++d) shaped = view.shape[d] == static_cast<Py_ssize_t>(item_shape[d - 1]);
  if (!shaped) throw_rows_expected(call, item_shape, "shape " + shape_text(view), false);
  const char code = float_code(view);
  if (code == 0) throw_rows_expected(call, item_shape, "format '" + echoed_text(view.format != nullptr ? view.format : "B") + "'", true);
  FloatRows rows;
  rows.base = static_cast<const char*>(view.buf);
  rows.rows = static_cast<std::size_t>(view.shape[0]);
  rows.single = code == 'f';
  // Without strides the buffer is C-contiguous.
  Py_ssize_t stride = view.itemsize;
  rows.contiguous = true;
  for (int d = ndim - 1; d >= 0; --d) {
    rows.strides[d] = view.strides != nullptr ? view.strides[d] : stride;
    rows.contiguous = rows.contiguous && rows.strides[d] == stride;
    stride *= view.shape[d];
  }
  return rows;
}

bool Arg<Floats>::load(PyObject* o) {
  if (PyObject_CheckBuffer(o)) {
    if (!buffer.acquire(o, PyBUF_RECORDS_RO)) return false;
    const Py_buffer& view = buffer.view();
    if (const char code = float_code(view); view.ndim == 1 && view.shape != nullptr && code != 0) {
      value = {static_cast<const char*>(view.buf), static_cast<std::size_t>(view.shape[0]),
               view.strides != nullptr ? view.strides[0] : view.itemsize, code == 'f'};
      return true;
    }
    buffer.release();
  }
  Ref items = sequence_snapshot(o);
  if (!items) return false;
  const auto n = static_cast<std::size_t>(PyTuple_GET_SIZE(items.get()));
  owned.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    Arg<double> item;
    if (!item.load(PyTuple_GET_ITEM(items.get(), static_cast<Py_ssize_t>(i)))) {
      prefix_item_error(i);
      return false;
    }
    owned[i] = item.get();
  }
  value = {reinterpret_cast<const char*>(owned.data()), n, sizeof(double), false};
  return true;
}

bool Arg<LazyFloats>::load(PyObject* o, const char* name) {
  value.source_ = o;
  value.name_ = name;
  const Py_ssize_t length = PySequence_Check(o) || PyObject_CheckBuffer(o) ? PyObject_Size(o) : -1;
  if (length >= 0) {
    value.size = static_cast<std::size_t>(length);
    return true;
  }
  if (PyErr_Occurred() && !discard_conversion_error()) return false;
  if (!value.items_.load(o)) return false;
  value.read_ = true;
  value.size = value.items_.get().size;
  return true;
}

const Floats& LazyFloats::read() const {
  if (!read_) {
    if (!items_.load(source_)) {
      prefix_argument_error(name_);
      throw PythonError{};
    }
    read_ = true;
  }
  return items_.get();
}

}  // namespace kalvor::binding
