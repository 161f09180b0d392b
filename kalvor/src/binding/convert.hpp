#pragma once
// Typed converters, selected by the C++ parameter type of an `_impl`:
//   double            the float rule (exact float first, then __float__/__index__)
//   std::size_t       the index rule (unsigned, OverflowError when negative)
//   std::int64_t      the index rule, signed, clamped to its range (a count the caller checks)
//   bool              exactly True/False, or a NumPy boolean scalar
//   const T&          an instance of T's class, borrowed shared for the call
//   std::vector<T>    a sequence of instances of T's class, copied out
//   std::array<E, N>  a sequence of exactly N items, each converted as E
//                     (so Matrix3 is three sequences of three floats)
//   EulerAxes         a str of three axis letters ("xyz", "ZXZ")
//   std::optional<T>  an optional parameter: empty when missing or None, else as T
// Each `load` fails by returning false with exactly one Python error set, not
// prefixed; the caller adds "argument '{name}': " in one place. A C++
// exception (an allocation that fails) passes through to the wrapper's single
// exit, which alone turns exceptions into Python errors.
//
// Results go the other way through `to_python`, chosen by the return type.

#include <Python.h>

#include "kalvor/src/binding/arrays.hpp"
#include "kalvor/src/binding/errors.hpp"
#include "kalvor/src/binding/object.hpp"
#include "kalvor/src/binding/ref.hpp"
#include "morvix/src/quat.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace kalvor::binding {

template <class P>
struct Arg;

template <>
struct Arg<double> {
  double value = 0.0;
  bool load(PyObject* o) noexcept {
    if (PyFloat_CheckExact(o)) {
      value = PyFloat_AS_DOUBLE(o);
      return true;
    }
    value = PyFloat_AsDouble(o);
    if (value == -1.0 && PyErr_Occurred()) {
      // A class of this module refuses float() in its own words; as an
      // argument it is refused as any other non-number is.
      if (refuses_float(o) && PyErr_ExceptionMatches(PyExc_TypeError)) {
        PyErr_Clear();
        not_a_real_number(o);
      }
      return false;
    }
    return true;
  }
  double get() const noexcept { return value; }
  // Whether load(o) runs no Python code (no __float__ or __index__).
  static bool runs_no_python(PyObject* o) noexcept { return PyFloat_CheckExact(o); }
};

bool load_size(PyObject* o, std::size_t& out) noexcept;

template <>
struct Arg<std::size_t> {
  std::size_t value = 0;
  bool load(PyObject* o) noexcept {
    // Small non-negative ints (the common case) are read in place.
    if (PyLong_CheckExact(o) && PyUnstable_Long_IsCompact(reinterpret_cast<PyLongObject*>(o))) {
      const Py_ssize_t compact = PyUnstable_Long_CompactValue(reinterpret_cast<PyLongObject*>(o));
      if (compact >= 0) {
        value = static_cast<std::size_t>(compact);
        return true;
      }
    }
    return load_size(o, value);
  }
  std::size_t get() const noexcept { return value; }
  static bool runs_no_python(PyObject* o) noexcept { return PyLong_CheckExact(o); }
};

bool load_int64(PyObject* o, std::int64_t& out) noexcept;

// A signed count (the index rule): an int beyond the 64-bit range is
// clamped to its end, so the caller's own range check reports it.
template <>
struct Arg<std::int64_t> {
  std::int64_t value = 0;
  bool load(PyObject* o) noexcept { return load_int64(o, value); }
  std::int64_t get() const noexcept { return value; }
  static bool runs_no_python(PyObject* o) noexcept { return PyLong_CheckExact(o); }
};

// An optional parameter ("k=1" or "weights=None" in the table): empty when
// it is not given or given as None, so None always means the default.
template <class T>
struct Arg<std::optional<T>> {
  Arg<T> inner;
  bool given = false;
  bool load(PyObject* o) {
    if (o == nullptr || o == Py_None) return true;
    given = true;
    return inner.load(o);
  }
  std::optional<T> get() const { return given ? std::optional<T>(inner.get()) : std::nullopt; }
  static bool runs_no_python(PyObject* o) noexcept {
    if (o == nullptr || o == Py_None) return true;
    if constexpr (requires { Arg<T>::runs_no_python(o); }) {
      return Arg<T>::runs_no_python(o);
    } else {
      return false;
    }
  }
};

bool load_bool(PyObject* o, bool& out);

// A subscript of a list of our own: an int, negative counting from the end,
// or a slice, kept unresolved until the list's length is known. Anything else
// is the interpreter's TypeError for an object that is not an integer.
struct Subscript {
  bool slice = false;
  Py_ssize_t index = 0;  // an int, clipped to the Py_ssize_t range
  Py_ssize_t start = 0, stop = 0, step = 1;

  // The position of an int subscript in a sequence of `length` items, or
  // nothing when it is out of range.
  std::optional<std::size_t> position(std::size_t length) const noexcept;
  // The positions a slice selects: first, then every `step`, `count` in all.
  struct Selection {
    std::size_t first, count;
    Py_ssize_t step;
  };
  Selection selection(std::size_t length) const noexcept;
};

bool load_subscript(PyObject* o, Subscript& out) noexcept;

template <>
struct Arg<Subscript> {
  Subscript value;
  bool load(PyObject* o) noexcept { return load_subscript(o, value); }
  const Subscript& get() const noexcept { return value; }
  static bool runs_no_python(PyObject* o) noexcept { return PyLong_CheckExact(o); }
};


template <>
struct Arg<bool> {
  bool value = false;
  bool load(PyObject* o) { return load_bool(o, value); }
  bool get() const noexcept { return value; }
  static bool runs_no_python(PyObject* o) noexcept { return o == Py_True || o == Py_False; }
};

// A str naming a sequence of Euler axes: TypeError for anything else, and a
// ValueError naming the string when it is not three letters x, y, z (either
// case) with no letter twice in a row.
template <>
struct Arg<morvix::EulerAxes> {
  morvix::EulerAxes value{};
  bool load(PyObject* o);
  const morvix::EulerAxes& get() const noexcept { return value; }
  static bool runs_no_python(PyObject* o) noexcept { return PyUnicode_CheckExact(o); }
};

// The value of an instance `o` of T's class under a borrow held by `guard`:
// a reading one (the error "Already mutably borrowed" when it cannot be had)
// or an exclusive one ("Already borrowed"). Null with the error set on
// failure.
template <Bound T, class Guard>
auto borrow_value(PyObject* o, Guard& guard) noexcept {
  if constexpr (std::is_same_v<Guard, ExclusiveBorrow>) {
    T* value = guard.acquire(object_cast<T>(o)->borrow) ? &object_cast<T>(o)->value : nullptr;
    if (value == nullptr) already_borrowed();
    return value;
  } else {
    const T* value = guard.acquire(object_cast<T>(o)->borrow) ? &object_cast<T>(o)->value : nullptr;
    if (value == nullptr) already_mutably_borrowed();
    return value;
  }
}

// An instance of a class of this module, borrowed for reading until the call
// ends: shared, or only checked (ReadCheck) when the call runs no Python code
// while it holds the value.
template <Bound T, class Guard = SharedBorrow>
struct InstanceArg {
  const T* value = nullptr;
  Guard guard;
  bool load(PyObject* o) {
    if (!is_instance<T>(o)) {
      not_an_instance(o, PyClass<T>::name);
      return false;
    }
    value = borrow_value<T>(o, guard);
    return value != nullptr;
  }
  const T& get() const noexcept { return *value; }
  static constexpr bool runs_no_python(PyObject*) noexcept { return true; }
};

template <Bound T>
struct Arg<const T&> : InstanceArg<T> {};

// An instance of any one of several classes, as a pointer to its value:
// a parameter that accepts, say, one Quat or a whole QuatList.
template <Bound... T>
struct OneOf {
  std::variant<const T*...> value;

  // The value if the instance is a U, else null.
  template <class U>
  const U* get_if() const noexcept {
    const U* const* p = std::get_if<const U*>(&value);
    return p != nullptr ? *p : nullptr;
  }
};

// Its converter: the first class `o` is an instance of, borrowed for reading
// like an InstanceArg; a TypeError naming every class otherwise
// ("'int' object is not an instance of 'Quat | QuatList'").
template <class Guard, Bound... T>
struct OneOfArg {
  OneOf<T...> value;
  Guard guard;
  bool load(PyObject* o) {
    bool matched = false, ok = false;
    auto attempt = [&]<class U>() {
      if (matched || !is_instance<U>(o)) return;
      matched = true;
      const U* v = borrow_value<U>(o, guard);
      ok = v != nullptr;
      value.value = v;
    };
    (attempt.template operator()<T>(), ...);
    if (!matched) {
      static constexpr const char* names[] = {PyClass<T>::name...};
      not_an_instance(o, names);
    }
    return ok;
  }
  const OneOf<T...>& get() const noexcept { return value; }
  static constexpr bool runs_no_python(PyObject*) noexcept { return true; }
};

template <class P>
inline constexpr bool is_one_of = false;
template <class... T>
inline constexpr bool is_one_of<OneOf<T...>> = true;
template <class P, class Guard>
struct one_of_arg;
template <class... T, class Guard>
struct one_of_arg<OneOf<T...>, Guard> {
  using type = OneOfArg<Guard, T...>;
};

// Checks that `o` is a sequence and not a `str`, and returns its iterator and
// its length (0 when the length cannot be read); null with the error set.
Ref sequence_iterator(PyObject* o, std::size_t& length);

// A sequence of instances of T's class, each borrowed while its value is
// copied out, in order.
template <Bound T, class Alloc>
struct Arg<std::vector<T, Alloc>> {
  static constexpr std::size_t reserve_limit = std::size_t{1} << 16;
  std::vector<T, Alloc> value;

  bool load(PyObject* o) {
#ifndef Py_GIL_DISABLED
    // A list or tuple is read in place: holding the interpreter lock and
    // running no Python code while copying, nothing can change it meanwhile.
    if (PyList_CheckExact(o) || PyTuple_CheckExact(o)) return load_items(o);
#endif
    return load_iterated(o);
  }
  std::vector<T, Alloc>& get() noexcept { return value; }

 private:
  bool load_items(PyObject* o) {
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(o);
    PyObject** items = PySequence_Fast_ITEMS(o);
    value.resize(static_cast<std::size_t>(n));
    PyTypeObject* type = PyClass<T>::type();
    T* out = value.data();
    for (Py_ssize_t i = 0; i < n; ++i) {
      // Each value is copied out at once, with no Python code run meanwhile.
      PyObject* item = items[i];
      if (Py_TYPE(item) == type && can_read(object_cast<T>(item)->borrow)) {
        out[i] = object_cast<T>(item)->value;
        continue;
      }
      InstanceArg<T, ReadCheck> element;
      if (!element.load(item)) return false;
      out[i] = element.get();
    }
    return true;
  }

  bool load_iterated(PyObject* o) {
    std::size_t length = 0;
    Ref iterator = sequence_iterator(o, length);
    if (!iterator) return false;
    // The length is only a hint, and may lie: at most a bounded reservation up
    // front, the rest grows as items arrive.
    value.reserve(std::min(length, reserve_limit));
    for (;;) {
      PyObject* raw = nullptr;
      const int status = PyIter_NextItem(iterator.get(), &raw);
      if (status < 0) return false;
      if (status == 0) return true;
      Ref item = steal(raw);
      InstanceArg<T, ReadCheck> element;
      if (!element.load(raw)) return false;
      value.push_back(element.get());
    }
  }
};

// The items of a sequence that is neither a list nor a tuple (a NumPy array,
// a user's sequence class) as a new tuple holding strong references; null
// with the error set ("'int' object is not an instance of 'Sequence'").
Ref sequence_snapshot(PyObject* o);

// False with the error set when `o` is not a sequence or reports a length
// other than n ("expected a sequence of {n} items, got {length}"); true when
// it has n items or cannot tell its length (its items are then counted).
bool sequence_length_is(PyObject* o, std::size_t n);

// A sequence of exactly N items (a list, a tuple or anything the interpreter
// takes for a sequence, such as a NumPy array), each converted by E's rule. A
// TypeError of item i reads "[i]: {error}", or "[i][j]: {error}" one level down.
template <class E, std::size_t N>
struct Arg<std::array<E, N>> {
  static_assert(N > 0);
  using Element = std::conditional_t<Bound<E>, Arg<const E&>, Arg<E>>;
  std::array<E, N> value{};

  bool load(PyObject* o) {
    if (PyTuple_CheckExact(o)) return load_tuple(o);
#ifndef Py_GIL_DISABLED
    if (PyList_CheckExact(o)) return load_list(o);
#endif
    // The length first, so a long sequence (a stride-0 view of billions of
    // rows, a range) is refused at once, before any item is copied.
    if (!sequence_length_is(o, N)) return false;
    Ref items = sequence_snapshot(o);
    return items && load_tuple(items.get());
  }
  const std::array<E, N>& get() const noexcept { return value; }

 private:
  bool load_tuple(PyObject* tuple) {
    if (!has_length(PyTuple_GET_SIZE(tuple))) return false;
    for (std::size_t i = 0; i < N; ++i)
      if (!load_item(i, PyTuple_GET_ITEM(tuple, static_cast<Py_ssize_t>(i)))) return false;
    return true;
  }

  // Converting an item may run Python code (__float__, __index__) that changes
  // the list: its length is read again before each item, and the item is held
  // by a strong reference while it is converted.
  bool load_list(PyObject* list) {
    for (std::size_t i = 0; i < N; ++i) {
      if (!has_length(PyList_GET_SIZE(list))) return false;
      Ref item = borrow(PyList_GET_ITEM(list, static_cast<Py_ssize_t>(i)));
      if (!load_item(i, item.get())) return false;
    }
    return true;
  }

  static bool has_length(Py_ssize_t length) {
    if (length == static_cast<Py_ssize_t>(N)) return true;
    wrong_length(N, length);
    return false;
  }

  bool load_item(std::size_t i, PyObject* item) {
    Element element;
    if (!element.load(item)) {
      prefix_item_error(i);
      return false;
    }
    value[i] = element.get();
    return true;
  }
};

// A list result's output array: the workers fill it, then the calling thread
// builds one object per element from it, in order. Its storage is a bulk
// array (binding/arrays.hpp), taken for the call and given back after it: a
// large result reuses a freed large array instead of faulting in fresh pages,
// and what stays behind once the call is over is that one process-wide,
// bounded cache, however many threads make list results.
template <class T>
class ListOf {
  static_assert(std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>);

 public:
  explicit ListOf(std::size_t n) : data(allocate_array_of<T>(n)), size(n) {}
  ListOf(ListOf&& other) noexcept : data(std::exchange(other.data, nullptr)), size(other.size) {}
  ListOf(const ListOf&) = delete;
  ListOf& operator=(const ListOf&) = delete;
  ListOf& operator=(ListOf&&) = delete;
  ~ListOf() {
    if (data != nullptr) deallocate_array(data, size * sizeof(T));
  }

  T* data;
  std::size_t size;
};

// ---- results

// A result the interpreter could not create: its error (MemoryError) stays
// set and the call fails with it, like every other failed allocation.
inline PyObject* checked(PyObject* result) {
  if (result == nullptr) throw PythonError{};
  return result;
}

inline PyObject* to_python(double v) { return checked(PyFloat_FromDouble(v)); }
// True and False are immortal: a new reference needs no count.
inline PyObject* to_python(bool v) noexcept { return v ? Py_True : Py_False; }
inline PyObject* to_python(std::size_t v) { return checked(PyLong_FromSize_t(v)); }
inline PyObject* to_python(Py_hash_t v) { return checked(PyLong_FromSsize_t(v)); }
inline PyObject* to_python(const std::string& v) {
  PyObject* s = PyUnicode_FromStringAndSize(v.data(), static_cast<Py_ssize_t>(v.size()));
  if (s == nullptr) throw PythonError{};
  return s;
}
inline PyObject* to_python(Ref&& v) noexcept { return v.release(); }

template <Bound T>
PyObject* to_python(T&& v) {
  PyObject* o = new_instance(std::forward<T>(v));
  if (o == nullptr) throw PythonError{};
  return o;
}
template <Bound T>
PyObject* to_python(const T& v) {
  PyObject* o = new_instance(T(v));
  if (o == nullptr) throw PythonError{};
  return o;
}

template <class... E>
PyObject* to_python(std::tuple<E...>&& v);
template <class... E>
PyObject* to_python(std::variant<E...>&& v);
template <class A, class B>
PyObject* to_python(std::pair<A, B>&& v);
template <class E, std::size_t N>
PyObject* to_python(const std::array<E, N>& v);
template <class E, class A>
PyObject* to_python(const std::vector<E, A>& v);
template <class E>
PyObject* to_python(ListOf<E>&& v);

// Fills a new list of `n` items from make(i); the list is built directly,
// no appends.
template <class Make>
PyObject* build_list(std::size_t n, Make&& make) {
  Ref list = steal(checked(PyList_New(static_cast<Py_ssize_t>(n))));
  for (std::size_t i = 0; i < n; ++i) PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), make(i));
  return list.release();
}

template <class E>
PyObject* to_python(ListOf<E>&& v) {
  return build_list(v.size, [&](std::size_t i) { return to_python(v.data[i]); });
}

template <class E, class A>
PyObject* to_python(const std::vector<E, A>& v) {
  if constexpr (std::is_same_v<E, bool>) {
    return build_list(v.size(), [&](std::size_t i) { return to_python(static_cast<bool>(v[i])); });
  } else {
    return build_list(v.size(), [&](std::size_t i) { return to_python(v[i]); });
  }
}

template <class E, std::size_t N>
PyObject* to_python(const std::array<E, N>& v) {
  return build_list(N, [&](std::size_t i) { return to_python(v[i]); });
}

template <class... E>
PyObject* to_python(std::tuple<E...>&& v) {
  Ref tuple = steal(checked(PyTuple_New(sizeof...(E))));
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    (PyTuple_SET_ITEM(tuple.get(), I, to_python(std::move(std::get<I>(v)))), ...);
  }(std::index_sequence_for<E...>{});
  return tuple.release();
}

// One of several result types, whichever the _impl returned.
template <class... E>
PyObject* to_python(std::variant<E...>&& v) {
  return std::visit([](auto&& alternative) { return to_python(std::move(alternative)); }, std::move(v));
}

template <class A, class B>
PyObject* to_python(std::pair<A, B>&& v) {
  return to_python(std::tuple<A, B>(std::move(v.first), std::move(v.second)));
}

}  // namespace kalvor::binding
