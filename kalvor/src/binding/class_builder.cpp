#include "kalvor/src/binding/class_builder.hpp"

#include "kalvor/src/binding/panic.hpp"

#include <deque>
#include <mutex>

namespace kalvor::binding {

const char* keep(std::string text) {
  static std::mutex lock;
  static auto* texts = new std::deque<std::string>();
  std::lock_guard guard(lock);
  return texts->emplace_back(std::move(text)).c_str();
}

std::string join_names(const std::vector<const char*>& names) {
  std::string out;
  for (const char* name : names) {
    if (!out.empty()) out += ", ";
    out += name;
  }
  return out;
}

PyTypeObject* build_type(const char* name, PyType_Spec* spec, const std::vector<ClassAttribute>& attributes) {
  PyObject* type = PyType_FromSpec(spec);
  if (type == nullptr) {
    PyErr_WriteUnraisable(nullptr);
    raise_panic(Panic{std::string("An error occurred while initializing class ") + name,
                      std::source_location::current(), {}});
    return nullptr;
  }
  for (const auto& [attribute, value] : attributes) {
    if (PyObject_SetAttrString(type, attribute, value) < 0) {
      PyErr_WriteUnraisable(nullptr);
      Py_DECREF(type);
      raise_panic(Panic{std::string("An error occurred while initializing `") + name + "." + attribute + "`",
                        std::source_location::current(), {}});
      return nullptr;
    }
  }
  return reinterpret_cast<PyTypeObject*>(type);
}

}  // namespace kalvor::binding
