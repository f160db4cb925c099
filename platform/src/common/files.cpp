// The library's file access: one replaceable set of operations.
#include <quillon/platform.h>

#include <atomic>
#include <cstdlib>

namespace quillon_platform {
const QuillonFileOps &SystemFileOps();  // files_posix.cpp / files_windows.cpp
void *OpenMemoryFile(const char *path, char *fullPath, size_t fullPathSize,
                     const QuillonFileOps **ops);  // memory_files.cpp
}

namespace {

std::atomic<const QuillonFileOps *> g_ops{nullptr};

const QuillonFileOps &CurrentOps() {
  const QuillonFileOps *ops = g_ops.load(std::memory_order_acquire);
  return ops != nullptr ? *ops : quillon_platform::SystemFileOps();
}

}  // namespace

// An open file remembers the operations it was opened with.
struct QuillonFile {
  QuillonFileOps ops;
  void *handle;
};

extern "C" {

void QuillonSetFileOps(const QuillonFileOps *ops) { g_ops.store(ops, std::memory_order_release); }

QuillonFile *QuillonFileOpen(const char *path, char *fullPath, size_t fullPathSize) {
  if (path == nullptr) return nullptr;
  // A registered memory file first, whatever operations are installed.
  const QuillonFileOps *memoryOps = nullptr;
  void *handle = quillon_platform::OpenMemoryFile(path, fullPath, fullPathSize, &memoryOps);
  const QuillonFileOps &ops = handle != nullptr ? *memoryOps : CurrentOps();
  if (handle == nullptr) handle = ops.open(ops.context, path, fullPath, fullPathSize);
  if (handle == nullptr) return nullptr;
  auto *file = static_cast<QuillonFile *>(std::malloc(sizeof(QuillonFile)));
  if (file == nullptr) {
    ops.close(ops.context, handle);
    return nullptr;
  }
  file->ops = ops;
  file->handle = handle;
  return file;
}

int32_t QuillonFileReadAt(QuillonFile *file, uint64_t offset, void *buffer, uint32_t count) {
  if (file == nullptr) return -1;
  if (count == 0) return 0;
  return file->ops.readAt(file->ops.context, file->handle, offset, buffer, count);
}

void QuillonFileClose(QuillonFile *file) {
  if (file == nullptr) return;
  file->ops.close(file->ops.context, file->handle);
  std::free(file);
}

}  // extern "C"
