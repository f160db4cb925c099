// Windows files: CreateFileA for reading, others may read but not write (what
// OpenFile's OF_READ | OF_SHARE_DENY_WRITE asks), and one ReadFile at an
// OVERLAPPED offset per read, so no read depends on a file position.
#include <quillon/platform.h>

#include <climits>

namespace {

void *OpenRead(void *, const char *path, char *fullPath, size_t fullPathSize) {
  // A folder cannot be opened this way (that needs FILE_FLAG_BACKUP_SEMANTICS),
  // so, as on POSIX systems, only files open.
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  if (fullPath != nullptr && fullPathSize > 0) {
    char resolved[MAX_PATH];
    DWORD length = GetFullPathNameA(path, MAX_PATH, resolved, nullptr);
    const char *name = (length > 0 && length < MAX_PATH) ? resolved : path;
    lstrcpynA(fullPath, name, static_cast<int>(fullPathSize > INT_MAX ? INT_MAX : fullPathSize));
  }
  return file;  // a handle CreateFileA gives is never null
}

int32_t ReadAt(void *, void *file, uint64_t offset, void *buffer, uint32_t count) {
  if (count > INT32_MAX) count = INT32_MAX;
  auto *out = static_cast<unsigned char *>(buffer);
  uint32_t done = 0;
  // ReadFile on a disk file reads all that is asked unless the end comes
  // first; the loop is for the rare short read that is not the end.
  while (done < count) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset + done);
    at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
    DWORD n = 0;
    if (!ReadFile(static_cast<HANDLE>(file), out + done, count - done, &n, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return done > 0 ? static_cast<int32_t>(done) : -1;
    }
    if (n == 0) break;  // end of file
    done += n;
  }
  return static_cast<int32_t>(done);
}

void Close(void *, void *file) { CloseHandle(static_cast<HANDLE>(file)); }

const QuillonFileOps kWindowsFiles{OpenRead, ReadAt, Close, nullptr};

}  // namespace

namespace quillon_platform {
const QuillonFileOps &SystemFileOps() { return kWindowsFiles; }
}  // namespace quillon_platform
