#include "kalvor/src/binding/buffer.hpp"

#include <bit>
#include <new>
#include <string>

namespace kalvor::binding {

namespace {

// What an empty matrix points at: a view never holds a null pointer.
const double empty_matrix[1] = {0.0};

bool wants(int flags, int request) noexcept { return (flags & request) == request; }

// A format prefix that keeps native byte order and standard sizes.
bool native_prefix(char c) noexcept {
  return c == '@' || c == '=' || (std::endian::native == std::endian::little ? c == '<' : c == '>' || c == '!');
}

}  // namespace

int fill_view(PyObject* self, const char* class_name, const Matrix& matrix, Py_buffer* view, int flags) noexcept {
  if (flags & PyBUF_WRITABLE) return read_only_buffer(class_name);
  if (wants(flags, PyBUF_F_CONTIGUOUS) && matrix.rows > 1 && matrix.columns > 1)
    return not_fortran_contiguous(class_name);
  const auto rows = static_cast<Py_ssize_t>(matrix.rows);
  const auto columns = static_cast<Py_ssize_t>(matrix.columns);
  const auto itemsize = static_cast<Py_ssize_t>(sizeof(double));
  // shape and strides live as long as the view.
  auto* layout = new (std::nothrow) Py_ssize_t[4]{rows, columns, columns * itemsize, itemsize};
  if (layout == nullptr) {
    PyErr_NoMemory();
    return -1;
  }
  view->buf = const_cast<double*>(matrix.rows == 0 ? empty_matrix : matrix.data);
  view->obj = Py_NewRef(self);
  view->len = rows * columns * itemsize;
  view->readonly = 1;
  view->suboffsets = nullptr;
  view->internal = layout;
  if (wants(flags, PyBUF_ND)) {
    view->itemsize = itemsize;
    view->format = wants(flags, PyBUF_FORMAT) ? const_cast<char*>("d") : nullptr;
    view->ndim = 2;
    view->shape = layout;
    view->strides = wants(flags, PyBUF_STRIDES) ? layout + 2 : nullptr;
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
