#pragma once
// Every fixed message of the module and the builders of the variable ones.
// All of them are cold paths, kept out of line; each sets exactly one Python
// error (or returns a text for an internal failure). Those that build a text
// may throw std::bad_alloc, which the wrapper's single exit turns into
// MemoryError.

#include <Python.h>

#include "morvix/src/quat.hpp"
#include "morvix/src/rigid_transform.hpp"

#include <span>
#include <string>
#include <string_view>

namespace morvix {
struct FitError;
}

namespace kalvor::binding {

// ---- texts of internal failures
namespace text {
inline constexpr std::string_view generic_panic = "explicit panic";
inline constexpr std::string_view invalid_compareop = "invalid compareop";
inline constexpr std::string_view borrow_in_compare = "Already mutably borrowed: PyBorrowError";
inline constexpr std::string_view append_to_all = "could not append __name__ to __all__";
inline constexpr std::string_view index_out_of_bounds = "Index out of bounds";
inline constexpr std::string_view axis_assertion = "assertion failed: axis <= 2";
inline constexpr std::string_view stride_assertion = "assertion failed: stride != 0";
inline constexpr std::string_view unwrap_none = "called `Option::unwrap()` on a `None` value";
}  // namespace text

// Thrown by code between a wrapper's entry and its single exit when a Python
// error is already set; the exit returns the failure value.
struct PythonError {};

// The qualified name of an object's type, or "<failed to extract type name>".
std::string type_name(PyObject* obj);

// An argument's text as a message echoes it: at most its first 40
// characters (code points of UTF-8), then "…".
std::string echoed_text(std::string_view text);

// ---- argument matching
// "takes 2 positional arguments", or "takes from 1 to 3" when some are optional.
void too_many_positional(std::string_view call, std::size_t required, std::size_t expected, std::size_t given);
void multiple_values(std::string_view call, const char* param);
void unexpected_keyword(std::string_view call, PyObject* keyword);
void missing_arguments(std::string_view call, std::span<const char* const> missing);

// ---- conversion
// "'{type}' object is not an instance of '{target}'" (or "'None' is not ...").
void not_an_instance(PyObject* obj, std::string_view target);
// The same, naming every accepted class: "... of 'Quat | QuatList'".
void not_an_instance(PyObject* obj, std::span<const char* const> targets);
// Turns a pending TypeError T into "argument '{name}': T", keeping its cause;
// any other pending exception is left unchanged.
void prefix_argument_error(const char* name) noexcept;
void no_bool_conversion(PyObject* obj);
void size_out_of_range() noexcept;
void str_to_vec() noexcept;
// "expected a sequence of {expected} items, got {length}"
void wrong_length(std::size_t expected, Py_ssize_t length);
// Turns a pending TypeError T raised by item `index` of a sequence into
// "[index]: T", or "[index][...]" when T already names an inner position;
// any other pending exception is left unchanged.
void prefix_item_error(std::size_t index) noexcept;
// ValueError "axes must be three of the letters x, y, z (either case) with no
// letter twice in a row, got {repr(text)}", the str's own repr.
void bad_euler_axes(PyObject* text);
// The number slots of a class that has no conversion to a number, so that
// float(), int() and complex() refuse it at once instead of reading its
// buffer as text: TypeError "float() argument must be a string or a real
// number, not '{type}'" and "int() argument must be a string, a bytes-like
// object or a real number, not '{type}'". Always null.
PyObject* refuse_float(PyObject* obj) noexcept;
PyObject* refuse_int(PyObject* obj) noexcept;
// Whether `obj`'s class refuses float() so: the float converter then raises
// what the interpreter's float conversion says of any other non-number,
// "must be real number, not {type}" (not_a_real_number).
bool refuses_float(PyObject* obj) noexcept;
void not_a_real_number(PyObject* obj);
// Clears a pending conversion error that an operator may discard (it then
// returns NotImplemented) and says so; an interrupt, an exit or any other
// exception that is not an Exception, and MemoryError, stay pending.
bool discard_conversion_error() noexcept;

// ---- borrowing and properties
void already_mutably_borrowed() noexcept;
void already_borrowed() noexcept;
int no_deleter() noexcept;

// ---- operation results
[[noreturn]] void throw_index_error() noexcept(false);
// A geometric failure: ValueError carrying the core's message text and nothing else.
[[noreturn]] void throw_value_error(std::string_view message) noexcept(false);
void subinterpreters_unsupported() noexcept;
// A matrix that is not a rotation: ValueError saying which test it failed,
// the finiteness of its entries, the orthonormality of its rows or
// (orthonormal, but a reflection) the sign of its determinant.
[[noreturn]] void throw_not_a_rotation(morvix::MatrixFault fault) noexcept(false);
// The same for matrix `index` of many: "matrix {index}: not a rotation matrix: ...".
[[noreturn]] void throw_not_a_rotation(morvix::MatrixFault fault, std::size_t index) noexcept(false);
// ValueError "lengths differ: the list has {list} elements, the operand {operand}"
// for an element-wise operand list of another length.
[[noreturn]] void throw_length_mismatch(std::size_t list, std::size_t operand) noexcept(false);
// Keyframes that cannot be interpolated: ValueError "{call} needs at least one key",
// "{call} expected one key time for each of the {keys} keys, got {times}",
// "{call} expected key times that increase strictly: key time {index} is NaN",
// "... key time {index} is not finite" or "... key time {index} is not greater
// than key time {index - 1}".
[[noreturn]] void throw_no_keys(std::string_view call) noexcept(false);
[[noreturn]] void throw_key_count(std::string_view call, std::size_t keys, std::size_t times) noexcept(false);
enum class KeyTimeFault { nan, infinite, not_increasing };
[[noreturn]] void throw_key_order(std::string_view call, std::size_t index, KeyTimeFault fault) noexcept(false);
// A 4×4 matrix that is not a pose: ValueError saying which test it failed
// (morvix::rigid_matrix_fault), with that test's tolerance where it has one.
[[noreturn]] void throw_not_a_pose_matrix(morvix::RigidMatrixFault fault) noexcept(false);
// The same for matrix `index` of many: "matrix {index}: not a rigid transform matrix: ...".
[[noreturn]] void throw_not_a_pose_matrix(morvix::RigidMatrixFault fault, std::size_t index) noexcept(false);
// TypeError "{call} expected a QuatList of rotations or a VecList of
// translations (or both), got one Quat and one Vec3d".
[[noreturn]] void throw_no_component_list(std::string_view call) noexcept(false);

// Data a fit or a mean cannot use: ValueError "{call} expected source and
// target of the same length, got {a} and {b}", "{call} needs at least
// one {item}", "{call} expected one weight for each of the {n} {item}s, got
// {m}", "{call} expected finite coordinates: source[3] is not finite",
// "{call} expected finite, non-zero quaternions: element 3 is zero",
// "{call} expected finite weights of zero or more: weights[2] is negative"
// (is NaN, is infinite), "{call} expected weights with a positive sum: every
// weight is zero". `item` names one element ("pair of vectors", "quaternion").
[[noreturn]] void throw_pair_lengths(std::string_view call, std::size_t source, std::size_t target) noexcept(false);
[[noreturn]] void throw_weight_count(std::string_view call, std::size_t n, std::string_view item,
                                     std::size_t weights) noexcept(false);
[[noreturn]] void throw_fit_error(std::string_view call, const morvix::FitError& error,
                                  std::string_view item) noexcept(false);

// The spatial index's refusals, all ValueError: "{name}[{index}] is not finite"
// for a point of a list, "{name} is not finite" for one point, "{name} must
// not be NaN or negative" for a distance bound, "k must be at least 1", and
// "{call} needs a tree with at least one point".
[[noreturn]] void throw_not_finite(std::string_view name, std::size_t index) noexcept(false);
[[noreturn]] void throw_not_finite(std::string_view name) noexcept(false);
[[noreturn]] void throw_bad_bound(std::string_view name) noexcept(false);
[[noreturn]] void throw_k_below_one() noexcept(false);
[[noreturn]] void throw_empty_tree(std::string_view call) noexcept(false);

// ---- buffers and pickling
// BufferError "{Class} buffers are read-only"; returns -1.
int read_only_buffer(std::string_view class_name) noexcept;
// BufferError "{Class} buffers are C-contiguous, not Fortran-contiguous"; returns -1.
int not_fortran_contiguous(std::string_view class_name) noexcept;
// "{call} expected a 2-D buffer of float64 or float32 with {c} columns, got {got}"
// for items of shape (c,), "{call} expected a 3-D buffer of float64 or float32
// of shape (n, {a}, {b}), got {got}" for items of shape (a, b): TypeError for a
// wrong format, ValueError for a wrong shape.
[[noreturn]] void throw_rows_expected(std::string_view call, std::span<const std::size_t> item_shape,
                                      const std::string& got, bool type_error) noexcept(false);
// TypeError "{call} expected an (n, 4) array (an object with the buffer
// protocol, such as a numpy array), got {type}" for an object without a buffer.
[[noreturn]] void throw_array_expected(std::string_view call, std::span<const std::size_t> item_shape,
                                       PyObject* got) noexcept(false);
// ValueError "expected a block of whole {item}-byte {noun}s, got {bytes} bytes".
[[noreturn]] void throw_block_size(std::size_t item, std::string_view noun, std::size_t bytes) noexcept(false);

}  // namespace kalvor::binding
