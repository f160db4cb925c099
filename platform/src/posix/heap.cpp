// Local heap and movable global memory.
#include <quillon/platform.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" {

HLOCAL LocalAlloc(UINT flags, size_t bytes) {
  if (bytes == 0) bytes = 1;  // a valid, distinct block as the platform gives
  return (flags & LMEM_ZEROINIT) ? std::calloc(1, bytes) : std::malloc(bytes);
}

HLOCAL LocalFree(HLOCAL block) {
  std::free(block);
  return nullptr;
}

}  // extern "C"

// A global memory handle names a control record; the data lives apart from it
// so that GlobalReAlloc can move the data while the handle stays the same.
struct QuillonGlobalBlock {
  static constexpr uint32_t kMagic = 0x474C4F42;  // "GLOB"
  uint32_t magic;
  UINT flags;
  int locks;
  size_t size;
  unsigned char *data;
};

namespace {

QuillonGlobalBlock *Valid(HGLOBAL block) {
  return (block != nullptr && block->magic == QuillonGlobalBlock::kMagic) ? block : nullptr;
}

}  // namespace

extern "C" {

HGLOBAL GlobalAlloc(UINT flags, size_t bytes) {
  if (bytes == SIZE_MAX) return nullptr;  // no room for the spare byte below
  auto *block = static_cast<QuillonGlobalBlock *>(std::malloc(sizeof(QuillonGlobalBlock)));
  if (block == nullptr) return nullptr;
  // One spare byte keeps a zero-sized block addressable.
  block->data = static_cast<unsigned char *>((flags & GMEM_ZEROINIT) ? std::calloc(1, bytes + 1)
                                                                      : std::malloc(bytes + 1));
  if (block->data == nullptr) {
    std::free(block);
    return nullptr;
  }
  block->magic = QuillonGlobalBlock::kMagic;
  block->flags = flags;
  block->locks = 0;
  block->size = bytes;
  return block;
}

LPVOID GlobalLock(HGLOBAL handle) {
  QuillonGlobalBlock *block = Valid(handle);
  if (block == nullptr) return nullptr;
  ++block->locks;
  return block->data;
}

BOOL GlobalUnlock(HGLOBAL handle) {
  QuillonGlobalBlock *block = Valid(handle);
  if (block == nullptr || block->locks == 0) return FALSE;
  --block->locks;
  return block->locks > 0 ? TRUE : FALSE;
}

HGLOBAL GlobalReAlloc(HGLOBAL handle, size_t bytes, UINT flags) {
  QuillonGlobalBlock *block = Valid(handle);
  if (block == nullptr || bytes == SIZE_MAX) return nullptr;
  // A locked block moves only when the caller allows it with GMEM_MOVEABLE,
  // so that pointers from GlobalLock stay valid: it shrinks in place, and
  // cannot grow.
  if (block->locks > 0 && (flags & GMEM_MOVEABLE) == 0) {
    if (bytes > block->size) return nullptr;
    block->size = bytes;
    return block;
  }
  auto *data = static_cast<unsigned char *>(std::realloc(block->data, bytes + 1));
  if (data == nullptr) return nullptr;
  if (bytes > block->size && ((flags | block->flags) & GMEM_ZEROINIT))
    std::memset(data + block->size, 0, bytes - block->size + 1);
  block->data = data;
  block->size = bytes;
  return block;
}

size_t GlobalSize(HGLOBAL handle) {
  QuillonGlobalBlock *block = Valid(handle);
  return block != nullptr ? block->size : 0;
}

HGLOBAL GlobalFree(HGLOBAL handle) {
  QuillonGlobalBlock *block = Valid(handle);
  if (block == nullptr) return handle;
  block->magic = 0;
  std::free(block->data);
  std::free(block);
  return nullptr;
}

}  // extern "C"
