#include "morvix/src/siphash.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

std::array<unsigned char, 64> counting_bytes() {
  std::array<unsigned char, 64> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i);
  return bytes;
}

// The reference key 00 01 .. 0f as two little-endian words.
constexpr std::uint64_t k0 = 0x0706050403020100ULL;
constexpr std::uint64_t k1 = 0x0f0e0d0c0b0a0908ULL;

TEST(SipHash, PaperExampleSipHash24) {
  // The worked example of the SipHash paper: 15 bytes 00..0e.
  const auto bytes = counting_bytes();
  EXPECT_EQ((morvix::siphash<2, 4>(k0, k1, bytes.data(), 15)), 0xa129ca6149be45e5ULL);
}

struct Vector {
  std::size_t length;
  std::uint64_t expected;
};

class SipHash24Vectors : public ::testing::TestWithParam<Vector> {};

// Published reference outputs of SipHash-2-4 for messages 00, 00 01, ...
TEST_P(SipHash24Vectors, MatchesReference) {
  const auto bytes = counting_bytes();
  EXPECT_EQ((morvix::siphash<2, 4>(k0, k1, bytes.data(), GetParam().length)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Lengths, SipHash24Vectors,
                         ::testing::Values(Vector{0, 0x726fdb47dd0e0e31ULL}, Vector{1, 0x74f839c593dc67fdULL},
                                           Vector{7, 0xab0200f58b01d137ULL}, Vector{8, 0x93f5f5799a932462ULL},
                                           Vector{15, 0xa129ca6149be45e5ULL}, Vector{16, 0x3f2acc7f57c29bdbULL}));

TEST(SipHash, OneThreeIsConstexprAndDiffersFromTwoFour) {
  constexpr unsigned char message[24] = {};
  constexpr std::uint64_t h = morvix::siphash13(0, 0, message, 24);
  static_assert(h == morvix::siphash13(0, 0, message, 24));
  EXPECT_NE(h, (morvix::siphash<2, 4>(0, 0, message, 24)));
}

}  // namespace

namespace {

TEST(SipHash, WordsEqualTheirLittleEndianBytes) {
  const std::uint64_t words[3] = {0x3FF0000000000000ULL, 0x8000000000000000ULL, 0x0123456789ABCDEFULL};
  unsigned char bytes[24];
  for (int w = 0; w < 3; ++w)
    for (int b = 0; b < 8; ++b) bytes[w * 8 + b] = static_cast<unsigned char>(words[w] >> (8 * b));
  EXPECT_EQ(morvix::siphash13_words(0, 0, words), morvix::siphash13(0, 0, bytes, 24));
  EXPECT_EQ(morvix::siphash13_words(k0, k1, words), morvix::siphash13(k0, k1, bytes, 24));
}

}  // namespace
