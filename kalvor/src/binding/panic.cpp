#include "kalvor/src/binding/panic.hpp"

#include "kalvor/src/binding/errors.hpp"
#include "kalvor/src/binding/once.hpp"
#include "kalvor/src/binding/ref.hpp"

#include <execinfo.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace kalvor::binding {

namespace {

// KALVOR_BACKTRACE=1 (or any value but "0") adds a stack trace to the report.
bool backtrace_requested() noexcept {
  const char* value = std::getenv("KALVOR_BACKTRACE");
  return value != nullptr && *value != '\0' && std::string_view(value) != "0";
}

std::string thread_name() {
  char name[64] = {};
  if (pthread_getname_np(pthread_self(), name, sizeof name) != 0 || name[0] == '\0') return "<unnamed>";
  return name;
}

void write_report(const Panic& failure) noexcept {
  try {
    const auto& w = failure.where;
    const std::string report = "\nthread '" + thread_name() + "' (" + std::to_string(syscall(SYS_gettid)) +
                               ") panicked at " + w.file_name() + ":" + std::to_string(w.line()) + ":" +
                               std::to_string(w.column()) + ":\n" + failure.text + "\n";
    std::fputs(report.c_str(), stderr);
    if (!failure.frames.empty()) {
      std::fputs("stack backtrace:\n", stderr);
      backtrace_symbols_fd(failure.frames.data(), static_cast<int>(failure.frames.size()), fileno(stderr));
    } else {
      std::fputs("note: run with `KALVOR_BACKTRACE=1` environment variable to display a backtrace\n", stderr);
    }
    std::fflush(stderr);
  } catch (...) {
  }
}

// Set while a failure is being turned into an exception on this thread.
thread_local bool producing = false;

OnceValue<PyObject*> exception_type;

}  // namespace

[[noreturn]] void panic(std::string_view text, std::source_location where) noexcept(false) {
  Panic failure{std::string(text), where, {}};
  if (backtrace_requested()) {
    failure.frames.resize(64);
    failure.frames.resize(static_cast<std::size_t>(backtrace(failure.frames.data(), 64)));
  }
  throw failure;
}

PyObject* panic_exception_type() noexcept {
  return exception_type.get([]() noexcept {
    return PyErr_NewExceptionWithDoc("kalvor.PanicException",
                                     "Raised when an internal check of kalvor fails.\n\n"
                                     "It derives from BaseException, so `except Exception` does not catch it.",
                                     PyExc_BaseException, nullptr);
  });
}

void raise_panic(const Panic& failure) noexcept {
  if (producing) {
    std::fputs("uncaught panic at ffi boundary\n", stderr);
    std::abort();
  }
  producing = true;
  write_report(failure);
  PyObject* type = panic_exception_type();
  if (type != nullptr) {
    Ref message = steal(PyUnicode_FromStringAndSize(failure.text.data(), static_cast<Py_ssize_t>(failure.text.size())));
    if (message) PyErr_SetObject(type, message.get());
  }
  producing = false;
}

void raise_generic_panic(std::source_location where) noexcept {
  try {
    raise_panic(Panic{std::string(text::generic_panic), where, {}});
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  }
}

}  // namespace kalvor::binding
