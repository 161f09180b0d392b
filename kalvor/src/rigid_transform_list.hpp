#pragma once
// RigidTransformList: a bulk list of core poses (a trajectory) whose
// element-wise operations run on the worker pool; and
// RigidTransformListIterator, which walks a snapshot of one.

#include "kalvor/src/bulk_list.hpp"
#include "kalvor/src/rigid_transform.hpp"
#include "morvix/src/rigid_transform.hpp"

#include <string>
#include <string_view>

namespace kalvor {

// Seven doubles: the rotation (w, i, j, k), then the translation (x, y, z).
struct PoseElement {
  using Element = morvix::RigidTransform;
  static constexpr std::size_t width = 7;
  static constexpr std::string_view noun = "pose";
  static constexpr const char* item_name = "transform";
  static void append_repr(std::string& out, const Element& t) { append_rigid_transform_repr(out, t); }
};

using RigidTransformList = BulkList<PoseElement>;
using RigidTransformListIterator = BulkListIterator<PoseElement>;

}  // namespace kalvor

KALVOR_DECLARE_CLASS(kalvor::RigidTransformList, "kalvor", "RigidTransformList");
KALVOR_DECLARE_CLASS(kalvor::RigidTransformListIterator, "kalvor", "RigidTransformListIterator");
