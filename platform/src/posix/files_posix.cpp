// POSIX files: open(2) read-only and one pread(2) per read.
#include <quillon/platform.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Read-only access.  POSIX has no share modes; that other processes may not
// write the file while we read it cannot be enforced here.
void *OpenRead(void *, const char *path, char *fullPath, size_t fullPathSize) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  if (fullPath != nullptr && fullPathSize > 0) {
    char resolved[PATH_MAX];
    const char *name = ::realpath(path, resolved) != nullptr ? resolved : path;
    lstrcpynA(fullPath, name, static_cast<int>(fullPathSize > INT_MAX ? INT_MAX : fullPathSize));
  }
  return reinterpret_cast<void *>(static_cast<intptr_t>(fd) + 1);  // never null
}

int Descriptor(void *file) { return static_cast<int>(reinterpret_cast<intptr_t>(file) - 1); }

int32_t ReadAt(void *, void *file, uint64_t offset, void *buffer, uint32_t count) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return 0;
  if (count > INT32_MAX) count = INT32_MAX;
  auto *out = static_cast<unsigned char *>(buffer);
  uint32_t done = 0;
  while (done < count) {
    ssize_t n = ::pread(Descriptor(file), out + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? static_cast<int32_t>(done) : -1;
    }
    if (n == 0) break;  // end of file
    done += static_cast<uint32_t>(n);
  }
  return static_cast<int32_t>(done);
}

void Close(void *, void *file) { ::close(Descriptor(file)); }

const QuillonFileOps kPosixFiles{OpenRead, ReadAt, Close, nullptr};

}  // namespace

namespace quillon_platform {
const QuillonFileOps &SystemFileOps() { return kPosixFiles; }
}  // namespace quillon_platform
