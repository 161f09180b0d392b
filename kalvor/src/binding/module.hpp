#pragma once
// Populating modules: the adding rule (append the name to `__all__`, then set
// the attribute), classes and module functions.

#include <Python.h>

#include "kalvor/src/binding/class_builder.hpp"
#include "kalvor/src/binding/object.hpp"

namespace kalvor::binding {

// Appends `name` to the module's `__all__` (creating the list if it is
// missing) and sets the attribute. -1 with an error set on failure.
int add_object(PyObject* module, const char* name, PyObject* object) noexcept;

// Adds the class of T under its class name, building its type if needed.
template <Bound T>
int add_class(PyObject* module) noexcept {
  PyTypeObject* type = PyClass<T>::type();
  if (type == nullptr) return -1;
  return add_object(module, PyClass<T>::name, reinterpret_cast<PyObject*>(type));
}

// Adds a module function built from `def`, bound to the module and carrying
// the module's name as its __module__, under the function's own __name__.
int add_function(PyObject* module, PyMethodDef* def) noexcept;

// A module function's definition: vector call with keywords, docstring the
// text signature, argument errors naming "{name}()".
template <auto Impl, class... Names>
PyMethodDef function(const char* name, Names... names) {
  static_assert(sizeof...(Names) == arity_of<Impl>, "one name per parameter");
  std::vector<const char*> list{names...};
  const char* doc = keep(std::string(name) + "(" + join_names(list) + ")\n--\n\n");
  signature_of<Impl> = make_signature(std::string(name) + "()", std::move(list));
  return PyMethodDef{name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&fastcall<Impl, false>)),
                     METH_FASTCALL | METH_KEYWORDS, doc};
}

// Checks that the exec function was given a module.
bool check_module(PyObject* module);

}  // namespace kalvor::binding
