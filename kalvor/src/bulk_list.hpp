#pragma once
// The container every bulk list shares (VecList, QuatList,
// RigidTransformList): a growable array
// of core values stored back to back, whose element-wise work runs on the
// worker pool. It is one template over an element-traits struct; each class
// file instantiates it, starts its class table from bulk_list_table() and adds
// the methods particular to its element. Storage, growth, borrowing, the
// buffer export, from_array, pickling, iteration, the repr, the pool
// dispatch and the sampling of keyframes live here once.
//
// An element-traits struct gives:
//   Element      the core value type: `width` doubles, no padding
//   width        its number of doubles, the columns of the buffer export
//   noun         what one element is called in texts ("vector")
//   item_name    the parameter name of `append` ("vec")
//   append_repr  appends one element's repr to a string

#include "kalvor/src/binding/arrays.hpp"
#include "kalvor/src/binding/buffer.hpp"
#include "kalvor/src/binding/class_builder.hpp"
#include "kalvor/src/binding/ndarray.hpp"
#include "kalvor/src/binding/object.hpp"
#include "morvix/src/keyframes.hpp"
#include "morvix/src/quat.hpp"
#include "morvix/src/rigid_transform.hpp"
#include "morvix/src/vec3d.hpp"
#include "parallel/src/pool.hpp"

#include <algorithm>
#include <atomic>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace kalvor {

// The element arrays' allocator: the bulk arrays' storage, which does not
// value-initialise (a bulk result is written in full right after it is sized,
// so zeroing it first would be a wasted pass). An element type of plain
// doubles is not even default-initialised: a Quat's default member values
// would be that same zeroing pass, and the storage, from an allocation
// function, already holds objects of such implicit-lifetime types.
template <class T>
struct DefaultInitAllocator {
  using value_type = T;

  DefaultInitAllocator() noexcept = default;
  template <class U>
  DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) { return binding::allocate_array_of<T>(n); }
  void deallocate(T* p, std::size_t n) noexcept { binding::deallocate_array(p, n * sizeof(T)); }

  template <class U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    if constexpr (!(std::is_trivially_copyable_v<U> && std::is_trivially_destructible_v<U>))
      ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }

  template <class U>
  bool operator==(const DefaultInitAllocator<U>&) const noexcept {
    return true;
  }
};

template <class Traits>
using ElementArray = std::vector<typename Traits::Element, DefaultInitAllocator<typename Traits::Element>>;

template <class Traits>
struct BulkList {
  ElementArray<Traits> items;
};

// Walks a snapshot of a list taken when it was made.
template <class Traits>
struct BulkListIterator {
  ElementArray<Traits> snapshot;
  std::size_t cursor = 0;
};

namespace bulk {

using binding::ListOf;

// ---- running element-wise work on the pool

// Runs body(begin, end) over [0, n) on the pool; a failure of the pool or of
// a piece becomes an internal failure of the call, after every piece stopped.
// `weight` is what one element costs in elements of the cheapest maps (a sum,
// a dot product), so that the pool splits a short job of costly elements too.
template <class Body>
void run_parallel(std::size_t n, Body&& body, std::size_t weight = 1) {
  if (parallel::Status status = parallel::map(n, weight, body); !status) binding::panic(status.error().message);
}

// Element weights of the operations that are more than a few sums and
// products, measured on one worker against a Vec3d sum (about 2 ns): a 3×3
// matrix written; a square root and a sine or two; several atan2 or a slerp.
inline constexpr std::size_t matrix_weight = 4;
inline constexpr std::size_t transcendental_weight = 16;
inline constexpr std::size_t heavy_weight = 32;

// An operand of an element-wise loop is element i of an array (Each) or one
// value for every i (anything else); at(operand, i) reads it.
template <class T>
struct Each {
  const T* data;
};
template <class T>
const T& at(const T& value, std::size_t) noexcept {
  return value;
}
template <class T>
const T& at(const Each<T>& operand, std::size_t i) noexcept {
  return operand.data[i];
}
template <class Traits>
Each<typename Traits::Element> each(const BulkList<Traits>& list) noexcept {
  return {list.items.data()};
}

// Calls fn with `operand` as one value for every element, or as the elements
// of a list of the receiver's length n; another length is a ValueError.
template <class Traits, class Fn>
decltype(auto) broadcast(const binding::OneOf<typename Traits::Element, BulkList<Traits>>& operand, std::size_t n,
                         Fn&& fn) {
  if (const BulkList<Traits>* list = operand.template get_if<BulkList<Traits>>()) {
    if (list->items.size() != n) binding::throw_length_mismatch(n, list->items.size());
    return fn(each(*list));
  }
  return fn(*operand.template get_if<typename Traits::Element>());
}

// Elements per block of a settled loop: the formula runs over a block on
// doubles, where it vectorises, noting whether any result is NaN; only then
// are the block's NaN results settled (morvix/src/strict.hpp), while it is
// still in the first-level cache. So element i comes out with the very bits
// of the single-value operation.
constexpr std::size_t settle_block = 256;

// Branch-free NaN tests, noted in the loop that computes the results; the
// components are stored one by one, which keeps that loop vectorised.
inline bool nan_in(double v) noexcept { return __builtin_isnan(v); }
inline bool nan_in(const morvix::Vec3d& p) noexcept { return nan_in(p.x) | nan_in(p.y) | nan_in(p.z); }
inline bool nan_in(const morvix::Quat& q) noexcept { return nan_in(q.w) | nan_in(q.i) | nan_in(q.j) | nan_in(q.k); }
inline bool nan_in(const std::array<double, 3>& row) noexcept { return nan_in(row[0]) | nan_in(row[1]) | nan_in(row[2]); }
inline bool nan_in(const morvix::Matrix3& m) noexcept { return nan_in(m[0]) | nan_in(m[1]) | nan_in(m[2]); }
inline bool nan_in(const morvix::RigidTransform& t) noexcept { return nan_in(t.rotation) | nan_in(t.translation); }
inline bool nan_in(const std::array<double, 4>& row) noexcept {
  return nan_in(row[0]) | nan_in(row[1]) | nan_in(row[2]) | nan_in(row[3]);
}
inline bool nan_in(const morvix::Matrix4& m) noexcept { return nan_in(m[0]) | nan_in(m[1]) | nan_in(m[2]) | nan_in(m[3]); }
inline void store(double& slot, double v) noexcept { slot = v; }
inline void store(morvix::Vec3d& slot, const morvix::Vec3d& v) noexcept {
  slot.x = v.x;
  slot.y = v.y;
  slot.z = v.z;
}
inline void store(morvix::Quat& slot, const morvix::Quat& q) noexcept {
  slot.w = q.w;
  slot.i = q.i;
  slot.j = q.j;
  slot.k = q.k;
}
inline void store(std::array<double, 3>& slot, const std::array<double, 3>& row) noexcept {
  slot[0] = row[0];
  slot[1] = row[1];
  slot[2] = row[2];
}
inline void store(morvix::Matrix3& slot, const morvix::Matrix3& m) noexcept {
  store(slot[0], m[0]);
  store(slot[1], m[1]);
  store(slot[2], m[2]);
}
inline void store(morvix::RigidTransform& slot, const morvix::RigidTransform& t) noexcept {
  store(slot.rotation, t.rotation);
  store(slot.translation, t.translation);
}
inline void store(std::array<double, 4>& slot, const std::array<double, 4>& row) noexcept {
  slot[0] = row[0];
  slot[1] = row[1];
  slot[2] = row[2];
  slot[3] = row[3];
}
inline void store(morvix::Matrix4& slot, const morvix::Matrix4& m) noexcept {
  store(slot[0], m[0]);
  store(slot[1], m[1]);
  store(slot[2], m[2]);
  store(slot[3], m[3]);
}

// out[i] = formula(operands at i...) for i in [begin, end), settled. With
// InPlace, `out` is the array an Each operand reads: each block is computed
// into a local array and copied back once settled. The operands are taken by
// value: local copies that no store through `out` can alias.
template <bool InPlace, class R, class F, class... Ops>
void settled_range(R* out, std::size_t begin, std::size_t end, F formula, Ops... operands) {
  [[maybe_unused]] R local[InPlace ? settle_block : 1];
  for (std::size_t b = begin; b < end; b += settle_block) {
    const std::size_t n = std::min(end - b, settle_block);
    R* target = InPlace ? local : out + b;
    bool found = false;
    for (std::size_t i = 0; i < n; ++i) {
      const R r = formula(at(operands, b + i)...);
      found |= nan_in(r);
      store(target[i], r);
    }
    if (found) [[unlikely]] {
      for (std::size_t i = 0; i < n; ++i)
        if (morvix::has_nan(target[i])) target[i] = morvix::strict_eval(formula, at(operands, b + i)...);
    }
    if constexpr (InPlace) std::copy_n(local, n, out + b);
  }
}

// The formulas are captureless lambdas: a job's closure holds only pointers
// and operands, small enough to reach a worker in one cache line.
template <class F>
concept Formula = std::is_empty_v<F> && std::is_default_constructible_v<F>;

// out[i] = formula(operands at i...) for i in [0, n), settled, on the pool.
template <std::size_t Weight = 1, Formula F, class R, class... Ops>
void settled_map(R* out, std::size_t n, F, const Ops&... operands) {
  run_parallel(
      n, [out, operands...](std::size_t begin, std::size_t end) { settled_range<false>(out, begin, end, F{}, operands...); },
      Weight);
}

// out[i] = op(operands at i...) for i in [0, n), on the pool: for steps that
// are exact, or call one out-of-line function per element (the very code of
// the single-value operation, so its bits too).
template <std::size_t Weight = 1, class R, class Op, class... Ops>
void map_into(R* out, std::size_t n, Op op, const Ops&... operands) {
  run_parallel(
      n,
      [out, op, operands...](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) out[i] = op(at(operands, i)...);
      },
      Weight);
}

// out[r] = make(rows, r) for every row of a buffer read by float_rows, on the
// pool: gathering and widening cost more than the memory traffic.
template <std::size_t Weight = 1, class R, class Make>
void map_rows(R* out, const binding::FloatRows& rows, Make make) {
  run_parallel(
      rows.rows,
      [out, rows, make](std::size_t begin, std::size_t end) {
        for (std::size_t r = begin; r < end; ++r) out[r] = make(rows, r);
      },
      Weight);
}

// out[i] = make(item(i)) for i in [0, n) on the pool, where each item is
// first checked by fault(item), whose "no fault" is a value-initialised
// fault. A piece stops at its first bad item, and the smallest bad index over
// all pieces is returned with its fault; nothing is read past it.
template <std::size_t Weight, class R, class Item, class Fault, class Make>
auto checked_map(R* out, std::size_t n, Item item, Fault fault, Make make)
    -> std::optional<std::pair<std::size_t, decltype(fault(item(0)))>> {
  using FaultKind = decltype(fault(item(0)));
  constexpr std::size_t none = std::size_t(-1);
  std::atomic<std::size_t> first_bad{none};
  run_parallel(
      n,
      [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end && i < first_bad.load(std::memory_order_relaxed); ++i) {
          const auto value = item(i);
          if (fault(value) != FaultKind{}) {
            std::size_t seen = first_bad.load(std::memory_order_relaxed);
            while (i < seen && !first_bad.compare_exchange_weak(seen, i, std::memory_order_relaxed)) {
            }
            return;
          }
          out[i] = make(value);
        }
      },
      Weight);
  if (const std::size_t bad = first_bad.load(); bad != none) return std::pair{bad, fault(item(bad))};
  return std::nullopt;
}

// A new list of n elements, not yet written.
template <class Traits>
BulkList<Traits> sized_list(std::size_t n) {
  BulkList<Traits> out;
  out.items.resize(n);
  return out;
}

// Element-wise results of a receiver list: result i = formula(element i,
// operands at i...), as a list of float or a new list of Result's elements.
template <Formula F, class Traits, class... Ops>
ListOf<double> settled_floats(const BulkList<Traits>& self, F f, const Ops&... operands) {
  ListOf<double> out(self.items.size());
  settled_map(out.data, self.items.size(), f, each(self), operands...);
  return out;
}
template <class Result, Formula F, class Traits, class... Ops>
BulkList<Result> settled_list(const BulkList<Traits>& self, F f, const Ops&... operands) {
  BulkList<Result> out = sized_list<Result>(self.items.size());
  settled_map(out.items.data(), self.items.size(), f, each(self), operands...);
  return out;
}
template <class Result, std::size_t Weight = 1, class Op, class Traits, class... Ops>
BulkList<Result> mapped_list(const BulkList<Traits>& self, Op op, const Ops&... operands) {
  BulkList<Result> out = sized_list<Result>(self.items.size());
  map_into<Weight>(out.items.data(), self.items.size(), op, each(self), operands...);
  return out;
}

// Element-wise numbers of a receiver list as an (n,) array result: result i
// = op(element i, operands at i...), one out-of-line call per element.
template <std::size_t Weight = 1, class Op, class Traits, class... Ops>
binding::NdArray<double> mapped_array(const BulkList<Traits>& self, Op op, const Ops&... operands) {
  binding::NdArray<double> out({self.items.size()}, 1);
  map_into<Weight>(out.data(), self.items.size(), op, each(self), operands...);
  return out;
}

// ---- interpolation between keyframes

// The key times must be one per key, each finite and greater than the one
// before. Their count is compared first, before a sequence of them is read.
inline const binding::Floats& checked_key_times(std::string_view call, std::size_t keys, const binding::LazyFloats& lazy) {
  if (keys == 0) binding::throw_no_keys(call);
  if (lazy.size != keys) binding::throw_key_count(call, keys, lazy.size);
  const binding::Floats& key_times = lazy.read();
  // Converting the items may have run code that changed the sequence.
  if (key_times.size != keys) binding::throw_key_count(call, keys, key_times.size);
  for (std::size_t k = 0; k < keys; ++k) {
    const double t = key_times[k];
    if (std::isnan(t)) binding::throw_key_order(call, k, binding::KeyTimeFault::nan);
    if (std::isinf(t)) binding::throw_key_order(call, k, binding::KeyTimeFault::infinite);
    if (k > 0 && !(t > key_times[k - 1])) binding::throw_key_order(call, k, binding::KeyTimeFault::not_increasing);
  }
  return key_times;
}

// An element whose every double is NaN.
template <class Traits>
typename Traits::Element nan_element() noexcept {
  std::array<double, Traits::width> fields;
  fields.fill(std::numeric_limits<double>::quiet_NaN());
  return std::bit_cast<typename Traits::Element>(fields);
}

// The keys `keys` at `key_times` (checked here, `call` naming the method),
// sampled at each of `times` on the pool: between(keys[from], keys[to],
// fraction) across the interval that holds the time (morvix::locate_key),
// found by a binary search, where `between` is the very function of the
// single-value method; every field NaN for a NaN time.
template <class Traits, class Between>
BulkList<Traits> interpolate_keys(std::string_view call, const BulkList<Traits>& keys, const binding::LazyFloats& lazy_key_times,
                                  const binding::Floats& times, Between between) {
  using Element = typename Traits::Element;
  const binding::Floats& key_times = checked_key_times(call, keys.items.size(), lazy_key_times);
  BulkList<Traits> out = sized_list<Traits>(times.size);
  Element* slots = out.items.data();
  const Element* key = keys.items.data();
  bulk::run_parallel(
      times.size,
      [&key_times, &times, slots, key, between](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
          const double t = times[i];
          if (std::isnan(t)) {
            slots[i] = nan_element<Traits>();
            continue;
          }
          const morvix::KeyInterval k = morvix::locate_key(key_times, key_times.size, t);
          slots[i] = between(key[k.from], key[k.to], k.fraction);
        }
      },
      bulk::transcendental_weight);
  return out;
}

// ---- the container

// One block copy: the copy is bound by memory bandwidth, which a second
// thread does not add to.
template <class T>
void copy_elements(T* out, const void* source, std::size_t count) {
  if (count > 0) std::memcpy(static_cast<void*>(out), source, count * sizeof(T));
}

template <class Traits>
BulkList<Traits> list_new_impl(ElementArray<Traits>& items) {
  return {std::move(items)};
}
template <class Traits>
BulkList<Traits> list_empty_impl() {
  return {};
}
template <class Traits>
const ElementArray<Traits>& list_list_impl(const BulkList<Traits>& self) {
  return self.items;
}
template <class Traits>
std::size_t list_len_impl(const BulkList<Traits>& self) {
  return self.items.size();
}
template <class Traits>
void list_append_impl(BulkList<Traits>& self, const typename Traits::Element& item) {
  self.items.push_back(item);
}

// `self` is borrowed exclusively before `other` is converted, so extending a
// list by itself fails on the borrow and leaves it unchanged.
template <class Traits>
void list_extend_impl(BulkList<Traits>& self, const BulkList<Traits>& other) {
  self.items.insert(self.items.end(), other.items.begin(), other.items.end());
}

template <class Traits>
typename Traits::Element list_getitem_impl(const BulkList<Traits>& self, std::size_t index) {
  if (index >= self.items.size()) binding::throw_index_error();
  return self.items[index];
}

// The object and the element storage it holds (its capacity, not only its
// length), as sys.getsizeof should count.
template <class Traits>
std::size_t list_sizeof_impl(const BulkList<Traits>& self) {
  return sizeof(binding::Object<BulkList<Traits>>) + self.items.capacity() * sizeof(typename Traits::Element);
}

// Indexing as a Python list does it: a negative index counts from the end, a
// slice is a new list holding copies of the elements it selects.
template <class Traits>
std::variant<typename Traits::Element, BulkList<Traits>> list_subscript_impl(const BulkList<Traits>& self,
                                                                           const binding::Subscript& key) {
  const std::size_t n = self.items.size();
  if (!key.slice) {
    const std::optional<std::size_t> i = key.position(n);
    if (!i) binding::throw_index_error();
    return self.items[*i];
  }
  const binding::Subscript::Selection s = key.selection(n);
  BulkList<Traits> out = sized_list<Traits>(s.count);
  if (s.step == 1) {
    copy_elements(out.items.data(), self.items.data() + s.first, s.count);
  } else {
    for (std::size_t k = 0; k < s.count; ++k)
      out.items[k] = self.items[s.first + static_cast<std::size_t>(static_cast<Py_ssize_t>(k) * s.step)];
  }
  return out;
}

// Which indexing a list class has: VecList's traits ask for an unsigned
// index and no slices; every other list indexes as Python's lists do.
template <class Traits>
constexpr bool unsigned_index = requires { requires Traits::unsigned_index; };

template <class Traits>
BulkListIterator<Traits> list_iter_impl(const BulkList<Traits>& self) {
  return {self.items, 0};
}

template <class Traits>
std::optional<typename Traits::Element> iterator_next_impl(BulkListIterator<Traits>& it) {
  if (it.cursor >= it.snapshot.size()) return std::nullopt;
  return it.snapshot[it.cursor++];
}

// ---- data exchange

template <class Traits>
constexpr bool rows_of_doubles = sizeof(typename Traits::Element) == Traits::width * sizeof(double) &&
                                 std::is_standard_layout_v<typename Traits::Element>;

// The element array itself, lent as an (n, width) matrix of doubles. An
// element and its first field share their address (standard layout), so no
// member is reached through the pointer: an empty list's is null.
template <class Traits>
binding::DoubleArray list_buffer_impl(const BulkList<Traits>& self) {
  static_assert(rows_of_doubles<Traits>, "the element array is read as rows of doubles");
  return {reinterpret_cast<const double*>(self.items.data()), {self.items.size(), Traits::width}, 2};
}

// Element `row` of a buffer of rows of `width` columns, in the element's field order.
template <class Traits>
typename Traits::Element element_of_row(const binding::FloatRows& rows, std::size_t row) noexcept {
  return [&]<std::size_t... C>(std::index_sequence<C...>) {
    return typename Traits::Element{rows.at(row, C)...};
  }(std::make_index_sequence<Traits::width>{});
}

// One pass over the rows, whatever their strides; back-to-back rows of native
// doubles are copied as one block.
template <class Traits>
BulkList<Traits> list_from_array_impl(const binding::StridedBuffer& array) {
  static_assert(rows_of_doubles<Traits>, "the element array is written as rows of doubles");
  static constexpr std::size_t item_shape[] = {Traits::width};
  const binding::FloatRows rows =
      binding::float_rows(array, binding::signature_of<list_from_array_impl<Traits>>->call, item_shape);
  BulkList<Traits> out = sized_list<Traits>(rows.rows);
  auto* elements = out.items.data();
  if (rows.packed()) {
    copy_elements(elements, rows.base, rows.rows);
    return out;
  }
  map_rows(elements, rows, element_of_row<Traits>);
  return out;
}

// A pickled block: whole elements in the machine's byte order. The new array
// is filled before it replaces the old one, so a bad block changes nothing.
template <class Traits>
void list_setstate_impl(BulkList<Traits>& self, const binding::Block& block) {
  using Element = typename Traits::Element;
  if (block.bytes % sizeof(Element) != 0) binding::throw_block_size(sizeof(Element), Traits::noun, block.bytes);
  ElementArray<Traits> items(block.bytes / sizeof(Element));
  copy_elements(items.data(), block.data, items.size());
  self.items = std::move(items);
}

// One element's repr per line, between brackets; the texts are made on the pool.
template <class Traits>
std::string list_repr_impl(const BulkList<Traits>& self) {
  const ElementArray<Traits>& items = self.items;
  std::vector<std::string> texts(items.size());
  run_parallel(items.size(), [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) Traits::append_repr(texts[i], items[i]);
  });
  std::size_t length = 2 + (texts.empty() ? 0 : texts.size() - 1);
  for (const auto& text : texts) length += text.size();
  std::string out;
  out.reserve(length);
  out += '[';
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) out += '\n';
    out += texts[i];
  }
  out += ']';
  return out;
}

}  // namespace bulk

// ---- the shared part of the class tables

// The members every bulk list has; the class file adds its own.
template <class Traits>
binding::ClassBuilder<BulkList<Traits>> bulk_list_table() {
  using List = BulkList<Traits>;
  binding::ClassBuilder<List> table(binding::PyClass<List>::name);
  table.template constructor<bulk::list_new_impl<Traits>>("list")
      .template static_method<bulk::list_empty_impl<Traits>>("empty")
      .template static_method<bulk::list_from_array_impl<Traits>>("from_array", "array")
      .template property<bulk::list_list_impl<Traits>>("list")
      .template method<bulk::list_append_impl<Traits>>("append", Traits::item_name)
      .template method<bulk::list_extend_impl<Traits>>("extend", "other")
      .template method<bulk::list_sizeof_impl<Traits>>("__sizeof__")
      .template len<bulk::list_len_impl<Traits>>()
      .template iter<bulk::list_iter_impl<Traits>>()
      .template repr<bulk::list_repr_impl<Traits>>()
      .template buffer<bulk::list_buffer_impl<Traits>>()
      .no_number_conversions()
      .class_attribute("__array_ufunc__", Py_None)
      .template pickled_by_buffer<bulk::list_setstate_impl<Traits>>("empty");
  if constexpr (bulk::unsigned_index<Traits>) {
    table.template getitem<bulk::list_getitem_impl<Traits>>();
  } else {
    table.template getitem<bulk::list_subscript_impl<Traits>>();
  }
  return table;
}

template <class Traits>
binding::ClassBuilder<BulkListIterator<Traits>> bulk_iterator_table() {
  using Iterator = BulkListIterator<Traits>;
  binding::ClassBuilder<Iterator> table(binding::PyClass<Iterator>::name);
  table.no_constructor().template next<bulk::iterator_next_impl<Traits>>();
  return table;
}

}  // namespace kalvor
