#pragma once
// Turns a class's declaration into its type object. A class file lists its
// members once:
//
//   ClassBuilder<morvix::Vec3d>("Vec3d")
//       .constructor<vec3d_new_impl>("x", "y", "z")
//       .method<vec3d_dot_impl>("dot", "other")
//       .field<&morvix::Vec3d::x>("x")
//       .repr<vec3d_repr_impl>()
//       ...
//       .build();
//
// and the builder produces the method defs with their text-signature
// docstrings, the property table, the slots and the type spec. Everything it
// hands to the interpreter lives for the rest of the process, as the type does.

#include <Python.h>

#include "kalvor/src/binding/buffer.hpp"
#include "kalvor/src/binding/object.hpp"
#include "kalvor/src/binding/once.hpp"
#include "kalvor/src/binding/pickle.hpp"
#include "kalvor/src/binding/text.hpp"
#include "kalvor/src/binding/wrap.hpp"

#include <string>
#include <utility>
#include <vector>

namespace kalvor::binding {

// Keeps a text alive for the rest of the process.
const char* keep(std::string text);

// "a, b, c"
std::string join_names(const std::vector<const char*>& names);

// A class attribute, set on the type once it is built.
using ClassAttribute = std::pair<const char*, PyObject*>;

// Builds the type from its spec and sets its class attributes; on failure
// raises PanicException "An error occurred while initializing class {name}"
// (or "... `{name}.{attribute}`" when an attribute could not be set).
PyTypeObject* build_type(const char* name, PyType_Spec* spec, const std::vector<ClassAttribute>& attributes);

template <Bound T>
class ClassBuilder {
 public:
  explicit ClassBuilder(const char* name) : name_(name) {}

  template <auto Impl, class... Names>
  ClassBuilder& constructor(Names... names) {
    static_assert(sizeof...(Names) == arity_of<Impl>, "one name per parameter");
    std::vector<const char*> list{names...};
    doc_ = keep(std::string(name_) + "(" + join_names(list) + ")\n--\n\n");
    signature_of<Impl> = make_signature(std::string(name_) + ".__new__()", std::move(list));
    slot(Py_tp_new, reinterpret_cast<void*>(&new_slot<Impl>));
    slot(Py_tp_vectorcall, reinterpret_cast<void*>(&new_vectorcall<Impl>));
    return *this;
  }

  // A class with no constructor cannot be instantiated from Python.
  ClassBuilder& no_constructor() {
    flags_ |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
    return *this;
  }

  template <auto Impl, class... Names>
  ClassBuilder& method(const char* name, Names... names) {
    static_assert(sizeof...(Names) + 1 == arity_of<Impl>, "one name per parameter after the receiver");
    return add_method<Impl, true>(name, {names...});
  }

  template <auto Impl, class... Names>
  ClassBuilder& static_method(const char* name, Names... names) {
    static_assert(sizeof...(Names) == arity_of<Impl>, "one name per parameter");
    return add_method<Impl, false>(name, {names...});
  }

  // A property with a getter and, unless Set is nullptr, a setter.
  template <auto Get, auto Set = nullptr>
  ClassBuilder& property(const char* name) {
    PyGetSetDef def{name, reinterpret_cast<getter_fn>(&getter<Get>), nullptr, nullptr, nullptr};
    if constexpr (!std::is_same_v<decltype(Set), std::nullptr_t>) def.set = &setter<Set>;
    getset_.push_back(def);
    return *this;
  }

  // A read-write property over a data member.
  template <auto Member>
  ClassBuilder& field(const char* name) {
    return property<&field_get<Member>, &field_set<Member>>(name);
  }

  template <auto Impl>
  ClassBuilder& repr() {
    return slot(Py_tp_repr, reinterpret_cast<void*>(&unary_slot<Impl>));
  }
  // The repr and __format__ from the class's text form, Form(value) a TextForm.
  template <auto Form>
  ClassBuilder& text() {
    repr<&text_repr<Form>>();
    return method<&text_format<Form>>("__format__", "format_spec");
  }
  template <auto Impl>
  ClassBuilder& hash() {
    return slot(Py_tp_hash, reinterpret_cast<void*>(&hash_slot<Impl>));
  }
  template <auto Impl>
  ClassBuilder& len() {
    return slot(Py_mp_length, reinterpret_cast<void*>(&length_slot<Impl>));
  }
  // A subscript also fills the sequence item slot.
  template <auto Impl>
  ClassBuilder& getitem() {
    slot(Py_mp_subscript, reinterpret_cast<void*>(&subscript_slot<Impl>));
    return slot(Py_sq_item, reinterpret_cast<void*>(&item_slot<Impl>));
  }
  template <auto Impl>
  ClassBuilder& iter() {
    return slot(Py_tp_iter, reinterpret_cast<void*>(&unary_slot<Impl>));
  }
  // An iterator class: __iter__ returns self, __next__ is Impl.
  template <auto Impl>
  ClassBuilder& next() {
    slot(Py_tp_iter, reinterpret_cast<void*>(&self_iter_slot<T>));
    return slot(Py_tp_iternext, reinterpret_cast<void*>(&next_slot<Impl>));
  }
  template <auto Impl>
  ClassBuilder& neg() {
    return slot(Py_nb_negative, reinterpret_cast<void*>(&unary_slot<Impl>));
  }
  template <auto Impl>
  ClassBuilder& add() {
    return slot(Py_nb_add, reinterpret_cast<void*>(&binary_slot<Impl>));
  }
  template <auto Impl>
  ClassBuilder& sub() {
    return slot(Py_nb_subtract, reinterpret_cast<void*>(&binary_slot<Impl>));
  }
  template <auto Mul, auto RMul>
  ClassBuilder& mul() {
    return slot(Py_nb_multiply, reinterpret_cast<void*>(&multiply_slot<Mul, RMul>));
  }
  template <auto Impl>
  ClassBuilder& mul() {
    return slot(Py_nb_multiply, reinterpret_cast<void*>(&binary_slot<Impl>));
  }
  template <auto Impl>
  ClassBuilder& truediv() {
    return slot(Py_nb_true_divide, reinterpret_cast<void*>(&binary_slot<Impl>));
  }
  // == and != by a tolerant test; no ordering.
  template <auto Eq>
  ClassBuilder& equality() {
    return slot(Py_tp_richcompare, reinterpret_cast<void*>(&equality_slot<Eq>));
  }
  // All six comparisons, exact.
  template <auto Compare>
  ClassBuilder& ordering() {
    return slot(Py_tp_richcompare, reinterpret_cast<void*>(&ordered_slot<Compare>));
  }

  // Tolerant == with != derived from the interpreter's full ==; the four
  // orderings return NotImplemented.
  template <auto Eq>
  ClassBuilder& equality_derived_ne() {
    return slot(Py_tp_richcompare, reinterpret_cast<void*>(&equality_derived_ne_slot<Eq>));
  }

  // float(), int() and complex() refuse an instance at once (a class that
  // lends a buffer would otherwise have it parsed as text).
  ClassBuilder& no_number_conversions() {
    slot(Py_nb_float, reinterpret_cast<void*>(&refuse_float));
    return slot(Py_nb_int, reinterpret_cast<void*>(&refuse_int));
  }

  // Exports Impl(value), a DoubleArray, as a read-only buffer.
  template <auto Impl>
  ClassBuilder& buffer() {
    slot(Py_bf_getbuffer, reinterpret_cast<void*>(&getbuffer_slot<Impl>));
    return slot(Py_bf_releasebuffer, reinterpret_cast<void*>(&releasebuffer_slot<T>));
  }

  // A class attribute; `value` lives as long as the process (None, say).
  ClassBuilder& class_attribute(const char* name, PyObject* value) {
    attributes_.emplace_back(name, value);
    return *this;
  }

  // Pickled and copied by calling the class with the tuple Args(value).
  template <auto Args>
  ClassBuilder& pickled_by_constructor() {
    methods_.push_back({"__reduce__", reinterpret_cast<PyCFunction>(&reduce_by_constructor<Args>), METH_NOARGS,
                        keep("__reduce__($self)\n--\n\n")});
    return *this;
  }

  // Pickled as State(value) and rebuilt by the static method `blank`
  // followed by SetState.
  template <auto State, auto SetState>
  ClassBuilder& pickled_by_state(const char* blank) {
    blank_of<T> = blank;
    methods_.push_back({"__reduce__", reinterpret_cast<PyCFunction>(&reduce_by_state<State>), METH_NOARGS,
                        keep("__reduce__($self)\n--\n\n")});
    return method<SetState>("__setstate__", "state");
  }

  // Pickled as the bytes of its buffer export and rebuilt by the static
  // method `blank` followed by SetState.
  template <auto SetState>
  ClassBuilder& pickled_by_buffer(const char* blank) {
    blank_of<T> = blank;
    reduce_ex_signature<T> = make_signature(std::string(name_) + ".__reduce_ex__()", {"protocol"});
    methods_.push_back({"__reduce_ex__",
                        reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&reduce_by_buffer<T>)),
                        METH_FASTCALL | METH_KEYWORDS, keep("__reduce_ex__($self, protocol)\n--\n\n")});
    return method<SetState>("__setstate__", "state");
  }

  PyTypeObject* build() {
    auto* methods = new std::vector<PyMethodDef>(methods_);
    methods->push_back({nullptr, nullptr, 0, nullptr});
    auto* getset = new std::vector<PyGetSetDef>(getset_);
    getset->push_back({nullptr, nullptr, nullptr, nullptr, nullptr});
    auto* slots = new std::vector<PyType_Slot>(slots_);
    slots->push_back({Py_tp_dealloc, reinterpret_cast<void*>(&dealloc<T>)});
    if (doc_ != nullptr) slots->push_back({Py_tp_doc, const_cast<char*>(doc_)});
    if (methods_.size() > 0) slots->push_back({Py_tp_methods, methods->data()});
    if (getset_.size() > 0) slots->push_back({Py_tp_getset, getset->data()});
    slots->push_back({0, nullptr});
    // The full name gives __module__, and the interpreter's own messages print it
    // as they do for any extension type; __name__ and __qualname__ are the bare name.
    auto* spec = new PyType_Spec{keep(std::string(PyClass<T>::module) + "." + name_),
                                 static_cast<int>(sizeof(Object<T>)), 0, flags_, slots->data()};
    return build_type(name_, spec, attributes_);
  }

 private:
  using getter_fn = PyObject* (*)(PyObject*, void*);

  ClassBuilder& slot(int id, void* fn) {
    slots_.push_back({id, fn});
    return *this;
  }

  template <auto Impl, bool HasSelf>
  ClassBuilder& add_method(const char* name, std::vector<const char*> names) {
    const std::string params = join_names(names);
    std::string text = std::string(name) + "(" + (HasSelf ? (names.empty() ? "$self" : "$self, ") : "") + params +
                       ")\n--\n\n";
    PyMethodDef def{name, nullptr, 0, keep(std::move(text))};
    if constexpr (params_of<Impl, HasSelf> == 0) {
      def.ml_meth = reinterpret_cast<PyCFunction>(&noargs<Impl, HasSelf>);
      def.ml_flags = METH_NOARGS;
    } else {
      def.ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&fastcall<Impl, HasSelf>));
      def.ml_flags = METH_FASTCALL | METH_KEYWORDS;
    }
    if (!HasSelf) def.ml_flags |= METH_STATIC;
    signature_of<Impl> = make_signature(std::string(name_) + "." + name + "()", std::move(names));
    methods_.push_back(def);
    return *this;
  }

  const char* name_;
  const char* doc_ = nullptr;
  unsigned int flags_ = Py_TPFLAGS_DEFAULT;
  std::vector<PyMethodDef> methods_;
  std::vector<PyGetSetDef> getset_;
  std::vector<PyType_Slot> slots_;
  std::vector<ClassAttribute> attributes_;
};

}  // namespace kalvor::binding

// Defines the accessor of a class declared with KALVOR_DECLARE_CLASS: the
// type is built on first use from the class's table (null with the error set
// when that fails, MemoryError included).
#define KALVOR_CLASS_TYPE(CppType, make_table)                                               \
  PyTypeObject* kalvor::binding::PyClass<CppType>::build() noexcept {                        \
    static kalvor::binding::OnceValue<PyTypeObject*> cell;                                   \
    PyTypeObject* t = cell.get([]() noexcept {                                               \
      return kalvor::binding::guarded<PyTypeObject*>(nullptr, [] { return (make_table)().build(); }); \
    });                                                                                      \
    if (t != nullptr) built.store(t, std::memory_order_release);                             \
    return t;                                                                                \
  }
