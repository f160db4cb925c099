// The collection's reader: the input as a file of a collection (a help file,
// a compressed file, an archive or disc image with archives inside), every
// file found in it handed over, help containers opened as the catalogue
// opens them.  Small bounds keep one run short; what they cut must fail
// cleanly, not crash.
#include <memory>
#include <string>

#include "harness.h"
#include "quillon/collection/inputs.h"
#include "quillon/collection/library.h"

namespace quillon_fuzz {

int RunCollection(const uint8_t *data, size_t size) {
  using namespace quillon::collection;
  Limits limits;
  limits.entryBytes = 4u << 20;
  limits.totalBytes = 16u << 20;
  limits.depth = 3;
  auto bytes = std::make_shared<const std::string>(reinterpret_cast<const char *>(data), size);
  Catalogue catalogue;
  size_t found = 0;
  ReadInputsFromMemory(bytes, "input.zip", limits, [&](Input &&input) {
    if ((input.kind == Input::Kind::Container || input.kind == Input::Kind::Contents) && input.bytes == nullptr)
      __builtin_trap();  // the reader promises bytes for these
    if (input.bytes && input.bytes->size() > limits.entryBytes) __builtin_trap();
    catalogue.Add(std::move(input));
    return ++found < 64;
  });
  catalogue.Finish();
  if (!Catalogue::FromJson(catalogue.ToJson())) __builtin_trap();
  return 0;
}

}  // namespace quillon_fuzz
