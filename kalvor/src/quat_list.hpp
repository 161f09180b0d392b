#pragma once
// QuatList: a bulk list of core quaternions whose element-wise operations run
// on the worker pool; and QuatListIterator, which walks a snapshot of one.

#include "kalvor/src/bulk_list.hpp"
#include "kalvor/src/quat.hpp"
#include "morvix/src/quat.hpp"

#include <string>
#include <string_view>

namespace kalvor {

struct QuatElement {
  using Element = morvix::Quat;
  static constexpr std::size_t width = 4;
  static constexpr std::string_view noun = "quaternion";
  static constexpr const char* item_name = "quat";
  static void append_repr(std::string& out, const Element& q) { append_quat_repr(out, q); }
};

using QuatList = BulkList<QuatElement>;
using QuatListIterator = BulkListIterator<QuatElement>;

}  // namespace kalvor

KALVOR_DECLARE_CLASS(kalvor::QuatList, "kalvor", "QuatList");
KALVOR_DECLARE_CLASS(kalvor::QuatListIterator, "kalvor", "QuatListIterator");
