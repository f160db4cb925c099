// The picture codecs: header integers, run-length coding both ways, decoding
// by packing method.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shg/codec.h"
#include "support/shg_builder.h"

using namespace marlet;
using fixture::RandomBytes;

namespace {

using Vec = std::vector<uint8_t>;

Vec Repeat(size_t n, uint8_t b) { return Vec(n, b); }
Vec Cat(std::initializer_list<Vec> parts) {
  Vec out;
  for (const Vec &p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(ShgIntegers, ReadBothForms) {
  struct Case {
    Vec bytes;
    bool isLong;  // ShgULong (else ShgUShort)
    uint32_t value;
    size_t length;
  } cases[] = {
      {{0x04}, false, 2, 1},
      {{0x03, 0x01}, false, 129, 2},
      {{0xFE}, false, 127, 1},
      {{0xFF, 0xFF}, false, 32767, 2},
      {{0x00}, false, 0, 1},
      {{0x10, 0x00}, true, 8, 2},
      {{0x01, 0x00, 0x01, 0x00}, true, 32768, 4},
      {{0xFE, 0xFF}, true, 32767, 2},
      {{0xFF, 0xFF, 0xFF, 0xFF}, true, 0x7FFFFFFF, 4},
      {{0xC0, 0x00, 0x99}, true, 96, 2},  // the third byte is not part of the field
  };
  for (const Case &c : cases) {
    ByteCursor cursor(c.bytes.data(), c.bytes.size());
    uint32_t value = c.isLong ? ShgULong(cursor) : ShgUShort(cursor);
    EXPECT_TRUE(cursor.ok());
    EXPECT_EQ(value, c.value) << (c.isLong ? "ShgULong " : "ShgUShort ") << c.value;
    EXPECT_EQ(cursor.position(), c.length) << c.value;
  }
}

TEST(ShgIntegers, FieldsCutByTheEndFailTheCursor) {
  struct Case {
    Vec bytes;
    bool isLong;
  } cases[] = {{{}, false}, {{0x03}, false}, {{}, true}, {{0x10}, true}, {{0x01, 0x00, 0x01}, true}};
  for (const Case &c : cases) {
    ByteCursor cursor(c.bytes.data(), c.bytes.size());
    uint32_t value = c.isLong ? ShgULong(cursor) : ShgUShort(cursor);
    EXPECT_FALSE(cursor.ok()) << c.bytes.size();
    EXPECT_EQ(value, 0u);
  }
}

TEST(ShgIntegers, WriteShortUpToTheLimitThenLong) {
  struct Case {
    bool isLong;
    uint32_t value;
    Vec bytes;
  } cases[] = {
      {true, 0, {0x00, 0x00}},
      {true, 8, {0x10, 0x00}},
      {true, 32767, {0xFE, 0xFF}},
      {true, 32768, {0x01, 0x00, 0x01, 0x00}},
      {true, 0x7FFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF}},
      {true, 0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF}},  // the top bit is lost
      {false, 1, {0x02}},
      {false, 8, {0x10}},
      {false, 127, {0xFE}},
      {false, 128, {0x01, 0x01}},
      {false, 32767, {0xFF, 0xFF}},
  };
  for (const Case &c : cases) {
    uint8_t out[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    size_t n = c.isLong ? WriteShgULong(out, c.value) : WriteShgUShort(out, c.value);
    EXPECT_EQ(Vec(out, out + n), c.bytes) << c.value;
    if (c.isLong) {
      EXPECT_EQ(n, ShgULongSize(c.value));
    }
    if (c.value > 0x7FFFFFFF) continue;
    ByteCursor back(out, n);
    EXPECT_EQ(c.isLong ? ShgULong(back) : ShgUShort(back), c.value) << "read back " << c.value;
  }
}

Vec Compress(const Vec &in) {
  Vec out(CompressRleBound(in.size()));
  out.resize(CompressRle(Bytes(in), out));
  return out;
}

TEST(Rle, CompressesTheWorkedExamples) {
  const uint8_t P = 'P', Q = 'Q', R = 'R';
  struct Case {
    const char *what;
    Vec in;
    Vec out;
  } cases[] = {
      {"nothing", {}, {}},
      {"five equal bytes: one run", Repeat(5, 7), {0x05, 7}},
      {"two equal bytes: a literal", {9, 9}, {0x82, 9, 9}},
      {"three equal bytes: a run", {9, 9, 9}, {0x03, 9}},
      {"300 equal bytes: runs of 127, 127, 46", Repeat(300, 1), {127, 1, 127, 1, 46, 1}},
      {"P P Q R R R R", {P, P, Q, R, R, R, R}, {0x83, P, P, Q, 0x04, R}},
      {"one byte", {5}, {0x81, 5}},
      {"a final pair goes on its own", {1, 2, 3, 3}, {0x82, 1, 2, 0x82, 3, 3}},
      {"a single final byte goes on its own", {1, 2, 2, 4}, {0x83, 1, 2, 2, 0x81, 4}},
      {"a pair inside a literal stays in it", {1, 2, 2, 3, 4}, {0x84, 1, 2, 2, 3, 0x81, 4}},
      {"literal in front of three equal bytes", {1, 2, 3, 3, 3}, {0x82, 1, 2, 0x03, 3}},
      {"128 different bytes: literals of 127 and 1",
       [] {
         Vec v;
         for (int i = 0; i < 128; ++i) v.push_back(static_cast<uint8_t>(i));
         return v;
       }(),
       [] {
         Vec v{0xFF};
         for (int i = 0; i < 127; ++i) v.push_back(static_cast<uint8_t>(i));
         v.push_back(0x81);
         v.push_back(127);
         return v;
       }()},
  };
  for (const Case &c : cases) EXPECT_EQ(Compress(c.in), c.out) << c.what;
}

TEST(Rle, DecompressesPackets) {
  struct Case {
    const char *what;
    Vec in;
    Vec out;
  } cases[] = {
      {"a run", {0x04, 'R'}, {'R', 'R', 'R', 'R'}},
      {"a literal", {0x83, 'a', 'b', 'c'}, {'a', 'b', 'c'}},
      {"a run header of 0 consumes its byte and writes nothing", {0x00, 'x', 0x02, 'y'}, {'y', 'y'}},
      {"a literal header of 128 is empty", {0x80, 0x01, 'z'}, {'z'}},
      {"a single trailing byte is ignored", {0x02, 'a', 0x85}, {'a', 'a'}},
      {"fewer than two bytes give nothing", {0x05}, {}},
      {"empty", {}, {}},
  };
  for (const Case &c : cases) {
    Vec out(64, 0xEE);
    Decoded d = DecompressRle(Bytes(c.in), out);
    EXPECT_EQ(Vec(out.begin(), out.begin() + static_cast<long>(d.written)), c.out) << c.what;
    EXPECT_FALSE(d.damaged) << c.what;
  }
}

TEST(Rle, DecodersStopAtTheTargetEnd) {
  struct Case {
    const char *what;
    Vec in;
    size_t room;
    Vec kept;
  } cases[] = {
      {"a run past the end", {0x02, 'a', 0x05, 'b'}, 4, {'a', 'a', 'b', 'b'}},
      {"a literal past the end", {0x84, '1', '2', '3', '4'}, 3, {'1', '2', '3'}},
      {"no room at all", {0x01, 'a'}, 0, {}},
      {"a literal cut by the end of the input", {0x85, '1', '2'}, 10, {'1', '2'}},
  };
  for (const Case &c : cases) {
    Vec out(c.room + 8, 0xEE);
    Decoded d = DecompressRle(Bytes(c.in), std::span<uint8_t>(out.data(), c.room));
    EXPECT_TRUE(d.damaged) << c.what;
    EXPECT_EQ(Vec(out.begin(), out.begin() + static_cast<long>(d.written)), c.kept) << c.what;
    for (size_t i = c.room; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << c.what << ": wrote past the target";
  }
  // Exactly full is not damage.
  Vec out(4);
  Decoded d = DecompressRle(Bytes(Vec{0x04, 'q', 0x00, 'q'}), out);
  EXPECT_EQ(d.written, 4u);
  EXPECT_FALSE(d.damaged);
}

TEST(Rle, RoundTripsEveryInput) {
  // Random buffers of several alphabets (few symbols make runs and pairs),
  // and the patterns at the packet limits.
  std::vector<Vec> inputs;
  for (uint32_t seed = 1; seed <= 60; ++seed)
    for (int alphabet : {2, 3, 16, 256}) inputs.push_back(RandomBytes(seed * 37 % 700, seed, alphabet));
  for (size_t n : {126, 127, 128, 129, 254, 255, 256, 381}) {
    inputs.push_back(Repeat(n, 0xAB));
    Vec alternating;
    for (size_t i = 0; i < n; ++i) alternating.push_back(static_cast<uint8_t>(i & 1));
    inputs.push_back(alternating);
    inputs.push_back(Cat({Repeat(n, 1), {2}, Repeat(2, 3), {4}}));
  }
  for (const Vec &in : inputs) {
    Vec packed = Compress(in);
    ASSERT_LE(packed.size(), CompressRleBound(in.size()));
    Vec out(in.size() + 1);
    Decoded d = DecompressRle(Bytes(packed), out);
    ASSERT_FALSE(d.damaged);
    ASSERT_EQ(Vec(out.begin(), out.begin() + static_cast<long>(d.written)), in) << "length " << in.size();
  }
}

TEST(DecodePicture, DispatchesByMethod) {
  const Vec pixels = Cat({Repeat(40, 3), RandomBytes(90, 7, 4), Repeat(5, 9)});
  struct Case {
    unsigned method;
    Vec packed;
  } cases[] = {
      {0, pixels},
      {1, fixture::RleLiterals(pixels)},
      {1, Compress(pixels)},
      {2, fixture::Lz77Pack(pixels)},
      {3, fixture::Lz77Pack(Compress(pixels))},
  };
  for (const Case &c : cases) {
    Vec out(pixels.size() * 2);
    Decoded d = DecodePicture(Bytes(c.packed), out, c.method);
    EXPECT_FALSE(d.damaged) << c.method;
    EXPECT_EQ(Vec(out.begin(), out.begin() + static_cast<long>(d.written)), pixels) << "method " << c.method;
  }
}

TEST(DecodePicture, EveryMethodIsBoundedByItsTarget) {
  const Vec pixels = Repeat(300, 5);
  struct Case {
    const char *what;
    unsigned method;
    Vec packed;
    size_t room;
    size_t written;
  } cases[] = {
      {"stored, longer than the target", 0, pixels, 100, 100},
      {"run-length", 1, Compress(pixels), 100, 100},
      {"LZ77", 2, fixture::Lz77Pack(pixels), 100, 100},
      {"LZ77 whose packets fill the target", 3, fixture::Lz77Pack(Compress(pixels)), 5, 5},
      {"LZ77 then run-length", 3, fixture::Lz77Pack(Compress(pixels)), 100, 100},
      {"LZ77 back-reference before the start", 2, {0x01, 0x05, 0x00}, 100, 0},
      {"method 3, back-reference before the start", 3, {0x04, 0x03, 'a', 0x05, 0x00}, 100, 3},
      {"unknown method", 4, pixels, 1000, 0},
  };
  for (const Case &c : cases) {
    Vec out(c.room + 16, 0xEE);
    Decoded d = DecodePicture(Bytes(c.packed), std::span<uint8_t>(out.data(), c.room), c.method);
    EXPECT_TRUE(d.damaged) << c.what;
    EXPECT_EQ(d.written, c.written) << c.what;
    for (size_t i = c.room; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << c.what << ": wrote past the target";
  }
}

}  // namespace
