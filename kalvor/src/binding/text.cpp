#include "kalvor/src/binding/text.hpp"

#include "kalvor/src/binding/ref.hpp"
#include "morvix/src/text.hpp"

#include <algorithm>

namespace kalvor::binding {

namespace {

template <class Number>
void append_form(std::string& out, const TextForm& form, Number&& number) {
  out += form.head;
  for (std::size_t i = 0; i < form.count; ++i) {
    if (i > 0) out += form.separator;
    number(out, form.numbers[i]);
  }
  out += form.tail;
}

}  // namespace

void append_text(std::string& out, const TextForm& form) {
  append_form(out, form, [](std::string& text, double v) { morvix::append_float(text, v); });
}

Ref text_object(const TextForm& form) noexcept(false) {
  // The fixed pieces are short literals; a form with longer ones takes the string.
  constexpr std::size_t pieces_max = 64;
  char buffer[4 * morvix::float_text_max + pieces_max];
  const std::size_t pieces = form.head.size() + form.tail.size() + 3 * form.separator.size();
  if (pieces > pieces_max) {
    std::string out;
    append_text(out, form);
    return steal(to_python(out));
  }
  char* out = std::copy(form.head.begin(), form.head.end(), buffer);
  for (std::size_t i = 0; i < form.count; ++i) {
    if (i > 0) out = std::copy(form.separator.begin(), form.separator.end(), out);
    out = morvix::write_float(out, form.numbers[i]);
  }
  out = std::copy(form.tail.begin(), form.tail.end(), out);
  Ref text = steal(PyUnicode_FromStringAndSize(buffer, out - buffer));
  if (!text) throw PythonError{};
  return text;
}

std::string format_text(const TextForm& form, const FormatSpec& format_spec) noexcept(false) {
  std::string out;
  if (PyUnicode_GET_LENGTH(format_spec.text) == 0) {
    append_text(out, form);
    return out;
  }
  append_form(out, form, [&](std::string& text, double v) {
    Ref number = steal(PyFloat_FromDouble(v));
    if (!number) throw PythonError{};
    Ref formatted = steal(PyObject_Format(number.get(), format_spec.text));
    if (!formatted) throw PythonError{};
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(formatted.get(), &size);
    if (utf8 == nullptr) throw PythonError{};
    text.append(utf8, static_cast<std::size_t>(size));
  });
  return out;
}

}  // namespace kalvor::binding
