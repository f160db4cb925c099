// The old installers' COMPRESS formats (SZDD: COMPRESS.EXE's output, EXPAND.EXE's
// input; KWAJ: its later variant), expanded in memory with libmspack.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon::collection {

// "SZDD\x88\xF0\x27\x33" or "KWAJ\x88\xF0\x27\xD1" at the start.
bool IsCompressed(std::string_view bytes);

struct Expanded {
  bool ok = false;
  std::string bytes;
  std::string name;  // the name it expands to
  std::string why;
};

// Expands to at most `room` bytes.  name is the compressed file's name: an
// SZDD file keeps the last letter of the name's extension in its header
// (HELP.HL_ becomes HELP.HLP), a KWAJ file may keep the whole name.
Expanded Expand(const std::string &bytes, const std::string &name, uint64_t room);

}  // namespace quillon::collection
