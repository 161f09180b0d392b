#include "kalvor/src/binding/text.hpp"

#include "kalvor/src/binding/ref.hpp"
#include "morvix/src/text.hpp"

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

std::string format_text(const TextForm& form, const FormatSpec& spec) noexcept(false) {
  std::string out;
  if (PyUnicode_GET_LENGTH(spec.text) == 0) {
    append_text(out, form);
    return out;
  }
  append_form(out, form, [&](std::string& text, double v) {
    Ref number = steal(PyFloat_FromDouble(v));
    if (!number) throw PythonError{};
    Ref formatted = steal(PyObject_Format(number.get(), spec.text));
    if (!formatted) throw PythonError{};
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(formatted.get(), &size);
    if (utf8 == nullptr) throw PythonError{};
    text.append(utf8, static_cast<std::size_t>(size));
  });
  return out;
}

}  // namespace kalvor::binding
