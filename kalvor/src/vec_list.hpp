#pragma once
// VecList: a bulk list of core vectors whose element-wise operations run on
// the worker pool; and VecListIterator, which walks a snapshot of one.

#include "kalvor/src/bulk_list.hpp"
#include "kalvor/src/vec3d.hpp"
#include "morvix/src/vec3d.hpp"

#include <string>
#include <string_view>

namespace kalvor {

struct VecElement {
  using Element = morvix::Vec3d;
  static constexpr std::size_t width = 3;
  static constexpr std::string_view noun = "vector";
  static constexpr const char* item_name = "vec";
  // Indexed by an unsigned index: a negative one is an OverflowError, a
  // slice a TypeError.
  static constexpr bool unsigned_index = true;
  static void append_repr(std::string& out, const Element& v) { append_vec3d_repr(out, v); }
};

using VecList = BulkList<VecElement>;
using VecListIterator = BulkListIterator<VecElement>;
using VecArray = ElementArray<VecElement>;

}  // namespace kalvor

KALVOR_DECLARE_CLASS(kalvor::VecList, "kalvor", "VecList");
KALVOR_DECLARE_CLASS(kalvor::VecListIterator, "kalvor", "VecListIterator");
