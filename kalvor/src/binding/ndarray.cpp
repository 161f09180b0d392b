#include "kalvor/src/binding/ndarray.hpp"

#include "kalvor/src/binding/class_builder.hpp"
#include "kalvor/src/binding/once.hpp"

#include <new>

namespace kalvor::binding {

namespace {

std::size_t block_bytes(std::size_t itemsize, const std::array<std::size_t, 3>& shape, int ndim) {
  std::size_t count = itemsize;
  for (int d = 0; d < ndim; ++d) {
    if (shape[d] != 0 && count > std::size_t(-1) / shape[d]) throw std::bad_array_new_length();
    count *= shape[d];
  }
  return count;
}

// numpy.asarray, looked up on the first array result. Without numpy the
// ImportError names it and keeps the interpreter's own error as its cause.
OnceValue<PyObject*> numpy_asarray;

PyObject* load_numpy_asarray() noexcept {
  PyObject* numpy = PyImport_ImportModule("numpy");
  if (numpy == nullptr) {
    PyObject* cause = PyErr_GetRaisedException();
    PyErr_SetString(PyExc_ImportError, "kalvor's array results are numpy arrays, and numpy could not be imported");
    PyObject* error = PyErr_GetRaisedException();
    PyException_SetCause(error, cause);
    PyException_SetContext(error, Py_NewRef(cause));
    PyErr_SetRaisedException(error);
    return nullptr;
  }
  PyObject* asarray = PyObject_GetAttrString(numpy, "asarray");
  Py_DECREF(numpy);
  return asarray;
}

ExportedArray array_block_buffer_impl(const ArrayBlock& self) { return self.view(); }

ClassBuilder<ArrayBlock> array_block_table() {
  return std::move(ClassBuilder<ArrayBlock>("ArrayBlock").no_constructor().buffer<array_block_buffer_impl>());
}

}  // namespace

ArrayBlock::ArrayBlock(std::size_t itemsize, const char* format, std::array<std::size_t, 3> shape, int ndim)
    : bytes_(block_bytes(itemsize, shape, ndim)), format_(format), itemsize_(itemsize), shape_(shape), ndim_(ndim) {}

PyObject* array_to_python(ArrayBlock&& block) {
  PyObject* asarray = numpy_asarray.get(load_numpy_asarray);
  if (asarray == nullptr) throw PythonError{};
  Ref owner = steal(checked(new_instance(std::move(block))));
  return checked(PyObject_CallOneArg(asarray, owner.get()));
}

}  // namespace kalvor::binding

KALVOR_CLASS_TYPE(kalvor::binding::ArrayBlock, kalvor::binding::array_block_table)
