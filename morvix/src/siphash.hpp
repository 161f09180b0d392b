#pragma once
// SipHash-c-d over a byte string with a 128-bit key (k0, k1). Vec3d hashes
// with SipHash-1-3: one compression round per 8-byte block and three
// finalisation rounds.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace morvix {

namespace detail {

struct SipState {
  std::uint64_t v0, v1, v2, v3;

  // Always inlined, so a local state stays in registers.
  [[gnu::always_inline]] constexpr void round() noexcept {
    v0 += v1;
    v1 = std::rotl(v1, 13);
    v1 ^= v0;
    v0 = std::rotl(v0, 32);
    v2 += v3;
    v3 = std::rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = std::rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = std::rotl(v1, 17);
    v1 ^= v2;
    v2 = std::rotl(v2, 32);
  }
};

constexpr std::uint64_t load_le(const unsigned char* p, std::size_t n) noexcept {
  std::uint64_t word = 0;
  for (std::size_t i = 0; i < n; ++i) word |= static_cast<std::uint64_t>(p[i]) << (8 * i);
  return word;
}

}  // namespace detail

template <int C, int D>
constexpr std::uint64_t siphash(std::uint64_t k0, std::uint64_t k1, const unsigned char* data,
                                std::size_t length) noexcept {
  detail::SipState s{k0 ^ 0x736f6d6570736575ULL, k1 ^ 0x646f72616e646f6dULL, k0 ^ 0x6c7967656e657261ULL,
                     k1 ^ 0x7465646279746573ULL};
  auto compress = [&s](std::uint64_t m) {
    s.v3 ^= m;
    for (int r = 0; r < C; ++r) s.round();
    s.v0 ^= m;
  };
  const std::size_t full = length - length % 8;
  for (std::size_t i = 0; i < full; i += 8) compress(detail::load_le(data + i, 8));
  // Last block: the remaining bytes, with the length's low byte on top.
  compress(detail::load_le(data + full, length % 8) | (static_cast<std::uint64_t>(length & 0xff) << 56));
  s.v2 ^= 0xff;
  for (int r = 0; r < D; ++r) s.round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

constexpr std::uint64_t siphash13(std::uint64_t k0, std::uint64_t k1, const unsigned char* data,
                                  std::size_t length) noexcept {
  return siphash<1, 3>(k0, k1, data, length);
}

// SipHash-1-3 of a message made of whole 64-bit words, each taken as its 8
// little-endian bytes; equal to siphash13 over those bytes. Straight-line:
// the state stays in registers and, with a constant key, the compiler folds
// what depends on the key alone.
template <std::size_t N>
constexpr std::uint64_t siphash13_words(std::uint64_t k0, std::uint64_t k1,
                                        const std::uint64_t (&words)[N]) noexcept {
  detail::SipState s{k0 ^ 0x736f6d6570736575ULL, k1 ^ 0x646f72616e646f6dULL, k0 ^ 0x6c7967656e657261ULL,
                     k1 ^ 0x7465646279746573ULL};
  auto compress = [&s](std::uint64_t m) __attribute__((always_inline)) {
    s.v3 ^= m;
    s.round();
    s.v0 ^= m;
  };
  [&]<std::size_t... I>(std::index_sequence<I...>) __attribute__((always_inline)) {
    (compress(words[I]), ...);
  }(std::make_index_sequence<N>{});
  compress(static_cast<std::uint64_t>((N * 8) & 0xff) << 56);
  s.v2 ^= 0xff;
  s.round();
  s.round();
  s.round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

}  // namespace morvix
