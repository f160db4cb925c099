// Owners of the platform's movable global memory, in which pictures and
// hotspot lists cross the interface.
#pragma once

#include <quillon/platform.h>

#include <cstddef>
#include <cstdint>

namespace marlet {

// The largest block the picture conversion asks for: what a 32-bit process
// could ever hold, and what the 32-bit size fields of a DIB can describe.  A
// larger request is treated as memory that cannot be had.
inline constexpr uint64_t kLargestBlock = 0x7FFFFFFF;

// A movable, zero-initialised block, or null when it cannot be had.
inline HGLOBAL AllocZeroed(uint64_t bytes) {
  if (bytes > kLargestBlock) return nullptr;
  return GlobalAlloc(GHND, static_cast<size_t>(bytes));
}

// Frees its block unless released to a caller.
class OwnedGlobal {
 public:
  explicit OwnedGlobal(HGLOBAL block) : block_(block) {}
  ~OwnedGlobal() {
    if (block_ != nullptr) GlobalFree(block_);
  }
  OwnedGlobal(const OwnedGlobal &) = delete;
  OwnedGlobal &operator=(const OwnedGlobal &) = delete;
  HGLOBAL get() const { return block_; }
  explicit operator bool() const { return block_ != nullptr; }
  HGLOBAL release() {
    HGLOBAL block = block_;
    block_ = nullptr;
    return block;
  }

 private:
  HGLOBAL block_;
};

// Keeps a block locked for its lifetime.  data() is null when the handle is
// null or no block.
class GlobalLockGuard {
 public:
  explicit GlobalLockGuard(HGLOBAL block)
      : block_(block), data_(block != nullptr ? static_cast<uint8_t *>(GlobalLock(block)) : nullptr) {}
  ~GlobalLockGuard() { Unlock(); }
  GlobalLockGuard(const GlobalLockGuard &) = delete;
  GlobalLockGuard &operator=(const GlobalLockGuard &) = delete;
  uint8_t *data() const { return data_; }
  size_t size() const { return data_ != nullptr ? GlobalSize(block_) : 0; }
  void Unlock() {
    if (data_ != nullptr) GlobalUnlock(block_);
    data_ = nullptr;
  }

 private:
  HGLOBAL block_;
  uint8_t *data_;
};

}  // namespace marlet
