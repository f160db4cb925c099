// The LZ77 decoding over memory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "topic/lz77.h"

using namespace marlet;

namespace {

struct Decoded {
  std::string text;
  bool damaged;
};

Decoded Decode(const std::vector<uint8_t> &input, size_t room = 1000) {
  std::vector<uint8_t> out(room);
  Lz77Result r = Lz77Decode(Bytes(input), out);
  return {std::string(out.begin(), out.begin() + static_cast<long>(r.produced)), r.damaged};
}

TEST(Lz77, DecodesLiteralsAndBackReferences) {
  struct Case {
    const char *what;
    std::vector<uint8_t> input;
    std::string expected;
  } cases[] = {
      {"three literals, then length 4 at distance 3, group cut", {0x08, 'a', 'b', 'c', 0x02, 0x10}, "abcabca"},
      {"a literal, then length 18 at distance 1", {0x02, 'x', 0x00, 0xF0}, std::string(19, 'x')},
      {"eight literals", {0x00, '1', '2', '3', '4', '5', '6', '7', '8', 0x00, '9'}, "123456789"},
      {"empty input", {}, ""},
      {"flag byte alone", {0x00}, ""},
      {"back-reference cut after its first byte", {0x02, 'q', 0x00}, "q"},
      {"distance 4096",
       [] {
         std::vector<uint8_t> in;
         for (int g = 0; g < 512; ++g) {
           in.push_back(0x00);
           for (int k = 0; k < 8; ++k) in.push_back(static_cast<uint8_t>('a' + (g * 8 + k) % 26));
         }
         in.push_back(0x01);
         in.push_back(0xFF);
         in.push_back(0x0F);  // length 3, distance 0xFFF + 1
         return in;
       }(),
       [] {
         std::string s;
         for (int i = 0; i < 4096; ++i) s += static_cast<char>('a' + i % 26);
         return s + s.substr(0, 3);
       }()},
  };
  for (const Case &c : cases) {
    Decoded d = Decode(c.input, 5000);
    EXPECT_EQ(d.text, c.expected) << c.what;
    EXPECT_FALSE(d.damaged) << c.what;
  }
}

TEST(Lz77, EightBackReferencesAfterFlagsFF) {
  std::vector<uint8_t> in{0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0xFF};
  for (int i = 0; i < 8; ++i) in.insert(in.end(), {0x07, 0x00});  // length 3, distance 8
  Decoded d = Decode(in);
  EXPECT_EQ(d.text.size(), 8u + 24u);
  EXPECT_EQ(d.text.substr(8, 8), "abcdefgh");
}

TEST(Lz77, NeverWritesPastItsOutputNorReadsBeforeIt) {
  // A back-reference before the start is refused; the stream ends there.
  Decoded before = Decode({0x02, 'a', 0x01, 0x00, 'z'});
  EXPECT_EQ(before.text, "a");
  EXPECT_TRUE(before.damaged);
  Decoded first = Decode({0x01, 0x00, 0x00});
  EXPECT_EQ(first.text, "");
  EXPECT_TRUE(first.damaged);
  // Output full: what fits is kept.
  Decoded full = Decode({0x02, 'x', 0x00, 0xF0}, 5);
  EXPECT_EQ(full.text, "xxxxx");
  EXPECT_TRUE(full.damaged);
  Decoded literals = Decode({0x00, '1', '2', '3', '4'}, 2);
  EXPECT_EQ(literals.text, "12");
  EXPECT_TRUE(literals.damaged);
}

}  // namespace
