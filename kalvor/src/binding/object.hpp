#pragma once
// Instance layout and the link between a C++ value type and its Python class.
//
// Every instance is the object header, the wrapped value, then the borrow
// flag. `PyClass<T>` is specialised once per class (KALVOR_DECLARE_CLASS below)
// and gives the module the class lives in, the class name used in messages and
// the accessor that builds the type object on first use.

#include <Python.h>

#include "kalvor/src/binding/borrow.hpp"

#include <atomic>
#include <new>
#include <utility>

namespace kalvor::binding {

template <class T>
struct Object {
  PyObject_HEAD
  T value;
  BorrowFlag borrow;
};

template <class T>
struct PyClass;  // static constexpr const char* module, * name; static PyTypeObject* type() noexcept;

template <class T>
concept Bound = requires {
  { PyClass<T>::name } -> std::convertible_to<const char*>;
  { PyClass<T>::type() } -> std::same_as<PyTypeObject*>;
};

template <class T>
Object<T>* object_cast(PyObject* o) noexcept {
  return reinterpret_cast<Object<T>*>(o);
}

// Classes cannot be subclassed, so an instance is exactly of the class's type.
template <Bound T>
bool is_instance(PyObject* o) noexcept {
  return Py_TYPE(o) == PyClass<T>::type();
}

// Freed instances of a class, kept for the next allocation: most results are
// short-lived, and reusing their memory saves a trip through the allocator.
// Under the global interpreter lock every allocation and release happens with
// the lock held, which is what makes the plain counter safe; a free-threaded
// build has no free list.
template <class T>
struct FreeList {
#ifndef Py_GIL_DISABLED
  static constexpr int capacity = 64;
  static inline void* items[capacity];
  static inline int count = 0;
#else
  static constexpr int capacity = 0;
  static inline void* items[1];
  static inline int count = 0;
#endif
};

// A new instance of `type` holding `value`, borrow flag 0; null with the
// interpreter's error when allocation fails.
template <class T>
PyObject* new_instance(PyTypeObject* type, T&& value) noexcept {
  using V = std::remove_cvref_t<T>;
  using Free = FreeList<V>;
  void* memory = Free::count > 0 ? Free::items[--Free::count] : PyObject_Malloc(sizeof(Object<V>));
  if (memory == nullptr) return PyErr_NoMemory();
  PyObject* o = PyObject_Init(static_cast<PyObject*>(memory), type);
  auto* obj = object_cast<V>(o);
  new (&obj->value) V(std::forward<T>(value));
  new (&obj->borrow) BorrowFlag(0);
  return o;
}

template <Bound T>
PyObject* new_instance(T&& value) noexcept {
  PyTypeObject* type = PyClass<std::remove_cvref_t<T>>::type();
  if (type == nullptr) return nullptr;
  return new_instance(type, std::forward<T>(value));
}

// tp_dealloc of every class: destroy the value, free the memory, then drop
// the instance's reference to its heap type.
template <class T>
void dealloc(PyObject* o) noexcept {
  PyTypeObject* type = Py_TYPE(o);
  object_cast<T>(o)->value.~T();
  if (FreeList<T>::count < FreeList<T>::capacity) {
    FreeList<T>::items[FreeList<T>::count++] = o;
  } else {
    PyObject_Free(o);
  }
  Py_DECREF(type);
}

}  // namespace kalvor::binding

// Declares the Python class of a C++ value type and the module that holds it
// (its full type name is "{Module}.{PyName}", so pickle and help() find it);
// the accessor is defined in the class's file with KALVOR_CLASS_TYPE.
// type() is inline: once the type is built, finding it costs one load, which
// every instance check and every new instance pays.
#define KALVOR_DECLARE_CLASS(CppType, Module, PyName)                           \
  template <>                                                                   \
  struct kalvor::binding::PyClass<CppType> {                                    \
    static constexpr const char* module = Module;                               \
    static constexpr const char* name = PyName;                                 \
    static inline std::atomic<PyTypeObject*> built{nullptr};                    \
    static PyTypeObject* build() noexcept;                                      \
    static PyTypeObject* type() noexcept {                                      \
      PyTypeObject* t = built.load(std::memory_order_acquire);                  \
      return t != nullptr ? t : build();                                        \
    }                                                                           \
  }
