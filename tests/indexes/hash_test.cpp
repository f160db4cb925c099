// The context hash and its reversal.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "indexes/hash.h"

namespace {

TEST(ContextHash, WorkedExamples) {
  struct Case {
    const char *text;
    uint32_t hash;
  } cases[] = {
      {"abc", 32226},  // (17 * 43 + 18) * 43 + 19
      {"ABC", 32226},  // capitals count as small letters
      {"a-b-c", 32226},  // characters outside the table are dropped, not multiplied
      {"", 0},
      {"!!!", 0},
      {".", 12},
      {"_", 13},
      {"10", 53},  // "0" is 10
      {"Contents", 0x25F4558A},
      {"IDH_CONTENTS", 0x68310BEE},
      {"zzzzzzzzzzzzzzzzzzzz", 0x9FA3EF70},  // wraps modulo 2^32
      // What halibut stores for its contents topic and its first section.
      {"Top", 0x00010959},
      {"t00000000", 0x4EF9C604},
      // Bytes above 127 are outside the table too.
      {"\xC4\xE4Z", 42},
  };
  for (const Case &c : cases)
    EXPECT_EQ(static_cast<uint32_t>(HlpGenerateHashValue(c.text)), c.hash) << '"' << c.text << '"';
  EXPECT_EQ(HlpGenerateHashValue(nullptr), 0);
}

TEST(ContextHash, ReversalExamples) {
  struct Case {
    uint32_t hash;
    const char *text;
  } cases[] = {
      {32226, "abc"},
      {0, ""},
      {17, "a"},
      {42, "z"},
      {1, "1"},
      {732, "a1"},
      // Base-43 digits 0 (43 = "10" in base 43) and 11 have no character: a
      // later prefix takes over.
      {43, "Indc3._ep"},
      {11, "IDHbqcymn"},
      {14, "Indc3._e3"},
      // The top bit set: unsigned arithmetic like any other value.
      {0x80000000u, "Ind4d6_nh"},
      {0xFFFFFFFFu, "Indc3._do"},
      // Two lines of the corpus's expected daskol listings.
      {0x83A0FF54u, "Ind4uy34z"},
      {0x05311E4Du, "idh_1"},
  };
  for (const Case &c : cases) {
    char buffer[20];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(HlpCreateStringForHashValue(static_cast<ContextHash>(c.hash), buffer), 1) << c.hash;
    EXPECT_STREQ(buffer, c.text) << c.hash;
  }
  EXPECT_EQ(HlpCreateStringForHashValue(1, nullptr), 0);
}

// Whatever the hash: the string hashes back to it, has at most 9 characters
// and lies within the first 10 bytes of the buffer.
TEST(ContextHash, RandomHashesComeBack) {
  std::mt19937 random(43);
  for (int i = 0; i < 200000; ++i) {
    auto hash = static_cast<ContextHash>(random());
    char buffer[20];
    std::memset(buffer, 'X', sizeof buffer);
    ASSERT_EQ(HlpCreateStringForHashValue(hash, buffer), 1) << hash;
    ASSERT_LE(std::strlen(buffer), 9u);
    ASSERT_EQ(HlpGenerateHashValue(buffer), hash) << buffer;
    for (size_t k = 10; k < sizeof buffer; ++k) ASSERT_EQ(buffer[k], 'X');
  }
}

TEST(ContextHash, CompletionKeepsThePrefix) {
  struct Case {
    const char *prefix;
    uint32_t hash;
    bool completes;
    const char *text;  // the buffer afterwards
  } cases[] = {
      {"abc", 32226, true, "abc"},       // the prefix alone hashes to the target
      {"ab", 32226, true, "abc"},
      {"", 32226, true, "abc"},
      {"IDH_CONTE", 0x68310BEE, true, "IDH_CONTEnts"},  // suffix letters come small
      {"IDH_", 0x68310BEE, false, "IDH_"},
      {"", 43, false, ""},              // no suffix can do it: the prefix stays
      {"Ind", 43, true, "Indc3._ep"},
  };
  for (const Case &c : cases) {
    char buffer[20] = {};
    std::strcpy(buffer, c.prefix);
    EXPECT_EQ(marlet::CompleteHashString(buffer, static_cast<ContextHash>(c.hash)), c.completes) << c.prefix;
    EXPECT_STREQ(buffer, c.text);
  }
}

}  // namespace
