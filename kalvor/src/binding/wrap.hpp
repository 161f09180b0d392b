#pragma once
// Wrappers instantiated from an `_impl` function: each matches the arguments,
// borrows the receiver (for reading for `const T&`, exclusive for `T&`),
// converts the arguments in parameter order, calls the impl with C++ values
// only and converts its result. A reading borrow is recorded in the flag only
// when an argument's conversion may run Python code (a __float__, say), which
// could try to write the object meanwhile; otherwise checking that no
// exclusive borrow is held gives the same outcome (ReadCheck). Every wrapper
// is noexcept and has one exit that turns every C++ exception into a Python
// error: MemoryError for an allocation that failed, PanicException for a
// broken invariant. Nothing below the exit catches exceptions or is declared
// noexcept while it may allocate.

#include <Python.h>

#include "kalvor/src/binding/args.hpp"
#include "kalvor/src/binding/convert.hpp"
#include "kalvor/src/binding/errors.hpp"
#include "kalvor/src/binding/panic.hpp"

#include <new>
#include <stdexcept>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>

namespace kalvor::binding {

// ---- what an impl looks like

template <class F>
struct fn_traits;
template <class R, class... A>
struct fn_traits<R (*)(A...)> {
  using result = R;
  using params = std::tuple<A...>;
  static constexpr std::size_t arity = sizeof...(A);
};
template <class R, class... A>
struct fn_traits<R (*)(A...) noexcept> : fn_traits<R (*)(A...)> {};

template <auto Impl>
using result_of = typename fn_traits<decltype(Impl)>::result;
template <auto Impl, std::size_t I>
using param_of = std::tuple_element_t<I, typename fn_traits<decltype(Impl)>::params>;
template <auto Impl>
inline constexpr std::size_t arity_of = fn_traits<decltype(Impl)>::arity;

// Converter for a parameter type: instances of the module's classes are read
// in place under a reading borrow of kind G (whether the impl takes them by
// reference or by value), the rest are held by value.
template <class P, class G>
struct arg_for {
  using type = Arg<std::remove_cvref_t<P>>;
};
template <class P, class G>
  requires Bound<std::remove_cvref_t<P>>
struct arg_for<P, G> {
  using type = InstanceArg<std::remove_cvref_t<P>, G>;
};
template <class P, class G>
  requires is_one_of<std::remove_cvref_t<P>>
struct arg_for<P, G> {
  using type = typename one_of_arg<std::remove_cvref_t<P>, G>::type;
};
template <class P, class G = SharedBorrow>
using ArgFor = typename arg_for<P, G>::type;

// Whether converting `matched` into the parameters P... runs no Python code:
// then nothing can take an exclusive borrow while the call reads its
// instances, and a check of each flag (ReadCheck) does for a shared borrow.
// A converter without a runs_no_python test may run Python code.
template <class A>
bool arg_runs_no_python(PyObject* o) noexcept {
  if constexpr (requires { A::runs_no_python(o); }) {
    return A::runs_no_python(o);
  } else {
    return false;
  }
}
template <class... P, std::size_t... I>
bool runs_no_python(PyObject* const* matched, std::index_sequence<I...>) noexcept {
  return (arg_runs_no_python<ArgFor<P>>(matched[I]) && ...);
}

// The receiver: a reading borrow of kind G for `const T&`, exclusive for
// `T&`. Its type needs no check: the interpreter only calls a class's methods
// and slots on instances of it (operands of binary slots are checked where
// they arrive).
template <class S, class G = SharedBorrow>
struct Receiver;
template <Bound T, class G>
struct Receiver<const T&, G> {
  const T* value = nullptr;
  G guard;
  bool load(PyObject* self) noexcept { return (value = borrow_value<T>(self, guard)) != nullptr; }
  const T& get() const noexcept { return *value; }
};
template <Bound T, class G>
struct Receiver<T&, G> {
  T* value = nullptr;
  ExclusiveBorrow guard;
  bool load(PyObject* self) noexcept { return (value = borrow_value<T>(self, guard)) != nullptr; }
  T& get() const noexcept { return *value; }
};

// Each impl's signature, registered by the class table (or the module's
// function table) before the callable can be reached.
template <auto Impl>
inline const Signature* signature_of = nullptr;

// ---- the single exit

// Inlined into each slot, so that a call costs one frame, not two.
template <class R, class F>
[[gnu::always_inline]] inline R guarded(R failure, F&& body) noexcept {
  try {
    return body();
  } catch (const PythonError&) {
    // The Python error is already set.
  } catch (const Panic& p) {
    raise_panic(p);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::length_error&) {
    // A container asked for more than it can ever hold.
    PyErr_NoMemory();
  } catch (...) {
    raise_generic_panic(std::source_location::current());
  }
  return failure;
}

// One converter; one that reads its argument later (LazyFloats) is told the
// parameter's name, to prefix its errors then.
template <class A>
bool load_arg(A& arg, PyObject* o, const char* name) {
  if constexpr (requires { arg.load(o, name); }) {
    return arg.load(o, name);
  } else {
    return arg.load(o);
  }
}

// Converts matched[I] into args I.. in order; the first failure is prefixed
// with its parameter name.
template <class Tuple, std::size_t... I>
bool load_args(Tuple& args, PyObject* const* matched, const Signature& sig, std::index_sequence<I...>) {
  bool ok = true;
  ((ok = ok && (load_arg(std::get<I>(args), matched[I], sig.names[I]) || (prefix_argument_error(sig.names[I]), false))), ...);
  return ok;
}

template <class R, class Call>
PyObject* convert_result(Call&& call) {
  if constexpr (std::is_void_v<R>) {
    call();
    Py_RETURN_NONE;
  } else {
    return to_python(call());
  }
}

// Calls Impl with the receiver (if any) and the matched arguments, read
// under borrows of kind G.
template <auto Impl, bool HasSelf, class G, std::size_t... I>
PyObject* invoke_with(PyObject* self, PyObject* const* matched, std::index_sequence<I...>) {
  constexpr std::size_t first = HasSelf ? 1 : 0;
  using R = result_of<Impl>;
  std::tuple<ArgFor<param_of<Impl, first + I>, G>...> args;
  if constexpr (HasSelf) {
    Receiver<param_of<Impl, 0>, G> receiver;
    if (!receiver.load(self)) return nullptr;
    if (!load_args(args, matched, *signature_of<Impl>, std::index_sequence<I...>{})) return nullptr;
    return convert_result<R>([&]() -> decltype(auto) { return Impl(receiver.get(), std::get<I>(args).get()...); });
  } else {
    (void)self;
    if (!load_args(args, matched, *signature_of<Impl>, std::index_sequence<I...>{})) return nullptr;
    return convert_result<R>([&]() -> decltype(auto) { return Impl(std::get<I>(args).get()...); });
  }
}

// Reading borrows are only checked when converting the arguments runs no
// Python code: the impl and the result's conversion run none either.
template <auto Impl, bool HasSelf, std::size_t... I>
PyObject* invoke(PyObject* self, PyObject* const* matched, std::index_sequence<I...> seq) {
  constexpr std::size_t first = HasSelf ? 1 : 0;
  if (runs_no_python<param_of<Impl, first + I>...>(matched, seq))
    return invoke_with<Impl, HasSelf, ReadCheck>(self, matched, seq);
  return invoke_with<Impl, HasSelf, SharedBorrow>(self, matched, seq);
}

template <auto Impl, bool HasSelf>
inline constexpr std::size_t params_of = arity_of<Impl> - (HasSelf ? 1 : 0);

// ---- methods, static methods and module functions

template <auto Impl, bool HasSelf>
PyObject* fastcall(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    constexpr std::size_t n = params_of<Impl, HasSelf>;
    // Exactly the parameters, by position: the arguments are already in order.
    if (kwnames == nullptr && static_cast<std::size_t>(nargs) == n)
      return invoke<Impl, HasSelf>(self, args, std::make_index_sequence<n>{});
    PyObject* matched[n > 0 ? n : 1];
    if (!match_vectorcall(*signature_of<Impl>, args, static_cast<std::size_t>(nargs), kwnames, matched))
      return nullptr;
    return invoke<Impl, HasSelf>(self, matched, std::make_index_sequence<n>{});
  });
}

template <auto Impl, bool HasSelf>
PyObject* noargs(PyObject* self, PyObject*) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    return invoke_with<Impl, HasSelf, ReadCheck>(self, nullptr, std::index_sequence<>{});
  });
}

// ---- constructors: the new slot (tuple and dict) and the type's vector call

template <auto Impl, class G, std::size_t... I>
PyObject* construct_with(PyTypeObject* type, PyObject* const* matched, std::index_sequence<I...>) {
  std::tuple<ArgFor<param_of<Impl, I>, G>...> args;
  if (!load_args(args, matched, *signature_of<Impl>, std::index_sequence<I...>{})) return nullptr;
  PyObject* o = new_instance(type, Impl(std::get<I>(args).get()...));
  if (o == nullptr) throw PythonError{};
  return o;
}

template <auto Impl>
PyObject* construct(PyTypeObject* type, PyObject* const* matched) {
  return [&]<std::size_t... I>(std::index_sequence<I...> seq) -> PyObject* {
    if (runs_no_python<param_of<Impl, I>...>(matched, seq)) return construct_with<Impl, ReadCheck>(type, matched, seq);
    return construct_with<Impl, SharedBorrow>(type, matched, seq);
  }(std::make_index_sequence<arity_of<Impl>>{});
}

template <auto Impl>
PyObject* new_slot(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    constexpr std::size_t n = arity_of<Impl>;
    PyObject* matched[n > 0 ? n : 1];
    if (!match_tuple(*signature_of<Impl>, args, kwargs, matched)) return nullptr;
    return construct<Impl>(type, matched);
  });
}

template <auto Impl>
PyObject* new_vectorcall(PyObject* type, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    constexpr std::size_t n = arity_of<Impl>;
    auto* cls = reinterpret_cast<PyTypeObject*>(type);
    if (kwnames == nullptr && PyVectorcall_NARGS(nargsf) == n) return construct<Impl>(cls, args);
    PyObject* matched[n > 0 ? n : 1];
    if (!match_vectorcall(*signature_of<Impl>, args, PyVectorcall_NARGS(nargsf), kwnames, matched)) return nullptr;
    return construct<Impl>(cls, matched);
  });
}

// ---- properties: the value is converted first, then the receiver borrowed

template <class>
struct member_traits;
template <class C, class V>
struct member_traits<V C::*> {
  using owner = C;
  using value = V;
};

template <auto Member>
typename member_traits<decltype(Member)>::value field_get(const typename member_traits<decltype(Member)>::owner& o) {
  return o.*Member;
}
template <auto Member>
void field_set(typename member_traits<decltype(Member)>::owner& o, typename member_traits<decltype(Member)>::value v) {
  o.*Member = v;
}

template <auto Get>
PyObject* getter(PyObject* self, void*) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    Receiver<param_of<Get, 0>, ReadCheck> receiver;
    if (!receiver.load(self)) return nullptr;
    return to_python(Get(receiver.get()));
  });
}

template <auto Set>
int setter(PyObject* self, PyObject* value, void*) noexcept {
  if (value == nullptr) return no_deleter();
  return guarded<int>(-1, [&]() -> int {
    ArgFor<param_of<Set, 1>> arg;
    if (!arg.load(value)) {
      prefix_argument_error("value");
      return -1;
    }
    Receiver<param_of<Set, 0>> receiver;
    if (!receiver.load(self)) return -1;
    Set(receiver.get(), arg.get());
    return 0;
  });
}

// ---- interpreter slots

template <auto Impl>
PyObject* unary_slot(PyObject* self) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    Receiver<param_of<Impl, 0>, ReadCheck> receiver;
    if (!receiver.load(self)) return nullptr;
    return convert_result<result_of<Impl>>([&]() -> decltype(auto) { return Impl(receiver.get()); });
  });
}

template <auto Impl>
Py_hash_t hash_slot(PyObject* self) noexcept {
  return guarded<Py_hash_t>(-1, [&]() -> Py_hash_t {
    Receiver<param_of<Impl, 0>, ReadCheck> receiver;
    if (!receiver.load(self)) return -1;
    return Impl(receiver.get());
  });
}

template <auto Impl>
Py_ssize_t length_slot(PyObject* self) noexcept {
  return guarded<Py_ssize_t>(-1, [&]() -> Py_ssize_t {
    Receiver<param_of<Impl, 0>, ReadCheck> receiver;
    if (!receiver.load(self)) return -1;
    return static_cast<Py_ssize_t>(Impl(receiver.get()));
  });
}

// Subscript by the key type of Impl's second parameter (an unsigned index,
// or an int or slice), named "index" in conversion errors.
template <auto Impl>
using SubscriptKey = Arg<std::remove_cvref_t<param_of<Impl, 1>>>;

template <auto Impl, class G>
PyObject* subscript_with(PyObject* self, PyObject* key) {
  Receiver<param_of<Impl, 0>, G> receiver;
  if (!receiver.load(self)) return nullptr;
  SubscriptKey<Impl> index;
  if (!index.load(key)) {
    prefix_argument_error("index");
    return nullptr;
  }
  return to_python(Impl(receiver.get(), index.get()));
}

template <auto Impl>
PyObject* subscript_slot(PyObject* self, PyObject* key) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    if (SubscriptKey<Impl>::runs_no_python(key)) return subscript_with<Impl, ReadCheck>(self, key);
    return subscript_with<Impl, SharedBorrow>(self, key);
  });
}

// The sequence item slot of every class with a subscript: the position
// becomes an int and goes through the subscript.
template <auto Impl>
PyObject* item_slot(PyObject* self, Py_ssize_t position) noexcept {
  Ref key = steal(PyLong_FromSsize_t(position));
  if (!key) return nullptr;
  return subscript_slot<Impl>(self, key.get());
}

// __iter__ of an iterator: self, after a shared borrow released at once.
template <class T>
PyObject* self_iter_slot(PyObject* self) noexcept {
  ReadCheck guard;
  if (!guard.acquire(object_cast<T>(self)->borrow)) {
    already_mutably_borrowed();
    return nullptr;
  }
  return Py_NewRef(self);
}

// __next__: an empty optional ends the iteration without an exception.
template <auto Impl>
PyObject* next_slot(PyObject* self) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    Receiver<param_of<Impl, 0>> receiver;
    if (!receiver.load(self)) return nullptr;
    auto item = Impl(receiver.get());
    if (!item) return nullptr;
    return to_python(std::move(*item));
  });
}

// A binary operator with the receiver on the left. Anything it cannot use
// (receiver of another class or borrowed, operand not convertible) gives
// NotImplemented and the conversion error is dropped, unless it is one no
// operator may swallow (KeyboardInterrupt, SystemExit, MemoryError).
template <auto Impl, class G>
PyObject* binary_with(PyObject* left, PyObject* right) {
  using T = std::remove_cvref_t<param_of<Impl, 0>>;
  G guard;
  if (!guard.acquire(object_cast<T>(left)->borrow)) Py_RETURN_NOTIMPLEMENTED;
  ArgFor<param_of<Impl, 1>, G> operand;
  if (!operand.load(right)) {
    if (!discard_conversion_error()) return nullptr;
    Py_RETURN_NOTIMPLEMENTED;
  }
  return to_python(Impl(object_cast<T>(left)->value, operand.get()));
}

template <auto Impl>
PyObject* binary_slot(PyObject* left, PyObject* right) noexcept {
  using T = std::remove_cvref_t<param_of<Impl, 0>>;
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    if (!is_instance<T>(left)) Py_RETURN_NOTIMPLEMENTED;
    if (arg_runs_no_python<ArgFor<param_of<Impl, 1>>>(right)) return binary_with<Impl, ReadCheck>(left, right);
    return binary_with<Impl, SharedBorrow>(left, right);
  });
}

// The multiplication slot serves __mul__ and __rmul__: the left operand as
// receiver first, then the right one. A left operand of another class (as in
// 2.0 * v) goes straight to the reflected half.
template <auto Mul, auto RMul>
PyObject* multiply_slot(PyObject* left, PyObject* right) noexcept {
  using T = std::remove_cvref_t<param_of<Mul, 0>>;
  if (is_instance<T>(left)) {
    PyObject* result = binary_slot<Mul>(left, right);
    if (result != Py_NotImplemented) return result;
    Py_DECREF(result);
  }
  return binary_slot<RMul>(right, left);
}

// A comparison slot is only ever called with an instance of its own class
// first (the interpreter swaps the operands for a reflected comparison, and no
// class can be subclassed), so `self` needs no type check.

// Both operands borrowed for reading; false when `other` is of another type or
// either is exclusively borrowed.
template <class T>
struct ReadPair {
  ReadCheck mine;
  ReadCheck theirs;
  bool acquire(PyObject* self, PyObject* other) noexcept {
    return Py_TYPE(other) == Py_TYPE(self) && mine.acquire(object_cast<T>(self)->borrow) &&
           theirs.acquire(object_cast<T>(other)->borrow);
  }
};

// != as the negation of the interpreter's full == comparison (reflection and
// identity fallback included); its errors pass through.
inline PyObject* derived_not_equal(PyObject* self, PyObject* other) {
  Ref equal = steal(PyObject_RichCompare(self, other, Py_EQ));
  if (!equal) return nullptr;
  const int truth = PyObject_IsTrue(equal.get());
  if (truth < 0) return nullptr;
  return to_python(truth == 0);
}

// Tolerant equality with no ordering: NotImplemented for anything but == and
// != between two instances. Meeting an exclusively borrowed `other` here is
// an internal failure.
template <auto Eq>
PyObject* equality_slot(PyObject* self, PyObject* other, int op) noexcept {
  using T = std::remove_cvref_t<param_of<Eq, 0>>;
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    ReadCheck mine;
    if (!mine.acquire(object_cast<T>(self)->borrow)) Py_RETURN_NOTIMPLEMENTED;
    if (op < Py_LT || op > Py_GE) Py_RETURN_NOTIMPLEMENTED;
    if (Py_TYPE(other) != Py_TYPE(self)) Py_RETURN_NOTIMPLEMENTED;
    ReadCheck theirs;
    if (!theirs.acquire(object_cast<T>(other)->borrow)) panic(text::borrow_in_compare);
    if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
    const bool equal = Eq(object_cast<T>(self)->value, object_cast<T>(other)->value);
    return to_python(equal != (op == Py_NE));
  });
}

// Exact comparisons with all six operators; != is derived from ==.
// Compare(a, b, op) answers <, <=, ==, >, >=. An operator code outside the six
// is an internal failure.
template <auto Compare>
PyObject* ordered_slot(PyObject* self, PyObject* other, int op) noexcept {
  using T = std::remove_cvref_t<param_of<Compare, 0>>;
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    if (op < Py_LT || op > Py_GE) panic(text::invalid_compareop);
    if (op == Py_NE) return derived_not_equal(self, other);
    ReadPair<T> pair;
    if (!pair.acquire(self, other)) Py_RETURN_NOTIMPLEMENTED;
    return to_python(Compare(object_cast<T>(self)->value, object_cast<T>(other)->value, op));
  });
}

// Tolerant == with != derived from it and no ordering: == answers only between
// two instances that can both be borrowed for reading, every other operator
// code is NotImplemented.
template <auto Eq>
PyObject* equality_derived_ne_slot(PyObject* self, PyObject* other, int op) noexcept {
  using T = std::remove_cvref_t<param_of<Eq, 0>>;
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    if (op == Py_NE) return derived_not_equal(self, other);
    if (op != Py_EQ) Py_RETURN_NOTIMPLEMENTED;
    ReadPair<T> pair;
    if (!pair.acquire(self, other)) Py_RETURN_NOTIMPLEMENTED;
    return to_python(Eq(object_cast<T>(self)->value, object_cast<T>(other)->value));
  });
}

}  // namespace kalvor::binding
