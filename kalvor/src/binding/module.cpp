#include "kalvor/src/binding/module.hpp"

#include "kalvor/src/binding/errors.hpp"
#include "kalvor/src/binding/panic.hpp"
#include "kalvor/src/binding/ref.hpp"

namespace kalvor::binding {

int add_object(PyObject* module, const char* name, PyObject* object) noexcept {
  return guarded<int>(-1, [&]() -> int {
    Ref all_name = steal(PyUnicode_FromString("__all__"));
    if (!all_name) return -1;
    Ref all = steal(PyObject_GetAttr(module, all_name.get()));
    if (!all) {
      if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
      PyErr_Clear();
      all = steal(PyList_New(0));
      if (!all || PyObject_SetAttr(module, all_name.get(), all.get()) < 0) return -1;
    } else if (!PyList_Check(all.get())) {
      not_an_instance(all.get(), "list");
      return -1;
    }
    Ref key = steal(PyUnicode_FromString(name));
    if (!key) return -1;
    if (PyList_Append(all.get(), key.get()) < 0) panic(text::append_to_all);
    return PyObject_SetAttr(module, key.get(), object);
  });
}

int add_function(PyObject* module, PyMethodDef* def) noexcept {
  Ref module_name = steal(PyModule_GetNameObject(module));
  if (!module_name) return -1;
  Ref function = steal(PyCMethod_New(def, module, module_name.get(), nullptr));
  if (!function) return -1;
  Ref name = steal(PyObject_GetAttrString(function.get(), "__name__"));
  if (!name) return -1;
  const char* text = PyUnicode_AsUTF8(name.get());
  if (text == nullptr) return -1;
  return add_object(module, text, function.get());
}

bool check_module(PyObject* module) {
  if (PyModule_Check(module)) return true;
  not_an_instance(module, "module");
  return false;
}

}  // namespace kalvor::binding
