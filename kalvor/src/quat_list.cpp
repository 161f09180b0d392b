#include "kalvor/src/quat_list.hpp"

#include "kalvor/src/binding/class_builder.hpp"
#include "kalvor/src/binding/ndarray.hpp"
#include "kalvor/src/fitting.hpp"
#include "kalvor/src/vec3d.hpp"
#include "kalvor/src/vec_list.hpp"
#include "morvix/src/statistics.hpp"

#include <array>
#include <cmath>
#include <limits>
#include <utility>

namespace kalvor {

using binding::NdArray;
using morvix::Matrix3;
using morvix::Quat;
using morvix::Vec3d;

namespace {

using bulk::each;
using bulk::mapped_list;
using bulk::settled_list;

// An operand that is one value for every element or a list of as many.
using QuatOrList = binding::OneOf<Quat, QuatList>;
using VecOrList = binding::OneOf<Vec3d, VecList>;

// ---- element-wise operations

VecList quat_list_rotate_impl(const QuatList& self, const VecOrList& vectors) {
  return bulk::broadcast<VecElement>(vectors, self.items.size(), [&](const auto& v) {
    return settled_list<VecElement>(self, morvix::formula::rotate, v);
  });
}
QuatList quat_list_then_impl(const QuatList& self, const QuatOrList& other) {
  return bulk::broadcast<QuatElement>(other, self.items.size(), [&](const auto& o) {
    return settled_list<QuatElement>(self, morvix::formula::then, o);
  });
}
QuatList quat_list_slerp_impl(const QuatList& self, const QuatOrList& other, double t) {
  return bulk::broadcast<QuatElement>(other, self.items.size(), [&](const auto& o) {
    return mapped_list<QuatElement, bulk::heavy_weight>(
        self, [](const Quat& a, const Quat& b, double s) { return morvix::slerp(a, b, s); }, o, t);
  });
}
NdArray<double> quat_list_angle_to_impl(const QuatList& self, const QuatOrList& other) {
  return bulk::broadcast<QuatElement>(other, self.items.size(), [&](const auto& o) {
    return bulk::mapped_array<bulk::transcendental_weight>(
        self, [](const Quat& a, const Quat& b) { return morvix::angle_between(a, b); }, o);
  });
}
QuatList quat_list_inverse_impl(const QuatList& self) {
  return settled_list<QuatElement>(self, morvix::formula::inverse);
}
QuatList quat_list_normalize_impl(const QuatList& self) {
  return settled_list<QuatElement>(self, morvix::formula::quat_normalize);
}

// ---- statistics and series

Quat quat_list_mean_impl(const QuatList& self, const std::optional<binding::Floats>& weights) {
  return fitted(binding::signature_of<quat_list_mean_impl>->call, weights, self.items.size(), "quaternion",
                [&](const auto& w, BlockFold fold) { return morvix::mean(self.items.data(), self.items.size(), w, fold); });
}

// Element i is drawn from its own counter, wherever it is computed.
QuatList quat_list_random_impl(std::size_t n, std::size_t seed) {
  static_assert(sizeof(std::size_t) == sizeof(std::uint64_t), "a seed is any 64-bit unsigned int");
  QuatList out = bulk::sized_list<QuatElement>(n);
  Quat* slots = out.items.data();
  bulk::run_parallel(
      n,
      [slots, seed](std::size_t begin, std::size_t end) {
        morvix::random_rotations(seed, begin, end - begin, slots + begin);
      },
      bulk::transcendental_weight);
  return out;
}

QuatList quat_list_power_impl(const QuatList& self, double t) {
  return mapped_list<QuatElement, bulk::heavy_weight>(self, [](const Quat& q, double s) { return morvix::power(q, s); }, t);
}

// One pass on the calling thread: each element depends on the one before.
QuatList quat_list_accumulate_impl(const QuatList& self) {
  QuatList out = bulk::sized_list<QuatElement>(self.items.size());
  morvix::accumulate(self.items.data(), self.items.size(), out.items.data());
  return out;
}

QuatList quat_list_differences_impl(const QuatList& self) {
  const std::size_t n = self.items.size();
  QuatList out = bulk::sized_list<QuatElement>(n < 2 ? 0 : n - 1);
  bulk::map_into(out.items.data(), out.items.size(), [](const Quat& a, const Quat& b) { return morvix::difference(a, b); },
                 each(self), bulk::Each<Quat>{self.items.data() + 1});
  return out;
}

// ---- interpolation between keyframes

// Between two keys, the very function Quat.slerp runs.
QuatList quat_list_interpolate_impl(const QuatList& self, const binding::LazyFloats& key_times,
                                    const binding::Floats& times) {
  return bulk::interpolate_keys(binding::signature_of<quat_list_interpolate_impl>->call, self, key_times, times,
                                [](const Quat& a, const Quat& b, double s) { return morvix::slerp(a, b, s); });
}

// ---- conversions

static constexpr std::size_t quat_row[] = {4};
static constexpr std::size_t matrix_item[] = {3, 3};

// The (n, 4) rows of another library's order, both ways: From reads one
// row's four numbers as a Quat, To writes one Quat as four.
template <auto From>
QuatList quat_list_from_rows_impl(const binding::StridedBuffer& array) {
  const binding::FloatRows rows =
      binding::float_rows(array, binding::signature_of<quat_list_from_rows_impl<From>>->call, quat_row);
  QuatList out = bulk::sized_list<QuatElement>(rows.rows);
  bulk::map_rows(out.items.data(), rows, [](const binding::FloatRows& row, std::size_t i) {
    return From(row.at(i, 0), row.at(i, 1), row.at(i, 2), row.at(i, 3));
  });
  return out;
}

template <auto To>
NdArray<double> quat_list_to_rows_impl(const QuatList& self) {
  const std::size_t n = self.items.size();
  NdArray<double> out({n, 4}, 2);
  bulk::map_into(out.items<std::array<double, 4>>(), n, [](const Quat& q) { return To(q); }, each(self));
  return out;
}

NdArray<double> quat_list_to_rotation_matrices_impl(const QuatList& self) {
  const std::size_t n = self.items.size();
  NdArray<double> out({n, 3, 3}, 3);
  bulk::settled_map<bulk::matrix_weight>(out.items<Matrix3>(), n, morvix::formula::to_rotation_matrix, each(self));
  return out;
}

// Every matrix is checked, then converted, in one pass; a piece stops at its
// first bad matrix and the smallest such index across pieces is reported.
// Nothing is returned unless all of them are rotations.
QuatList quat_list_from_rotation_matrices_impl(const binding::StridedBuffer& array) {
  const binding::FloatRows rows =
      binding::float_rows(array, binding::signature_of<quat_list_from_rotation_matrices_impl>->call, matrix_item);
  QuatList out = bulk::sized_list<QuatElement>(rows.rows);
  auto matrix = [&rows](std::size_t i) {
    Matrix3 m;
    for (std::size_t r = 0; r < 3; ++r)
      for (std::size_t c = 0; c < 3; ++c) m[r][c] = rows.at(i, r, c);
    return m;
  };
  if (const auto bad = bulk::checked_map<bulk::transcendental_weight>(
          out.items.data(), rows.rows, matrix, morvix::rotation_matrix_fault,
          [](const Matrix3& m) { return morvix::from_rotation_matrix(m); }))
    binding::throw_not_a_rotation(bad->second, bad->first);
  return out;
}

QuatList quat_list_from_rotation_vectors_impl(const VecList& vl) {
  return mapped_list<QuatElement, bulk::transcendental_weight>(
      vl, [](const Vec3d& v) { return morvix::from_rotation_vector(v); });
}
VecList quat_list_to_rotation_vectors_impl(const QuatList& self) {
  return mapped_list<VecElement, bulk::transcendental_weight>(
      self, [](const Quat& q) { return morvix::to_rotation_vector(q); });
}

// Angles as rows of an (n, 3) buffer of radians.
template <morvix::EulerFrame Frame>
QuatList quat_list_from_euler_impl(const morvix::EulerAxes& axes, const binding::StridedBuffer& angles) {
  static constexpr std::size_t angle_row[] = {3};
  const binding::FloatRows rows =
      binding::float_rows(angles, binding::signature_of<quat_list_from_euler_impl<Frame>>->call, angle_row);
  QuatList out = bulk::sized_list<QuatElement>(rows.rows);
  bulk::map_rows<bulk::transcendental_weight>(out.items.data(), rows, [axes](const binding::FloatRows& row, std::size_t i) {
    return morvix::from_euler(axes, Frame, row.at(i, 0), row.at(i, 1), row.at(i, 2));
  });
  return out;
}
template <morvix::EulerFrame Frame>
NdArray<double> quat_list_to_euler_impl(const QuatList& self, const morvix::EulerAxes& axes) {
  const std::size_t n = self.items.size();
  NdArray<double> out({n, 3}, 2);
  bulk::map_into<bulk::heavy_weight>(
      out.items<std::array<double, 3>>(), n, [axes](const Quat& q) { return morvix::to_euler(q, axes, Frame); }, each(self));
  return out;
}

// ---- tables

binding::ClassBuilder<QuatList> quat_list_table() {
  return std::move(bulk_list_table<QuatElement>()
                       .method<quat_list_rotate_impl>("rotate", "vectors")
                       .method<quat_list_then_impl>("then", "other")
                       .method<quat_list_slerp_impl>("slerp", "other", "t")
                       .method<quat_list_inverse_impl>("inverse")
                       .method<quat_list_normalize_impl>("normalize")
                       .method<quat_list_interpolate_impl>("interpolate", "key_times", "times")
                       .static_method<quat_list_from_rows_impl<morvix::from_xyzw>>("from_xyzw_array", "array")
                       .method<quat_list_to_rows_impl<morvix::to_xyzw>>("to_xyzw_array")
                       .static_method<quat_list_from_rotation_matrices_impl>("from_rotation_matrices", "array")
                       .method<quat_list_to_rotation_matrices_impl>("to_rotation_matrices")
                       .static_method<quat_list_from_rotation_vectors_impl>("from_rotation_vectors", "vl")
                       .method<quat_list_to_rotation_vectors_impl>("to_rotation_vectors")
                       .static_method<quat_list_from_euler_impl<morvix::EulerFrame::intrinsic>>("from_intrinsic_euler",
                                                                                                "axes", "angles")
                       .static_method<quat_list_from_euler_impl<morvix::EulerFrame::extrinsic>>("from_extrinsic_euler",
                                                                                                "axes", "angles")
                       .method<quat_list_to_euler_impl<morvix::EulerFrame::intrinsic>>("to_intrinsic_euler", "axes")
                       .method<quat_list_to_euler_impl<morvix::EulerFrame::extrinsic>>("to_extrinsic_euler", "axes")
                       .method<quat_list_angle_to_impl>("angle_to", "other")
                       .static_method<quat_list_from_rows_impl<morvix::from_wxyz>>("from_wxyz_array", "array")
                       .method<quat_list_to_rows_impl<morvix::to_wxyz>>("to_wxyz_array")
                       .method<quat_list_mean_impl>("mean", "weights=None")
                       .static_method<quat_list_random_impl>("random", "n", "seed")
                       .method<quat_list_power_impl>("power", "t")
                       .method<quat_list_accumulate_impl>("accumulate")
                       .method<quat_list_differences_impl>("differences"));
}

}  // namespace

}  // namespace kalvor

KALVOR_CLASS_TYPE(kalvor::QuatList, kalvor::quat_list_table)
KALVOR_CLASS_TYPE(kalvor::QuatListIterator, kalvor::bulk_iterator_table<kalvor::QuatElement>)
