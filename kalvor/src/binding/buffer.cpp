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

int fill_view(PyObject* self, const char* class_name, const DoubleArray& array, Py_buffer* view, int flags) noexcept {
  if (flags & PyBUF_WRITABLE) return read_only_buffer(class_name);
  const int ndim = array.ndim;
  std::size_t count = 1;
  int long_extents = 0;
  for (int d = 0; d < ndim; ++d) {
    count *= array.shape[d];
    long_extents += array.shape[d] > 1 ? 1 : 0;
  }
  // Fortran order differs from C order once two extents exceed 1.
  if (wants(flags, PyBUF_F_CONTIGUOUS) && long_extents > 1) return not_fortran_contiguous(class_name);
  const auto itemsize = static_cast<Py_ssize_t>(sizeof(double));
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
  view->buf = const_cast<double*>(count == 0 ? empty_array : array.data);
  view->obj = Py_NewRef(self);
  view->len = static_cast<Py_ssize_t>(count) * itemsize;
  view->readonly = 1;
  view->suboffsets = nullptr;
  view->internal = layout;
  if (wants(flags, PyBUF_ND)) {
    view->itemsize = itemsize;
    view->format = wants(flags, PyBUF_FORMAT) ? const_cast<char*>("d") : nullptr;
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

FloatRows float_rows(const StridedBuffer& buffer, std::string_view call) noexcept(false) {
  const Py_buffer& view = *buffer.view;
  if (view.ndim != 2 || view.shape == nullptr || view.shape[1] != 3) {
    std::string shape = "(";
    for (int i = 0; i < view.ndim; ++i) {
      if (i > 0) shape += ", ";
      shape += std::to_string(view.shape != nullptr ? view.shape[i] : view.len / view.itemsize);
    }
    shape += view.ndim == 1 ? ",)" : ")";
    throw_rows_expected(call, "shape " + shape, false);
  }
  std::string_view format = view.format != nullptr ? view.format : "B";
  std::string_view code = format;
  if (code.size() == 2 && native_prefix(code[0])) code.remove_prefix(1);
  const bool single = code == "f" && view.itemsize == 4;
  if (!(code == "d" && view.itemsize == 8) && !single)
    throw_rows_expected(call, "format '" + std::string(format) + "'", true);
  FloatRows rows;
  rows.base = static_cast<const char*>(view.buf);
  rows.rows = static_cast<std::size_t>(view.shape[0]);
  rows.single = single;
  // Without strides the buffer is C-contiguous.
  rows.column_stride = view.strides != nullptr ? view.strides[1] : view.itemsize;
  rows.row_stride = view.strides != nullptr ? view.strides[0] : 3 * view.itemsize;
  return rows;
}

}  // namespace kalvor::binding
