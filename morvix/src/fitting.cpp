#include "morvix/src/fitting.hpp"

#include <Eigen/Dense>

namespace morvix {

namespace {

Vec3d column(const Eigen::Matrix3d& m, int c) noexcept { return {m(0, c), m(1, c), m(2, c)}; }

}  // namespace

Quat best_rotation(const Matrix3& cross) noexcept {
  Eigen::Matrix3d b;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) b(r, c) = cross[r][c];
  // Two-sided Jacobi: accurate to the last bits of each singular vector, and a
  // 3×3 matrix takes a few sweeps.
#if EIGEN_VERSION_AT_LEAST(3, 4, 90)
  const Eigen::JacobiSVD<Eigen::Matrix3d, Eigen::ComputeFullU | Eigen::ComputeFullV> svd(b);
#else
  const Eigen::JacobiSVD<Eigen::Matrix3d> svd(b, Eigen::ComputeFullU | Eigen::ComputeFullV);
#endif
  const Eigen::Vector3d sigma = svd.singularValues();
  if (!(sigma(0) > 0.0)) return Quat::identity();
  const Eigen::Matrix3d& u = svd.matrixU();
  const Eigen::Matrix3d& v = svd.matrixV();
  if (sigma(1) <= rank_one_below * sigma(0)) return between(column(v, 0), column(u, 0));
  // R = U·diag(1, 1, d)·Vᵀ, d the sign that makes it a rotation.
  const double d = (u.determinant() * v.determinant()) < 0.0 ? -1.0 : 1.0;
  Eigen::Matrix3d ud = u;
  ud.col(2) *= d;
  const Eigen::Matrix3d rot = ud * v.transpose();
  // rotate(q, v) is Mᵀ·v for M = to_rotation_matrix(q): so M = Rᵀ.
  Matrix3 m;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m[r][c] = rot(c, r);
  Quat q = from_rotation_matrix(m);
  if (q.w < 0.0) q = {-q.w, -q.i, -q.j, -q.k};
  return q;
}

}  // namespace morvix
