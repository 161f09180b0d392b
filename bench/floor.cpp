// The floor of the per-call benchmarks: a tiny extension, built for the bench
// only and never shipped, whose calls do nothing. Each has the calling
// convention and the result kind of a kind of kalvor call, so the bench can
// show how far a kalvor row is from the least such a call costs:
//
//   Floor(x, y, z)       the type's vector call, a new small object (arguments unread)
//   Floor.make()         a static no-argument method, a new small object
//   Floor.build(a, ...)  a static method with arguments (fast call with keywords), a new small object
//   f.noargs()           a no-argument method, a cached object
//   f.noargs_new()       a no-argument method, a new small object
//   f.method(a, ...)     a method with arguments (fast call with keywords), a cached object
//   f.method_new(a, ...) the same, a new small object
//   function(a, ...)     a module function (fast call with keywords), a cached object
//   f + g, f * s, s * f  a binary-operator slot, a new small object
//   f.x                  a getter, a cached object
//   hash(f)              the hash slot, a constant
//   f == g               the comparison slot, False
//   f[i]                 the subscript slot, a cached object
//   repr(f)              the repr slot, a cached str
//   floats(n)            a new list of n new floats: the least a bulk call returning floats costs
//   rows(n)              a new list of n new lists of three new floats, likewise
//
// New objects come from a free list, as kalvor's do. Built twice: against the
// full API (kalvor_floor) and against the limited API of 3.14
// (kalvor_floor_abi3), which is what an abi3 wheel would be built against.

#include <Python.h>

namespace {

struct FloorObject {
  PyObject_HEAD
  double x, y, z;
};

PyTypeObject* floor_type = nullptr;
PyObject* cached = nullptr;      // a float
PyObject* cached_text = nullptr;  // a str

constexpr int free_capacity = 64;
void* free_items[free_capacity];
int free_count = 0;

PyObject* new_floor() {
  void* memory = free_count > 0 ? free_items[--free_count] : PyObject_Malloc(sizeof(FloorObject));
  if (memory == nullptr) return PyErr_NoMemory();
  PyObject* o = PyObject_Init(static_cast<PyObject*>(memory), floor_type);
  auto* f = reinterpret_cast<FloorObject*>(o);
  f->x = f->y = f->z = 0.0;
  return o;
}

void floor_dealloc(PyObject* o) {
  PyTypeObject* type = Py_TYPE(o);
  if (free_count < free_capacity) {
    free_items[free_count++] = o;
  } else {
    PyObject_Free(o);
  }
  Py_DECREF(type);
}

PyObject* floor_vectorcall(PyObject*, PyObject* const*, size_t, PyObject*) { return new_floor(); }
PyObject* floor_new(PyTypeObject*, PyObject*, PyObject*) { return new_floor(); }
PyObject* floor_make(PyObject*, PyObject*) { return new_floor(); }
PyObject* floor_noargs(PyObject*, PyObject*) { return Py_NewRef(cached); }
PyObject* floor_method(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) { return Py_NewRef(cached); }
PyObject* floor_method_new(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) { return new_floor(); }
PyObject* floor_binary(PyObject*, PyObject*) { return new_floor(); }
PyObject* floor_get(PyObject*, void*) { return Py_NewRef(cached); }
Py_hash_t floor_hash(PyObject*) { return 42; }
PyObject* floor_compare(PyObject*, PyObject*, int) { Py_RETURN_FALSE; }
PyObject* floor_item(PyObject*, Py_ssize_t) { return Py_NewRef(cached); }
PyObject* floor_subscript(PyObject*, PyObject*) { return Py_NewRef(cached); }
PyObject* floor_repr(PyObject*) { return Py_NewRef(cached_text); }

PyMethodDef floor_methods[] = {
    {"make", floor_make, METH_NOARGS | METH_STATIC, nullptr},
    {"build", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&floor_method_new)),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC, nullptr},
    {"noargs", floor_noargs, METH_NOARGS, nullptr},
    {"noargs_new", floor_make, METH_NOARGS, nullptr},
    {"method", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&floor_method)),
     METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"method_new", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&floor_method_new)),
     METH_FASTCALL | METH_KEYWORDS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef floor_getset[] = {
    {"x", floor_get, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot floor_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(&floor_new)},
    {Py_tp_vectorcall, reinterpret_cast<void*>(&floor_vectorcall)},
    {Py_tp_dealloc, reinterpret_cast<void*>(&floor_dealloc)},
    {Py_tp_methods, floor_methods},
    {Py_tp_getset, floor_getset},
    {Py_tp_hash, reinterpret_cast<void*>(&floor_hash)},
    {Py_tp_richcompare, reinterpret_cast<void*>(&floor_compare)},
    {Py_tp_repr, reinterpret_cast<void*>(&floor_repr)},
    {Py_nb_add, reinterpret_cast<void*>(&floor_binary)},
    {Py_nb_multiply, reinterpret_cast<void*>(&floor_binary)},
    {Py_sq_item, reinterpret_cast<void*>(&floor_item)},
    {Py_mp_subscript, reinterpret_cast<void*>(&floor_subscript)},
    {0, nullptr},
};

PyType_Spec floor_spec = {FLOOR_MODULE_NAME ".Floor", static_cast<int>(sizeof(FloorObject)), 0, Py_TPFLAGS_DEFAULT,
                          floor_slots};

// The floats are i, i + 1 and i + 2: new objects each, as a result's are.
PyObject* floor_list(PyObject* count, bool rows) {
  const Py_ssize_t n = PyLong_AsSsize_t(count);
  if (n < 0) return PyErr_Occurred() ? nullptr : PyList_New(0);
  PyObject* list = PyList_New(n);
  if (list == nullptr) return nullptr;
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* item = rows ? PyList_New(3) : PyFloat_FromDouble(static_cast<double>(i));
    for (Py_ssize_t k = 0; rows && item != nullptr && k < 3; ++k) {
      PyObject* number = PyFloat_FromDouble(static_cast<double>(i + k));
      if (number == nullptr) Py_CLEAR(item);
      else PyList_SetItem(item, k, number);
    }
    if (item == nullptr) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SetItem(list, i, item);
  }
  return list;
}
PyObject* floor_floats(PyObject*, PyObject* count) { return floor_list(count, false); }
PyObject* floor_rows(PyObject*, PyObject* count) { return floor_list(count, true); }

PyMethodDef module_methods[] = {
    {"floats", floor_floats, METH_O, nullptr},
    {"rows", floor_rows, METH_O, nullptr},
    {"function", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&floor_method)),
     METH_FASTCALL | METH_KEYWORDS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

int floor_exec(PyObject* module) {
  if (floor_type == nullptr) {
    floor_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&floor_spec));
    cached = PyFloat_FromDouble(1.5);
    cached_text = PyUnicode_FromString("Floor(0, 0, 0)");
    if (floor_type == nullptr || cached == nullptr || cached_text == nullptr) return -1;
  }
  return PyModule_AddObjectRef(module, "Floor", reinterpret_cast<PyObject*>(floor_type));
}

PyModuleDef_Slot floor_module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&floor_exec)},
    {0, nullptr},
};

PyModuleDef floor_module = {
    PyModuleDef_HEAD_INIT, FLOOR_MODULE_NAME, "", 0, module_methods, floor_module_slots, nullptr, nullptr, nullptr,
};

}  // namespace

#define FLOOR_INIT_NAME(name) PyInit_##name
#define FLOOR_INIT(name) FLOOR_INIT_NAME(name)
PyMODINIT_FUNC FLOOR_INIT(FLOOR_MODULE)() { return PyModuleDef_Init(&floor_module); }
