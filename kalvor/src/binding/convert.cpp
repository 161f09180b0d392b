#include "kalvor/src/binding/convert.hpp"

#include <cstring>
#include <limits>

namespace kalvor::binding {

bool load_size(PyObject* o, std::size_t& out) noexcept {
  unsigned long long value;
  if (PyLong_Check(o)) {
    value = PyLong_AsUnsignedLongLong(o);
  } else {
    Ref index = steal(PyNumber_Index(o));
    if (!index) return false;
    value = PyLong_AsUnsignedLongLong(index.get());
  }
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
  if (value > std::numeric_limits<std::size_t>::max()) {
    size_out_of_range();
    return false;
  }
  out = static_cast<std::size_t>(value);
  return true;
}

bool load_int64(PyObject* o, std::int64_t& out) noexcept {
  Ref index;
  if (!PyLong_Check(o)) {
    index = steal(PyNumber_Index(o));
    if (!index) return false;
    o = index.get();
  }
  int overflow = 0;
  const long long value = PyLong_AsLongLongAndOverflow(o, &overflow);
  if (value == -1 && PyErr_Occurred()) return false;
  out = overflow > 0 ? std::numeric_limits<std::int64_t>::max()
        : overflow < 0 ? std::numeric_limits<std::int64_t>::min()
                       : static_cast<std::int64_t>(value);
  return true;
}

bool load_subscript(PyObject* o, Subscript& out) noexcept {
  if (PySlice_Check(o)) {
    out.slice = true;
    return PySlice_Unpack(o, &out.start, &out.stop, &out.step) == 0;
  }
  out.slice = false;
  Ref index = steal(PyNumber_Index(o));
  if (!index) return false;
  // Clipped rather than refused: an index beyond the range is out of bounds.
  out.index = PyLong_AsSsize_t(index.get());
  if (out.index == -1 && PyErr_Occurred()) {
    PyErr_Clear();
    out.index = PY_SSIZE_T_MAX;
  }
  return true;
}

std::optional<std::size_t> Subscript::position(std::size_t length) const noexcept {
  const auto n = static_cast<Py_ssize_t>(length);
  const Py_ssize_t i = index < 0 ? index + n : index;
  if (i < 0 || i >= n) return std::nullopt;
  return static_cast<std::size_t>(i);
}

Subscript::Selection Subscript::selection(std::size_t length) const noexcept {
  Py_ssize_t first = start, last = stop;
  const Py_ssize_t count = PySlice_AdjustIndices(static_cast<Py_ssize_t>(length), &first, &last, step);
  return {static_cast<std::size_t>(first), static_cast<std::size_t>(count), step};
}

namespace {

// A NumPy boolean scalar: its type's module is "numpy" and its name "bool_"
// or "bool".
bool is_numpy_bool(PyObject* o) noexcept {
  PyTypeObject* type = Py_TYPE(o);
  Ref module = steal(PyType_GetModuleName(type));
  if (!module) {
    PyErr_Clear();
    return false;
  }
  if (!PyUnicode_Check(module.get()) || PyUnicode_CompareWithASCIIString(module.get(), "numpy") != 0) return false;
  Ref name = steal(PyType_GetName(type));
  if (!name) {
    PyErr_Clear();
    return false;
  }
  return PyUnicode_CompareWithASCIIString(name.get(), "bool_") == 0 ||
         PyUnicode_CompareWithASCIIString(name.get(), "bool") == 0;
}

}  // namespace

bool load_bool(PyObject* o, bool& out) {
  if (o == Py_True || o == Py_False) {
    out = o == Py_True;
    return true;
  }
  if (is_numpy_bool(o)) {
    PyNumberMethods* number = Py_TYPE(o)->tp_as_number;
    if (number == nullptr || number->nb_bool == nullptr) {
      no_bool_conversion(o);
      return false;
    }
    const int truth = number->nb_bool(o);
    if (truth < 0) return false;
    out = truth != 0;
    return true;
  }
  not_an_instance(o, "bool");
  return false;
}

bool Arg<morvix::EulerAxes>::load(PyObject* o) {
  if (!PyUnicode_Check(o)) {
    not_an_instance(o, "str");
    return false;
  }
  // Read as code points, so no text can fail to encode; the parser refuses
  // anything beyond ASCII, which is passed on as a byte no letter matches.
  char letters[3] = {};
  const bool three = PyUnicode_GET_LENGTH(o) == 3;
  for (Py_ssize_t n = 0; three && n < 3; ++n) {
    const Py_UCS4 c = PyUnicode_READ_CHAR(o, n);
    letters[n] = c < 0x80 ? static_cast<char>(c) : '\0';
  }
  const std::optional<morvix::EulerAxes> axes = three ? morvix::parse_euler_axes({letters, 3}) : std::nullopt;
  if (!axes) {
    bad_euler_axes(o);
    return false;
  }
  value = *axes;
  return true;
}

Ref sequence_iterator(PyObject* o, std::size_t& length) {
  if (PyUnicode_Check(o)) {
    str_to_vec();
    return {};
  }
  if (!PySequence_Check(o)) {
    not_an_instance(o, "Sequence");
    return {};
  }
  // The length is only a hint: a failure to give it is dropped like an
  // operator's conversion error.
  const Py_ssize_t size = PyObject_Size(o);
  if (size < 0 && !discard_conversion_error()) return {};
  length = size < 0 ? 0 : static_cast<std::size_t>(size);
  return steal(PyObject_GetIter(o));
}

bool sequence_length_is(PyObject* o, std::size_t n) {
  if (!PySequence_Check(o)) {
    not_an_instance(o, "Sequence");
    return false;
  }
  const Py_ssize_t length = PyObject_Size(o);
  if (length < 0) {
    // An unknown length is found by counting: the snapshot decides.
    if (!discard_conversion_error()) return false;
    return true;
  }
  if (static_cast<std::size_t>(length) == n) return true;
  wrong_length(n, length);
  return false;
}

Ref sequence_snapshot(PyObject* o) {
  if (!PySequence_Check(o)) {
    not_an_instance(o, "Sequence");
    return {};
  }
  return steal(PySequence_Tuple(o));
}

}  // namespace kalvor::binding
