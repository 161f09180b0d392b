#include "morvix/src/statistics.hpp"

#include <Eigen/Dense>
#include <Random123/philox.h>

namespace morvix {

Quat unit_of(const Quat& q) noexcept {
  const double largest = std::max(std::max(std::fabs(q.w), std::fabs(q.i)), std::max(std::fabs(q.j), std::fabs(q.k)));
  const double c = unit_scale(largest);
  return formula::quat_normalize(Quat{c * q.w, c * q.i, c * q.j, c * q.k});
}

Quat principal_rotation(const QuatMoments& m) noexcept {
  Eigen::Matrix4d a;
  std::size_t n = 0;
  for (int r = 0; r < 4; ++r)
    for (int c = r; c < 4; ++c, ++n) a(r, c) = a(c, r) = m[n];
  // Eigenvalues come in increasing order: the last column belongs to the largest.
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix4d> solver(a);
  const Eigen::Vector4d v = solver.eigenvectors().col(3);
  Quat q = formula::quat_normalize(Quat{v(0), v(1), v(2), v(3)});
  const double lead = q.w != 0.0 ? q.w : q.i != 0.0 ? q.i : q.j != 0.0 ? q.j : q.k;
  if (lead < 0.0) q = {-q.w, -q.i, -q.j, -q.k};
  // A zero w is +0.0 either way.
  q.w = q.w + 0.0;
  return q;
}

namespace {

// A word's top 53 bits as a coordinate in [−1, 1), exactly.
double coordinate(std::uint64_t x) noexcept { return static_cast<double>(x >> 11) * 0x1p-52 - 1.0; }

}  // namespace

Quat random_rotation(std::uint64_t seed, std::uint64_t index) noexcept {
  const philox4x64_key_t key = {{seed, 0}};
  double kept[2][3];
  int found = 0;
  for (std::uint64_t draw = 0; found < 2; ++draw) {
    const philox4x64_ctr_t counter = {{index, draw, 0, 0}};
    const philox4x64_ctr_t words = philox4x64_R(10, counter, key);
    for (int c = 0; c < 2 && found < 2; ++c) {
      const double a = coordinate(words.v[2 * c]);
      const double b = coordinate(words.v[2 * c + 1]);
      const double s = (a * a) + (b * b);
      if (s > 0.0 && s < 1.0) {
        kept[found][0] = a;
        kept[found][1] = b;
        kept[found][2] = s;
        ++found;
      }
    }
  }
  const double f = std::sqrt((1.0 - kept[0][2]) / kept[1][2]);
  const Quat q{kept[0][0], kept[0][1], kept[1][0] * f, kept[1][1] * f};
  return q.w < 0.0 ? Quat{-q.w, -q.i, -q.j, -q.k} : q;
}

}  // namespace morvix
