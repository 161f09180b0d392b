// The extension module: its two definitions (kalvor and kalvor.geometry),
// their exec functions and the submodule, built once per process.

#include <Python.h>

#include "kalvor/src/binding/module.hpp"
#include "kalvor/src/binding/once.hpp"
#include "kalvor/src/binding/panic.hpp"
#include "kalvor/src/binding/ref.hpp"
#include "kalvor/src/angle.hpp"
#include "kalvor/src/geometry/circle.hpp"
#include "kalvor/src/geometry/intersection.hpp"
#include "kalvor/src/geometry/plane.hpp"
#include "kalvor/src/kd_tree.hpp"
#include "kalvor/src/quat.hpp"
#include "kalvor/src/quat_list.hpp"
#include "kalvor/src/rigid_transform.hpp"
#include "kalvor/src/rigid_transform_list.hpp"
#include "kalvor/src/vec3d.hpp"
#include "kalvor/src/vec_list.hpp"

#include <atomic>
#include <cstdint>
#include <cstring>

namespace kalvor {

using binding::Ref;
using binding::steal;

namespace {

// ---- kalvor.geometry

int geometry_exec(PyObject* module) noexcept {
  return binding::guarded<int>(-1, [&] {
    if (!binding::check_module(module)) return -1;
    if (binding::add_class<morvix::Circle>(module) < 0) return -1;
    if (add_intersection_functions(module) < 0) return -1;
    return binding::add_class<morvix::Plane>(module);
  });
}

PyModuleDef_Slot geometry_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&geometry_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef geometry_def = {
    PyModuleDef_HEAD_INIT, "kalvor.geometry", "", 0, nullptr, geometry_slots, nullptr, nullptr, nullptr,
};

// The interpreter that first built the submodule; -1 until then.
std::atomic<std::int64_t> geometry_interpreter{-1};
binding::OnceValue<PyObject*> geometry_module;

PyObject* build_geometry() noexcept {
  Ref types = steal(PyImport_ImportModule("types"));
  if (!types) return nullptr;
  Ref namespace_type = steal(PyObject_GetAttrString(types.get(), "SimpleNamespace"));
  if (!namespace_type) return nullptr;
  Ref kwargs = steal(PyDict_New());
  if (!kwargs) return nullptr;
  Ref name = steal(PyUnicode_FromString(geometry_def.m_name));
  if (!name || PyDict_SetItemString(kwargs.get(), "name", name.get()) < 0) return nullptr;
  Ref empty = steal(PyTuple_New(0));
  if (!empty) return nullptr;
  Ref spec = steal(PyObject_Call(namespace_type.get(), empty.get(), kwargs.get()));
  if (!spec) return nullptr;
  Ref module = steal(PyModule_FromDefAndSpec(&geometry_def, spec.get()));
  if (!module || PyModule_ExecDef(module.get(), &geometry_def) < 0) return nullptr;
  return module.release();  // kept for the life of the process
}

// The submodule is an attribute of kalvor and is entered in sys.modules under
// its full name, so that `import kalvor.geometry` and pickle find it.
int add_geometry(PyObject* module) noexcept {
  const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (id == -1 && PyErr_Occurred()) return -1;
  std::int64_t expected = -1;
  if (!geometry_interpreter.compare_exchange_strong(expected, id) && expected != id) {
    binding::subinterpreters_unsupported();
    return -1;
  }
  PyObject* geometry = geometry_module.get(build_geometry);
  if (geometry == nullptr) return -1;
  Ref full_name = steal(PyModule_GetNameObject(geometry));
  if (!full_name) return -1;
  const char* text = PyUnicode_AsUTF8(full_name.get());
  if (text == nullptr) return -1;
  PyObject* modules = PyImport_GetModuleDict();  // borrowed
  if (PyDict_SetItem(modules, full_name.get(), geometry) < 0) return -1;
  const char* dot = std::strrchr(text, '.');
  return binding::add_object(module, dot != nullptr ? dot + 1 : text, geometry);
}

// ---- kalvor

int kalvor_exec(PyObject* module) noexcept {
  return binding::guarded<int>(-1, [&] {
    if (!binding::check_module(module)) return -1;
    if (binding::add_class<morvix::AngleDegrees>(module) < 0) return -1;
    if (binding::add_class<morvix::AngleRadians>(module) < 0) return -1;
    if (binding::add_class<morvix::Quat>(module) < 0) return -1;
    if (binding::add_class<VecList>(module) < 0) return -1;
    if (binding::add_class<morvix::Vec3d>(module) < 0) return -1;
    if (add_geometry(module) < 0) return -1;
    // Names beyond the six above are appended after them, in the order of registration.
    PyObject* panic = binding::panic_exception_type();
    if (panic == nullptr || binding::add_object(module, "PanicException", panic) < 0) return -1;
    if (binding::add_class<morvix::RigidTransform>(module) < 0) return -1;
    if (binding::add_class<QuatList>(module) < 0) return -1;
    if (binding::add_class<morvix::KDTree>(module) < 0) return -1;
    if (binding::add_class<RigidTransformList>(module) < 0) return -1;
    // Not an export: set directly, so __all__ keeps only the classes and the submodule.
    return PyModule_AddStringConstant(module, "__version__", KALVOR_VERSION);
  });
}

PyModuleDef_Slot kalvor_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&kalvor_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef kalvor_def = {
    PyModuleDef_HEAD_INIT, "kalvor", "", 0, nullptr, kalvor_slots, nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace kalvor

PyMODINIT_FUNC PyInit_kalvor() { return PyModuleDef_Init(&kalvor::kalvor_def); }
