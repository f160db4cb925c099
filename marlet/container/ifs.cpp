// Opening a help file, and its internal files.
#include "container/ifs.h"

namespace marlet {

int32_t ContainerRead(IfsHandle container, uint64_t offset, void *buffer, uint32_t count) {
  return QuillonFileReadAt(container->file, offset, buffer, count);
}

BTreeSource DirectorySource(IfsHandle container) {
  BTreeSource source;
  source.container = container;
  source.firstPage = static_cast<uint64_t>(container->header.directoryOffset) +
                     kInternalFileHeaderSize + kBTreeHeaderSize;
  source.header = container->directoryHeader;
  source.valid = true;
  return source;
}

uint32_t ReadableSize(IfsFileHandle file) {
  if (file == nullptr) return 0;
  // Whether the first n bytes of the file lie in the help file: files have
  // no holes, so their last byte tells.
  auto holds = [&](uint32_t n) {
    uint8_t byte;
    return n == 0 || ContainerRead(file->container, uint64_t{file->start} + n - 1, &byte, 1) == 1;
  };
  if (holds(file->size)) return file->size;
  uint32_t low = 0, high = file->size;  // holds(low), not holds(high)
  while (high - low > 1) {
    uint32_t middle = low + (high - low) / 2;
    (holds(middle) ? low : high) = middle;
  }
  return low;
}

}  // namespace marlet

using namespace marlet;

extern "C" {

MARLET_EXPORT IfsHandle MARLET_API IFSOpen(const char *fileName) {
  if (fileName == nullptr) return nullptr;
  LocalPtr<IfsHandleRecord> handle(LocalZeroed<IfsHandleRecord>(sizeof(IfsHandleRecord)));
  if (!handle) return nullptr;
  OpenFileRecord &record = handle->openFileRecord;
  record.cBytes = sizeof(OpenFileRecord);
  handle->file = QuillonFileOpen(fileName, record.szPathName, sizeof record.szPathName);
  if (handle->file == nullptr) return nullptr;

  uint8_t raw[kContainerHeaderSize];
  uint8_t tree[kBTreeHeaderSize];
  bool ok = QuillonFileReadAt(handle->file, 0, raw, sizeof raw) == static_cast<int32_t>(sizeof raw);
  if (ok) {
    handle->header = {LoadU32(raw), LoadU32(raw + 4), LoadU32(raw + 8), LoadU32(raw + 12)};
    ok = handle->header.magic == kContainerMagic;
  }
  if (ok) {
    // Past the directory's InternalFileHeader, which is not read.
    uint64_t at = static_cast<uint64_t>(handle->header.directoryOffset) + kInternalFileHeaderSize;
    ok = QuillonFileReadAt(handle->file, at, tree, sizeof tree) == static_cast<int32_t>(sizeof tree);
  }
  if (!ok) {
    QuillonFileClose(handle->file);
    return nullptr;
  }
  handle->directoryHeader = ParseBTreeHeader(tree);
  return handle.release();
}

MARLET_EXPORT void MARLET_API IFSClose(IfsHandle container) {
  if (container == nullptr) return;
  QuillonFileClose(container->file);
  LocalFree(container);
}

MARLET_EXPORT IfsFileHandle MARLET_API IFSOpenFile(IfsHandle container, const char *name) {
  if (container == nullptr || name == nullptr) return nullptr;
  uint32_t offset = 0;
  BTreeFind(DirectorySource(container), kDirectoryTree, SoughtKey{0, name},
            [&](const LeafEntry &entry) { offset = LoadU32(entry.data.data()); });
  if (offset == 0) return nullptr;

  LocalPtr<IfsFileHandleRecord> file(LocalZeroed<IfsFileHandleRecord>(sizeof(IfsFileHandleRecord)));
  if (!file) return nullptr;
  uint8_t header[kInternalFileHeaderSize];
  if (ContainerRead(container, offset, header, sizeof header) != static_cast<int32_t>(sizeof header))
    return nullptr;
  file->container = container;
  file->start = offset + kInternalFileHeaderSize;
  if (file->start < offset) return nullptr;  // a header at the very end of the 32-bit range
  file->size = LoadU32(header + 4);
  file->position = 0;
  return file.release();
}

MARLET_EXPORT void MARLET_API IFSCloseFile(IfsFileHandle file) {
  if (file != nullptr) LocalFree(file);
}

MARLET_EXPORT uint32_t MARLET_API IFSSeekFile(IfsFileHandle file, int32_t offset, int32_t origin) {
  if (file == nullptr) return 0;
  uint32_t delta = static_cast<uint32_t>(offset);
  switch (origin) {
    case 0: file->position = delta; break;
    case 1: file->position += delta; break;
    case 2: file->position = file->size + delta; break;
    default: break;
  }
  return file->position;
}

MARLET_EXPORT int32_t MARLET_API IFSReadFile(IfsFileHandle file, void *buffer, uint32_t count) {
  if (file == nullptr || buffer == nullptr) return -1;
  if (file->position >= file->size) return 0;
  if (count > file->size - file->position) count = file->size - file->position;
  // The result is a signed 32-bit count: at most 2 GiB in one call.
  if (count > INT32_MAX) count = INT32_MAX;
  int32_t read = ContainerRead(file->container, static_cast<uint64_t>(file->start) + file->position,
                               buffer, count);
  if (read < 0) return -1;
  file->position += static_cast<uint32_t>(read);
  return read;
}

MARLET_EXPORT void MARLET_API IFSEnumerateFiles(IfsHandle container, FileEnumCallback callback,
                                                MarletUserData userData) {
  if (container == nullptr || callback == nullptr) return;
  WalkOptions options;
  options.onFailedPage = OnFailedPage::Skip;
  BTreeWalk(DirectorySource(container), kDirectoryTree, options, [&](const LeafEntry &entry) {
    callback(entry.Text(), LoadI32(entry.data.data()), userData);
    return true;  // the callback cannot stop the listing
  });
}

}  // extern "C"
