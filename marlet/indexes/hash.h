// The context hash and its reversal, for the other parts of the library.
//
// Help files do not store context strings, only a 32-bit hash of each:
//   h = 0; for every character c with a value v(c) != 0: h = h * 43 + v(c)
// in arithmetic modulo 2^32, where v gives "1".."9" 1..9, "0" 10, "." 12,
// "_" 13 and the letters 17..42 (capitals and small letters alike).  Every
// other byte has the value 0 and is dropped as if it were not there.
#pragma once

#include <marlet/marlet.h>

#include <cstdint>

namespace marlet {

// The value of one character in the hash: 0 for the characters the hash
// drops.
uint8_t HashCharValue(unsigned char c);

// The hash of the first `length` bytes of text (no terminator needed).
uint32_t HashBytes(const char *text, size_t length);

// buffer holds a zero-terminated prefix; appends the shortest suffix of small
// letters, digits, "." and "_" that makes the whole string hash to `hash`, and
// returns true.  When no suffix can do it (the difference has a base-43 digit
// that no character stands for), the buffer keeps the prefix alone and the
// result is false.  Writes at most 6 characters and a terminator past the
// prefix.
bool CompleteHashString(char *buffer, ContextHash hash);

// The prefixes that HlpCreateStringForHashValue tries in turn.
inline constexpr int kReversalPrefixCount = 34;

}  // namespace marlet
