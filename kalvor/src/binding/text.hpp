#pragma once
// A value's text, written once for its repr and for __format__.
//
// A class states the form of its text: fixed pieces around up to four
// numbers, "Vec3d(" x ", " y ", " z ")" or "" angle " radians". repr() writes
// each number in the float text format; format(value, format_spec) with a
// non-empty format_spec writes each one as format(number, format_spec) does,
// through the interpreter, so a format that float refuses raises float's own
// ValueError. An empty format_spec gives the repr, as format(x, "") gives
// str(x) for any object.

#include <Python.h>

#include "kalvor/src/binding/errors.hpp"
#include "kalvor/src/binding/ref.hpp"
#include "kalvor/src/binding/wrap.hpp"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace kalvor::binding {

struct TextForm {
  std::string_view head;       // before the first number
  std::string_view separator;  // between two numbers
  std::string_view tail;       // after the last number
  std::array<double, 4> numbers;
  std::size_t count;
};

// Appends the form with every number in the float text format.
void append_text(std::string& out, const TextForm& form);

// The same text as a new str, written on the stack; throws PythonError when
// the interpreter cannot make the str.
Ref text_object(const TextForm& form) noexcept(false);

// The format_spec argument of __format__: a str.
struct FormatSpec {
  PyObject* text = nullptr;  // borrowed from the call's arguments
};

template <>
struct Arg<FormatSpec> {
  FormatSpec value;
  bool load(PyObject* o) noexcept {
    if (!PyUnicode_Check(o)) {
      not_an_instance(o, "str");
      return false;
    }
    value.text = o;
    return true;
  }
  const FormatSpec& get() const noexcept { return value; }
  static bool runs_no_python(PyObject* o) noexcept { return PyUnicode_CheckExact(o); }
};

// The form with every number formatted by `format_spec`; throws PythonError
// when the interpreter refuses that format.
std::string format_text(const TextForm& form, const FormatSpec& format_spec) noexcept(false);

// The repr and __format__ of a class whose text form is Form(value).
template <auto Form>
using form_value_t = std::remove_cvref_t<param_of<Form, 0>>;

template <auto Form>
Ref text_repr(const form_value_t<Form>& value) {
  return text_object(Form(value));
}

template <auto Form>
std::string text_format(const form_value_t<Form>& value, const FormatSpec& format_spec) {
  return format_text(Form(value), format_spec);
}

}  // namespace kalvor::binding
