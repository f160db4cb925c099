#include "harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quillon_fuzz {

namespace {

int Silent(HWND, const char *, const char *, unsigned) { return IDOK; }

}  // namespace

void Fail(const char *what) {
  std::fprintf(stderr, "quillon fuzz: broken promise: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

bool Terminated(const char *text, size_t room) {
  return text != nullptr && std::memchr(text, 0, room) != nullptr;
}

SilentMessages::SilentMessages() : previous_(QuillonSetMessageBoxHandler(Silent)) {}
SilentMessages::~SilentMessages() { QuillonSetMessageBoxHandler(previous_); }

InputFile::InputFile(const uint8_t *data, size_t size) : data_(data), size_(size) {
  ops_ = QuillonFileOps{Open, ReadAt, Close, this};
  QuillonSetFileOps(&ops_);
}

InputFile::~InputFile() {
  QuillonSetFileOps(nullptr);
  Check(open_ == 0, "a help file opened by the library was not closed");
}

void *InputFile::Open(void *context, const char *path, char *fullPath, size_t fullPathSize) {
  auto *self = static_cast<InputFile *>(context);
  if (path == nullptr || std::strcmp(path, kInputName) != 0) return nullptr;
  if (fullPath != nullptr && fullPathSize > 0) lstrcpynA(fullPath, path, static_cast<int>(fullPathSize));
  ++self->open_;
  // Any address that is not null names the one file.
  return self;
}

int32_t InputFile::ReadAt(void *context, void *, uint64_t offset, void *buffer, uint32_t count) {
  auto *self = static_cast<InputFile *>(context);
  Check(buffer != nullptr, "a read into no buffer");
  if (offset >= self->size_) return 0;
  uint64_t n = self->size_ - offset;
  if (n > count) n = count;
  if (n > INT32_MAX) n = INT32_MAX;
  std::memcpy(buffer, self->data_ + offset, static_cast<size_t>(n));
  return static_cast<int32_t>(n);
}

void InputFile::Close(void *context, void *) {
  auto *self = static_cast<InputFile *>(context);
  Check(self->open_ > 0, "a help file closed twice");
  --self->open_;
}

}  // namespace quillon_fuzz
