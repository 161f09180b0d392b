#include "morvix/src/statistics.hpp"

#include <Eigen/Dense>
#include <Random123/philox.h>

namespace morvix {

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
double coordinate(std::uint64_t x) noexcept {
  // Below 2⁵³, so a signed conversion (one instruction) is exact.
  return static_cast<double>(static_cast<std::int64_t>(x >> 11)) * 0x1p-52 - 1.0;
}

struct Candidate {
  double a, b, s;
};

// The two candidates of draw `draw`; bit c of the mask says whether candidate c is kept.
[[gnu::always_inline]] inline unsigned draw_candidates(std::uint64_t seed, std::uint64_t index, std::uint64_t draw, Candidate* out) noexcept {
  const philox4x64_key_t key = {{seed, 0}};
  const philox4x64_ctr_t counter = {{index, draw, 0, 0}};
  const philox4x64_ctr_t words = philox4x64_R(10, counter, key);
  unsigned kept = 0;
  for (unsigned c = 0; c < 2; ++c) {
    const double a = coordinate(words.v[2 * c]);
    const double b = coordinate(words.v[2 * c + 1]);
    const double s = (a * a) + (b * b);
    out[c] = {a, b, s};
    kept |= static_cast<unsigned>((s > 0.0) & (s < 1.0)) << c;
  }
  return kept;
}

Quat from_kept(const Candidate& first, const Candidate& second) noexcept {
  const double f = std::sqrt((1.0 - first.s) / second.s);
  const Quat q{first.a, first.b, second.a * f, second.b * f};
  return q.w < 0.0 ? Quat{-q.w, -q.i, -q.j, -q.k} : q;
}

}  // namespace

namespace {

// The rest of element `index`'s stream after a first draw that did not keep
// both of its candidates.
Quat after_first_draw(std::uint64_t seed, std::uint64_t index, unsigned kept, const Candidate* first) noexcept {
  Candidate found[2];
  int count = 0;
  for (unsigned k = 0; k < 2; ++k)
    if ((kept >> k) & 1u) found[count++] = first[k];
  Candidate more[2];
  for (std::uint64_t draw = 1; count < 2; ++draw) {
    const unsigned more_kept = draw_candidates(seed, index, draw, more);
    for (unsigned k = 0; k < 2 && count < 2; ++k)
      if ((more_kept >> k) & 1u) found[count++] = more[k];
  }
  return from_kept(found[0], found[1]);
}

}  // namespace

Quat random_rotation(std::uint64_t seed, std::uint64_t index) noexcept {
  Candidate c[2];
  const unsigned kept = draw_candidates(seed, index, 0, c);
  return kept == 3u ? from_kept(c[0], c[1]) : after_first_draw(seed, index, kept, c);
}

void random_rotations(std::uint64_t seed, std::uint64_t first, std::size_t count, Quat* out) noexcept {
  // Both candidates of an element's first draw are kept about five times in
  // eight, which no branch predictor can guess: so every element first takes
  // the result of its first draw, without a branch, and the others are noted
  // and finished in a second pass.
  constexpr std::size_t chunk = 256;
  struct Pending {
    std::size_t at;
    unsigned kept;
    Candidate c[2];
  };
  Pending pending[chunk];
  for (std::size_t b = 0; b < count; b += chunk) {
    const std::size_t n = std::min(chunk, count - b);
    std::size_t waiting = 0;
    std::size_t i = 0;
    // Two elements at a time: their generators are independent chains of
    // multiplications, which the processor then runs side by side.
    for (; i + 1 < n; i += 2) {
      Candidate c[2][2];
      const unsigned kept0 = draw_candidates(seed, first + b + i, 0, c[0]);
      const unsigned kept1 = draw_candidates(seed, first + b + i + 1, 0, c[1]);
      out[b + i] = from_kept(c[0][0], c[0][1]);
      out[b + i + 1] = from_kept(c[1][0], c[1][1]);
      pending[waiting] = {b + i, kept0, {c[0][0], c[0][1]}};
      waiting += kept0 != 3u;
      pending[waiting] = {b + i + 1, kept1, {c[1][0], c[1][1]}};
      waiting += kept1 != 3u;
    }
    for (; i < n; ++i) {
      Pending& p = pending[waiting];
      p.at = b + i;
      p.kept = draw_candidates(seed, first + b + i, 0, p.c);
      out[b + i] = from_kept(p.c[0], p.c[1]);
      waiting += p.kept != 3u;
    }
    for (std::size_t k = 0; k < waiting; ++k) {
      const Pending& p = pending[k];
      out[p.at] = after_first_draw(seed, first + p.at, p.kept, p.c);
    }
  }
}

}  // namespace morvix
