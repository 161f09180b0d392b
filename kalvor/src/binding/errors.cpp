#include "kalvor/src/binding/errors.hpp"

#include "kalvor/src/binding/ref.hpp"
#include "morvix/src/fitting.hpp"
#include "morvix/src/quat.hpp"

#include <charconv>
#include <new>
#include <string>
#include <type_traits>

namespace kalvor::binding {

namespace {

// Joins its pieces (texts and counts) into one message.
template <class... Pieces>
std::string text_of(const Pieces&... pieces) {
  std::string out;
  auto add = [&out](const auto& piece) {
    if constexpr (std::is_arithmetic_v<std::remove_cvref_t<decltype(piece)>>) {
      out += std::to_string(piece);
    } else {
      out += piece;
    }
  };
  (add(pieces), ...);
  return out;
}

[[gnu::cold]] void set_type_error(const std::string& message) noexcept {
  PyErr_SetString(PyExc_TypeError, message.c_str());
}

std::string utf8(PyObject* str) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str, &size);
  if (data == nullptr) {
    PyErr_Clear();
    return "?";
  }
  return std::string(data, static_cast<std::size_t>(size));
}

// An argument echoed in a message shows at most this many characters, then
// "…": a message stays short whatever it was given.
constexpr Py_ssize_t echo_limit = 40;

// The first echo_limit characters of a str (a new str), and whether it was cut.
Ref echoed_part(PyObject* str, bool& cut) {
  cut = PyUnicode_GetLength(str) > echo_limit;
  return cut ? steal(PyUnicode_Substring(str, 0, echo_limit)) : borrow(str);
}

// Replaces a pending TypeError by one whose text is make(old text), keeping
// its cause; any other pending exception is left as it is.
template <class Make>
void replace_type_error(Make&& make) noexcept {
  PyObject* raised = PyErr_GetRaisedException();
  if (raised == nullptr) return;
  if (!PyErr_GivenExceptionMatches(raised, PyExc_TypeError)) {
    PyErr_SetRaisedException(raised);
    return;
  }
  Ref old = steal(raised);
  Ref message = steal(PyObject_Str(old.get()));
  if (!message) return;
  Ref text = steal(make(message.get()));
  if (!text) return;
  PyErr_SetObject(PyExc_TypeError, text.get());
  Ref cause = steal(PyException_GetCause(old.get()));
  if (cause) {
    PyObject* fresh = PyErr_GetRaisedException();
    PyException_SetCause(fresh, cause.release());
    PyErr_SetRaisedException(fresh);
  }
}

// A tolerance as a short text: 1e-9 as "1e-9", not "1e-09".
std::string tolerance_text(double tolerance) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, tolerance, std::chars_format::scientific);
  std::string text(buffer, result.ptr);
  const std::size_t e = text.find("e-0");
  if (e != std::string::npos) text.erase(e + 2, 1);
  return text;
}

}  // namespace

std::string echoed_text(std::string_view text) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // A byte that does not continue a UTF-8 sequence starts a character.
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && characters++ == static_cast<std::size_t>(echo_limit))
      return std::string(text.substr(0, i)) + "…";
  }
  return std::string(text);
}

std::string type_name(PyObject* obj) {
  Ref name = steal(PyType_GetQualName(Py_TYPE(obj)));
  if (!name || !PyUnicode_Check(name.get())) {
    PyErr_Clear();
    return "<failed to extract type name>";
  }
  return utf8(name.get());
}

[[gnu::cold]] void too_many_positional(std::string_view call, std::size_t required, std::size_t expected,
                                      std::size_t given) {
  if (required == expected) {
    set_type_error(text_of(call, " takes ", expected, " positional arguments but ", given,
                           given == 1 ? " was given" : " were given"));
  } else {
    set_type_error(text_of(call, " takes from ", required, " to ", expected, " positional arguments but ", given,
                           given == 1 ? " was given" : " were given"));
  }
}

[[gnu::cold]] void multiple_values(std::string_view call, const char* param) {
  set_type_error(text_of(call, " got multiple values for argument '", param, "'"));
}

[[gnu::cold]] void unexpected_keyword(std::string_view call, PyObject* keyword) {
  bool cut = false;
  Ref shown = echoed_part(keyword, cut);
  if (!shown) return;
  set_type_error(text_of(call, " got an unexpected keyword argument '", utf8(shown.get()), cut ? "…'" : "'"));
}

[[gnu::cold]] void missing_arguments(std::string_view call, std::span<const char* const> missing) {
  // 'a' / 'a' and 'b' / 'a', 'b', and 'c'
  std::string list;
  for (std::size_t i = 0; i < missing.size(); ++i) {
    if (i > 0) {
      if (missing.size() > 2) list += ",";
      list += i + 1 == missing.size() ? " and " : " ";
    }
    list += text_of("'", missing[i], "'");
  }
  set_type_error(text_of(call, " missing ", missing.size(), " required positional ",
                         missing.size() == 1 ? "argument: " : "arguments: ", list));
}

[[gnu::cold]] void not_an_instance(PyObject* obj, std::string_view target) {
  if (obj == Py_None) {
    set_type_error(text_of("'None' is not an instance of '", target, "'"));
  } else {
    set_type_error(text_of("'", type_name(obj), "' object is not an instance of '", target, "'"));
  }
}

[[gnu::cold]] void not_an_instance(PyObject* obj, std::span<const char* const> targets) {
  std::string joined;
  for (std::size_t i = 0; i < targets.size(); ++i) joined += text_of(i > 0 ? " | " : "", targets[i]);
  not_an_instance(obj, joined);
}

[[gnu::cold]] void prefix_argument_error(const char* name) noexcept {
  replace_type_error([name](PyObject* message) { return PyUnicode_FromFormat("argument '%s': %U", name, message); });
}

[[gnu::cold]] void prefix_item_error(std::size_t index) noexcept {
  replace_type_error([index](PyObject* message) {
    const bool nested = PyUnicode_GetLength(message) > 0 && PyUnicode_ReadChar(message, 0) == '[';
    return PyUnicode_FromFormat(nested ? "[%zu]%U" : "[%zu]: %U", index, message);
  });
}

[[gnu::cold]] bool discard_conversion_error() noexcept {
  if (!PyErr_ExceptionMatches(PyExc_Exception) || PyErr_ExceptionMatches(PyExc_MemoryError)) return false;
  PyErr_Clear();
  return true;
}

[[gnu::cold]] PyObject* refuse_float(PyObject* obj) noexcept {
  try {
    set_type_error(text_of("float() argument must be a string or a real number, not '", type_name(obj), "'"));
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  }
  return nullptr;
}

[[gnu::cold]] PyObject* refuse_int(PyObject* obj) noexcept {
  try {
    set_type_error(
        text_of("int() argument must be a string, a bytes-like object or a real number, not '", type_name(obj), "'"));
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  }
  return nullptr;
}

bool refuses_float(PyObject* obj) noexcept {
  const PyNumberMethods* number = Py_TYPE(obj)->tp_as_number;
  return number != nullptr && number->nb_float == &refuse_float;
}

[[gnu::cold]] void not_a_real_number(PyObject* obj) { set_type_error(text_of("must be real number, not ", type_name(obj))); }

[[gnu::cold]] void bad_euler_axes(PyObject* text) {
  // str's repr, not a subclass's own: it names the letters received and runs no Python code.
  bool cut = false;
  Ref part = echoed_part(text, cut);
  if (!part) return;
  Ref shown = steal(PyUnicode_Type.tp_repr(part.get()));
  if (!shown) return;
  PyErr_Format(PyExc_ValueError,
               "axes must be three of the letters x, y, z (either case) with no letter twice in a row, got %U%s",
               shown.get(), cut ? "…" : "");
}

[[gnu::cold]] void no_bool_conversion(PyObject* obj) {
  set_type_error(text_of("object of type '", type_name(obj), "' does not define a '__bool__' conversion"));
}

[[gnu::cold]] void size_out_of_range() noexcept {
  PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
}

[[gnu::cold]] void str_to_vec() noexcept { PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`"); }

[[gnu::cold]] void wrong_length(std::size_t expected, Py_ssize_t length) {
  set_type_error(text_of("expected a sequence of ", expected, " items, got ", length));
}

[[gnu::cold]] void already_mutably_borrowed() noexcept {
  PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
}

[[gnu::cold]] void already_borrowed() noexcept { PyErr_SetString(PyExc_RuntimeError, "Already borrowed"); }

[[gnu::cold]] int no_deleter() noexcept {
  PyErr_SetString(PyExc_AttributeError, "property has no deleter");
  return -1;
}

[[gnu::cold]] void throw_index_error() noexcept(false) {
  PyErr_SetString(PyExc_IndexError, std::string(text::index_out_of_bounds).c_str());
  throw PythonError{};
}

[[gnu::cold]] void throw_value_error(std::string_view message) noexcept(false) {
  Ref text = steal(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  if (text) PyErr_SetObject(PyExc_ValueError, text.get());
  throw PythonError{};
}

namespace {
// The tolerance comes from the test itself, as in the pose matrix's texts.
std::string not_a_rotation(morvix::MatrixFault fault) {
  switch (fault) {
    case morvix::MatrixFault::not_finite:
      return "not a rotation matrix: an entry is not finite (NaN or infinite)";
    case morvix::MatrixFault::reflection:
      return "not a rotation matrix: its determinant is -1 (a reflection)";
    case morvix::MatrixFault::not_orthonormal:
    case morvix::MatrixFault::none:
      break;
  }
  return "not a rotation matrix: its rows are not orthonormal within " + tolerance_text(morvix::orthonormal_tolerance);
}
}  // namespace

[[gnu::cold]] void throw_not_a_rotation(morvix::MatrixFault fault) noexcept(false) {
  throw_value_error(not_a_rotation(fault));
}

[[gnu::cold]] void throw_not_a_rotation(morvix::MatrixFault fault, std::size_t index) noexcept(false) {
  throw_value_error(text_of("matrix ", index, ": ", not_a_rotation(fault)));
}

[[gnu::cold]] void throw_length_mismatch(std::size_t list, std::size_t operand) noexcept(false) {
  throw_value_error(text_of("lengths differ: the list has ", list, " elements, the operand ", operand));
}

[[gnu::cold]] void throw_not_finite(std::string_view name, std::size_t index) noexcept(false) {
  throw_value_error(text_of(name, "[", index, "] is not finite"));
}

[[gnu::cold]] void throw_not_finite(std::string_view name) noexcept(false) {
  throw_value_error(text_of(name, " is not finite"));
}

[[gnu::cold]] void throw_bad_bound(std::string_view name) noexcept(false) {
  throw_value_error(text_of(name, " must not be NaN or negative"));
}

[[gnu::cold]] void throw_k_below_one() noexcept(false) { throw_value_error("k must be at least 1"); }

[[gnu::cold]] void throw_empty_tree(std::string_view call) noexcept(false) {
  throw_value_error(text_of(call, " needs a tree with at least one point"));
}

[[gnu::cold]] void throw_no_keys(std::string_view call) noexcept(false) {
  throw_value_error(text_of(call, " needs at least one key"));
}

[[gnu::cold]] void throw_key_count(std::string_view call, std::size_t keys, std::size_t times) noexcept(false) {
  throw_value_error(text_of(call, " expected one key time for each of the ", keys, " keys, got ", times));
}

[[gnu::cold]] void throw_pair_lengths(std::string_view call, std::size_t source, std::size_t target) noexcept(false) {
  throw_value_error(text_of(call, " expected source and target of the same length, got ", source, " and ", target));
}

[[gnu::cold]] void throw_weight_count(std::string_view call, std::size_t n, std::string_view item,
                                      std::size_t weights) noexcept(false) {
  // "pair of vectors" counts as "pairs of vectors".
  const std::size_t space = item.find(' ');
  const std::string items = space == std::string_view::npos
                                ? text_of(item, "s")
                                : text_of(item.substr(0, space), "s", item.substr(space));
  throw_value_error(text_of(call, " expected one weight for each of the ", n, " ", items, ", got ", weights));
}

[[gnu::cold]] void throw_fit_error(std::string_view call, const morvix::FitError& error,
                                   std::string_view item) noexcept(false) {
  using morvix::FitFault;
  const std::size_t i = error.index;
  switch (error.fault) {
    case FitFault::empty:
      throw_value_error(text_of(call, " needs at least one ", item));
    case FitFault::source_not_finite:
      throw_value_error(text_of(call, " expected finite coordinates: source[", i, "] is not finite"));
    case FitFault::target_not_finite:
      throw_value_error(text_of(call, " expected finite coordinates: target[", i, "] is not finite"));
    case FitFault::element_not_finite:
      throw_value_error(text_of(call, " expected finite, non-zero quaternions: element ", i, " is not finite"));
    case FitFault::element_zero:
      throw_value_error(text_of(call, " expected finite, non-zero quaternions: element ", i, " is zero"));
    case FitFault::weight_negative:
      throw_value_error(text_of(call, " expected finite weights of zero or more: weights[", i, "] is negative"));
    case FitFault::weight_nan:
      throw_value_error(text_of(call, " expected finite weights of zero or more: weights[", i, "] is NaN"));
    case FitFault::weight_infinite:
      throw_value_error(text_of(call, " expected finite weights of zero or more: weights[", i, "] is infinite"));
    case FitFault::weights_zero:
      break;
  }
  throw_value_error(text_of(call, " expected weights with a positive sum: every weight is zero"));
}

[[gnu::cold]] void throw_key_order(std::string_view call, std::size_t index, KeyTimeFault what) noexcept(false) {
  const std::string fault = what == KeyTimeFault::nan        ? text_of("is NaN")
                            : what == KeyTimeFault::infinite ? text_of("is not finite")
                                                             : text_of("is not greater than key time ", index - 1);
  throw_value_error(text_of(call, " expected key times that increase strictly: key time ", index, " ", fault));
}

namespace {
std::string not_a_pose_matrix(morvix::RigidMatrixFault fault) {
  switch (fault) {
    case morvix::RigidMatrixFault::not_finite:
      return "not a rigid transform matrix: an entry is not finite (NaN or infinite)";
    case morvix::RigidMatrixFault::not_orthonormal:
      return "not a rigid transform matrix: the rows of its top-left 3x3 block are not orthonormal within " +
             tolerance_text(morvix::orthonormal_tolerance);
    case morvix::RigidMatrixFault::reflection:
      return "not a rigid transform matrix: its top-left 3x3 block has determinant -1 (a reflection)";
    case morvix::RigidMatrixFault::last_row:
    case morvix::RigidMatrixFault::none:
      break;
  }
  return "not a rigid transform matrix: its last row is not (0, 0, 0, 1) within " +
         tolerance_text(morvix::last_row_tolerance);
}
}  // namespace

[[gnu::cold]] void throw_not_a_pose_matrix(morvix::RigidMatrixFault fault) noexcept(false) {
  throw_value_error(not_a_pose_matrix(fault));
}

[[gnu::cold]] void throw_not_a_pose_matrix(morvix::RigidMatrixFault fault, std::size_t index) noexcept(false) {
  throw_value_error(text_of("matrix ", index, ": ", not_a_pose_matrix(fault)));
}

[[gnu::cold]] void throw_no_component_list(std::string_view call) noexcept(false) {
  PyErr_SetString(PyExc_TypeError,
                  text_of(call, " expected a QuatList of rotations or a VecList of translations (or both), got one Quat and one Vec3d")
                      .c_str());
  throw PythonError{};
}

[[gnu::cold]] void subinterpreters_unsupported() noexcept {
  PyErr_SetString(PyExc_ImportError,
                  "kalvor does not yet support sub-interpreters: it can be imported once per process, "
                  "in the interpreter that imported it first");
}

[[gnu::cold]] int read_only_buffer(std::string_view class_name) noexcept {
  PyErr_SetString(PyExc_BufferError, text_of(class_name, " buffers are read-only").c_str());
  return -1;
}

[[gnu::cold]] int not_fortran_contiguous(std::string_view class_name) noexcept {
  PyErr_SetString(PyExc_BufferError, text_of(class_name, " buffers are C-contiguous, not Fortran-contiguous").c_str());
  return -1;
}

[[gnu::cold]] void throw_rows_expected(std::string_view call, std::span<const std::size_t> item_shape,
                                      const std::string& got, bool type_error) noexcept(false) {
  std::string expected = text_of(item_shape.size() + 1, "-D buffer of float64 or float32 ");
  if (item_shape.size() == 1) {
    expected += text_of("with ", item_shape[0], " columns");
  } else {
    expected += "of shape (n";
    for (const std::size_t extent : item_shape) expected += text_of(", ", extent);
    expected += ")";
  }
  PyErr_SetString(type_error ? PyExc_TypeError : PyExc_ValueError,
                  text_of(call, " expected a ", expected, ", got ", got).c_str());
  throw PythonError{};
}

[[gnu::cold]] void throw_array_expected(std::string_view call, std::span<const std::size_t> item_shape,
                                       PyObject* got) noexcept(false) {
  std::string shape = "(n";
  for (const std::size_t extent : item_shape) shape += text_of(", ", extent);
  set_type_error(text_of(call, " expected an ", shape,
                         ") array (an object with the buffer protocol, such as a numpy array), got ", type_name(got)));
  throw PythonError{};
}

[[gnu::cold]] void throw_block_size(std::size_t item, std::string_view noun, std::size_t bytes) noexcept(false) {
  throw_value_error(text_of("expected a block of whole ", item, "-byte ", noun, "s, got ", bytes, " bytes"));
}

}  // namespace kalvor::binding
