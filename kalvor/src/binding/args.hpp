#pragma once
// The one argument matcher. A callable's signature is its full call name
// ("Vec3d.dot()") and its parameter names, each accepted by position or by
// keyword. A name written with its default ("k=1") is optional, as are all
// after it; an optional argument not given is matched to null, and its
// converter (std::optional<T>) leaves it empty. Matching completes before any
// conversion. An error
// text that cannot be allocated throws std::bad_alloc to the wrapper's exit.

#include <Python.h>

#include <cstddef>
#include <string>
#include <vector>

namespace kalvor::binding {

struct Signature {
  std::string call;                // "Vec3d.dot()", "plane_line()"
  std::vector<const char*> names;  // parameter names in order
  std::vector<PyObject*> interned; // the same names as interned strings
  std::size_t required;            // how many leading parameters must be given
};

// Builds a signature that lives for the rest of the process; "k=1" among the
// names is the parameter k, optional.
const Signature* make_signature(std::string call, std::vector<const char*> names);

// Vector call: positional args[0..nargs), then one value per name in kwnames.
// On success out[i] holds a borrowed reference for parameter i.
bool match_vectorcall(const Signature& sig, PyObject* const* args, std::size_t nargs, PyObject* kwnames,
                      PyObject** out);

// Classic call: an argument tuple and an optional keyword dictionary.
bool match_tuple(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out);

}  // namespace kalvor::binding
