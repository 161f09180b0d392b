#include "kalvor/src/binding/pickle.hpp"

namespace kalvor::binding {

PyObject* reduction(PyObject* self, const char* blank, PyObject* state) {
  Ref factory = steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(self)), blank));
  if (!factory) throw PythonError{};
  Ref no_args = steal(checked(PyTuple_New(0)));
  return checked(PyTuple_Pack(3, factory.get(), no_args.get(), state));
}

}  // namespace kalvor::binding
