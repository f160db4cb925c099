#include "container/frame.h"

namespace marlet {

char *LocalStrDup(const char *text) {
  size_t length = std::strlen(text);
  auto *copy = static_cast<char *>(LocalAlloc(LMEM_FIXED, length + 1));
  if (copy != nullptr) std::memcpy(copy, text, length + 1);
  return copy;
}

}  // namespace marlet
