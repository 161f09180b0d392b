#pragma once
// Internal failures: a broken invariant is not a Python-level error of the
// operation. It is thrown as `Panic` and turned, at the single exit of the
// wrapper that was running, into a `PanicException` (a direct subclass of
// BaseException) after a report on standard error.

#include <Python.h>

#include <source_location>
#include <string>
#include <string_view>
#include <vector>

namespace kalvor::binding {

struct Panic {
  std::string text;
  std::source_location where;
  // Return addresses at the failed check, when a stack trace was asked for.
  std::vector<void*> frames;
};

// Fails the running call with an internal failure.
[[noreturn]] void panic(std::string_view text,
                        std::source_location where = std::source_location::current()) noexcept(false);

// Writes the report and sets PanicException; ends the process if a failure
// happens while one is already being produced.
void raise_panic(const Panic& failure) noexcept;

// raise_panic with the generic text, for a failure that carries none.
void raise_generic_panic(std::source_location where) noexcept;

// The exception class, created once per process.
PyObject* panic_exception_type() noexcept;

}  // namespace kalvor::binding
