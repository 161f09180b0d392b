#pragma once
// Pickling and copying (pickle, copy.copy, copy.deepcopy), three ways:
//   by constructor  __reduce__()  -> (cls, Args(value)): the constructor stores
//                   its arguments unchanged, so the copy is bit for bit the same.
//   by state        __reduce__()  -> (cls.<blank>, (), State(value)), then
//                   __setstate__(state): for classes whose constructor
//                   normalises what it is given.
//   by buffer       __reduce_ex__(protocol) -> (cls.<blank>, (), block), then
//                   __setstate__(block): the elements as one block of bytes, or
//                   with protocol 5 a PickleBuffer over the object's own export,
//                   which a pickler may send out of band without a copy.
// Every reduction reads under a shared borrow, like any reading operation.

#include <Python.h>

#include "kalvor/src/binding/args.hpp"
#include "kalvor/src/binding/wrap.hpp"

namespace kalvor::binding {

// The no-argument static method that makes a blank instance of T's class.
template <class T>
inline const char* blank_of = nullptr;

// (getattr(type(self), blank), (), state); throws PythonError on failure.
PyObject* reduction(PyObject* self, const char* blank, PyObject* state);

template <auto Args>
PyObject* reduce_by_constructor(PyObject* self, PyObject*) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    Receiver<param_of<Args, 0>> receiver;
    if (!receiver.load(self)) return nullptr;
    Ref args = steal(to_python(Args(receiver.get())));
    return checked(PyTuple_Pack(2, reinterpret_cast<PyObject*>(Py_TYPE(self)), args.get()));
  });
}

template <auto State>
PyObject* reduce_by_state(PyObject* self, PyObject*) noexcept {
  using T = std::remove_cvref_t<param_of<State, 0>>;
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    Receiver<param_of<State, 0>> receiver;
    if (!receiver.load(self)) return nullptr;
    Ref state = steal(to_python(State(receiver.get())));
    return reduction(self, blank_of<T>, state.get());
  });
}

template <class T>
inline const Signature* reduce_ex_signature = nullptr;

// The block is taken through the class's own buffer export, so it is read
// under the export's shared borrow.
template <class T>
PyObject* reduce_by_buffer(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    const Signature& sig = *reduce_ex_signature<T>;
    PyObject* matched[1];
    if (!match_vectorcall(sig, args, static_cast<std::size_t>(nargs), kwnames, matched)) return nullptr;
    Arg<std::size_t> protocol;
    if (!protocol.load(matched[0])) {
      prefix_argument_error(sig.names[0]);
      return nullptr;
    }
    Ref state = steal(protocol.get() >= 5 ? PyPickleBuffer_FromObject(self) : PyBytes_FromObject(self));
    if (!state) return nullptr;
    return reduction(self, blank_of<T>, state.get());
  });
}

}  // namespace kalvor::binding
