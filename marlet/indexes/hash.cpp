// The context hash, and context strings made up for a hash.
//
// Character values of the hash (every other byte value is 0 and dropped):
//   "1".."9"  1..9      "." 12      "A".."Z"  17..42
//   "0"       10        "_" 13      "a".."z"  17..42 (as the capitals)
// No character has the value 11, 14, 15 or 16.
//
// Reversal.  A string p + x hashes to h(p) * 43^i + h(x) when x has i
// characters, all of non-zero value.  So a suffix for a target t is the
// base-43 numeral of t - h(p) * 43^i (mod 2^32) with i digits, written in the
// characters whose values are those digits; it exists only when every digit
// is one that a character stands for (not 0, 11, 14, 15 or 16).  Suffix
// letters are written small.  A 32-bit value has at most 6 base-43 digits
// (43^6 > 2^32), so no suffix is longer than 6: a 7th digit would be 0.
// When the empty prefix cannot do it, prefixes that help authors commonly use
// are tried in a fixed order, so that the result is stable.
#include "indexes/hash.h"

#include <array>
#include <cstring>

namespace marlet {

namespace {

constexpr std::array<uint8_t, 256> kHashCharValues = [] {
  std::array<uint8_t, 256> values{};
  for (int c = '1'; c <= '9'; ++c) values[c] = static_cast<uint8_t>(c - '0');
  values['0'] = 10;
  values['.'] = 12;
  values['_'] = 13;
  for (int c = 'A'; c <= 'Z'; ++c) values[c] = static_cast<uint8_t>(c - 'A' + 17);
  for (int c = 'a'; c <= 'z'; ++c) values[c] = static_cast<uint8_t>(c - 'a' + 17);
  return values;
}();

// The character for a base-43 digit, or 0 when no character has that value.
constexpr std::array<char, 43> kDigitChars = [] {
  std::array<char, 43> chars{};
  for (int d = 1; d <= 9; ++d) chars[d] = static_cast<char>('0' + d);
  chars[10] = '0';
  chars[12] = '.';
  chars[13] = '_';
  for (int d = 17; d <= 42; ++d) chars[d] = static_cast<char>(d + 80);  // 'a' .. 'z'
  return chars;
}();

constexpr int kMaxSuffix = 6;

// 43^i for i = 0 .. kMaxSuffix - 1; a suffix of i characters encodes a value
// below 43^i.  (43^6 exceeds every 32-bit value.)
constexpr std::array<uint32_t, kMaxSuffix> kPowers = {1u, 43u, 1849u, 79507u, 3418801u, 147008443u};

constexpr const char *kReversalPrefixes[kReversalPrefixCount] = {
    "",  "Ind", "con", "ID_", "IDH", "KEY", "ID", "cn", "A", "B", "C", "D", "E", "F", "G", "H", "I",
    "J", "K",   "L",   "M",   "N",   "O",   "P",  "Q",  "R", "S", "T", "U", "V", "W", "X", "Y", "Z",
};

}  // namespace

uint8_t HashCharValue(unsigned char c) { return kHashCharValues[c]; }

uint32_t HashBytes(const char *text, size_t length) {
  uint32_t h = 0;
  for (size_t i = 0; i < length; ++i) {
    uint8_t v = kHashCharValues[static_cast<unsigned char>(text[i])];
    if (v != 0) h = h * 43u + v;
  }
  return h;
}

bool CompleteHashString(char *buffer, ContextHash hash) {
  const size_t length = std::strlen(buffer);
  const uint32_t prefixHash = HashBytes(buffer, length);
  const uint32_t target = static_cast<uint32_t>(hash);
  uint32_t scale = 1;  // 43^i, wrapping like the hash itself
  for (int i = 0; i <= kMaxSuffix; ++i, scale *= 43u) {
    uint32_t rest = target - prefixHash * scale;
    // i digits hold values below 43^i, and a leading digit 0 has no
    // character: only a rest of exactly i digits can work.
    if (i < kMaxSuffix && rest >= kPowers[i]) continue;
    char suffix[kMaxSuffix];
    int k = i;
    while (k > 0) {
      char c = kDigitChars[rest % 43u];
      if (c == 0) break;
      suffix[--k] = c;
      rest /= 43u;
    }
    if (k == 0 && rest == 0) {
      std::memcpy(buffer + length, suffix, static_cast<size_t>(i));
      buffer[length + static_cast<size_t>(i)] = '\0';
      return true;
    }
  }
  return false;
}

}  // namespace marlet

using namespace marlet;

extern "C" {

MARLET_EXPORT ContextHash MARLET_API HlpGenerateHashValue(const char *contextString) {
  if (contextString == nullptr) return 0;
  return static_cast<ContextHash>(HashBytes(contextString, std::strlen(contextString)));
}

MARLET_EXPORT int32_t MARLET_API HlpCreateStringForHashValue(ContextHash hash, char *buffer) {
  if (buffer == nullptr) return 0;
  for (const char *prefix : kReversalPrefixes) {
    std::strcpy(buffer, prefix);
    if (CompleteHashString(buffer, hash)) return 1;
  }
  // No prefix leads to the hash: leave an empty string rather than the
  // scratch of the last attempt.
  buffer[0] = '\0';
  return 0;
}

}  // extern "C"
