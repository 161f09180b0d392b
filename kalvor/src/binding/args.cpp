#include "kalvor/src/binding/args.hpp"

#include "kalvor/src/binding/errors.hpp"

#include <cstring>
#include <string>

namespace kalvor::binding {

const Signature* make_signature(std::string call, std::vector<const char*> names) {
  // Interned once, so keywords (interned by the compiler) usually match by
  // pointer before any string comparison.
  auto* sig = new Signature{std::move(call), std::move(names), {}, 0};
  sig->required = sig->names.size();
  for (std::size_t i = 0; i < sig->names.size(); ++i) {
    const char* name = sig->names[i];
    if (const char* eq = std::strchr(name, '=')) {
      sig->names[i] = (new std::string(name, eq))->c_str();
      if (sig->required == sig->names.size()) sig->required = i;
    }
    sig->interned.push_back(PyUnicode_InternFromString(sig->names[i]));
  }
  return sig;
}

namespace {

bool start(const Signature& sig, std::size_t nargs, PyObject* const* args, PyObject** out) {
  const std::size_t n = sig.names.size();
  if (nargs > n) {
    too_many_positional(sig.call, sig.required, n, nargs);
    return false;
  }
  for (std::size_t i = 0; i < n; ++i) out[i] = i < nargs ? args[i] : nullptr;
  return true;
}

bool place_keyword(const Signature& sig, PyObject* key, PyObject* value, PyObject** out) {
  const std::size_t n = sig.names.size();
  std::size_t found = n;
  for (std::size_t i = 0; i < n; ++i) {
    if (sig.interned[i] == key) {
      found = i;
      break;
    }
  }
  if (found == n && PyUnicode_Check(key)) {
    for (std::size_t i = 0; i < n; ++i) {
      if (PyUnicode_EqualToUTF8AndSize(key, sig.names[i], static_cast<Py_ssize_t>(std::strlen(sig.names[i])))) {
        found = i;
        break;
      }
    }
  }
  if (found == n) {
    unexpected_keyword(sig.call, key);
    return false;
  }
  if (out[found] != nullptr) {
    multiple_values(sig.call, sig.names[found]);
    return false;
  }
  out[found] = value;
  return true;
}

bool finish(const Signature& sig, PyObject** out) {
  const std::size_t n = sig.names.size();
  std::size_t missing_count = 0;
  for (std::size_t i = 0; i < sig.required; ++i) missing_count += out[i] == nullptr;
  if (missing_count == 0) return true;
  std::vector<const char*> missing;
  for (std::size_t i = 0; i < sig.required; ++i)
    if (out[i] == nullptr) missing.push_back(sig.names[i]);
  missing_arguments(sig.call, missing);
  return false;
}

}  // namespace

bool match_vectorcall(const Signature& sig, PyObject* const* args, std::size_t nargs, PyObject* kwnames,
                      PyObject** out) {
  if (!start(sig, nargs, args, out)) return false;
  if (kwnames != nullptr) {
    const Py_ssize_t count = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < count; ++k) {
      if (!place_keyword(sig, PyTuple_GET_ITEM(kwnames, k), args[nargs + static_cast<std::size_t>(k)], out))
        return false;
    }
  }
  return finish(sig, out);
}

bool match_tuple(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out) {
  const std::size_t nargs = static_cast<std::size_t>(PyTuple_GET_SIZE(args));
  if (!start(sig, nargs, reinterpret_cast<PyTupleObject*>(args)->ob_item, out)) return false;
  if (kwargs != nullptr) {
    Py_ssize_t pos = 0;
    PyObject* key;
    PyObject* value;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      if (!place_keyword(sig, key, value, out)) return false;
    }
  }
  return finish(sig, out);
}

}  // namespace kalvor::binding
