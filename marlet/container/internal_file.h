// What the other layers may ask of an internal file beyond the exports.
#pragma once

#include <marlet/marlet.h>

#include <cstdint>

namespace marlet {

// The bytes of an internal file that the help file really holds: its size
// as its header declares it, cut at the end of the help file.  For the
// loaders that reserve memory by a file's size, which a damaged header can
// make any 32-bit value.  Found by one-byte reads, a binary search of at most
// 33 of them; the file's position does not change.
uint32_t ReadableSize(IfsFileHandle file);

}  // namespace marlet
