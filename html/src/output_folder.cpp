#include "output_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "escape.h"

namespace quillon::html {

namespace {

bool IsSafeComponent(std::string_view name) { return !name.empty() && name.size() <= 80 && SafeName(name) == name; }

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

OutputFolder::~OutputFolder() {
  if (sub_ >= 0) ::close(sub_);
  if (folder_ >= 0) ::close(folder_);
}

bool OutputFolder::Open(const std::string &path, std::string *why) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  folder_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder_ < 0) {
    if (why) *why = std::string("cannot make or open the output folder: ") + std::strerror(errno);
    return false;
  }
  path_ = path;
  return true;
}

int OutputFolder::SubFolder(std::string_view name) {
  if (sub_ >= 0 && subName_ == name) return sub_;
  return -1;
}

bool OutputFolder::MakeFolder(std::string_view name) {
  if (folder_ < 0 || !IsSafeComponent(name) || sub_ >= 0) return false;
  std::string n(name);
  if (::mkdirat(folder_, n.c_str(), 0777) != 0 && errno != EEXIST) return false;
  sub_ = ::openat(folder_, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (sub_ < 0) return false;
  subName_ = n;
  return true;
}

bool OutputFolder::Write(std::string_view relative, std::string_view bytes) {
  int dir = folder_;
  size_t slash = relative.find('/');
  if (slash != std::string_view::npos) {
    dir = SubFolder(relative.substr(0, slash));
    relative.remove_prefix(slash + 1);
  }
  if (dir < 0 || !IsSafeComponent(relative)) {
    ++failures_;
    return false;
  }
  std::string name(relative);
  // A file already there is written over in place and cut to its new length:
  // emptying it first would free all its blocks to allocate them again,
  // which costs a discard per file on file systems mounted with discard.  A
  // file with other links (a hard link planted in the folder) is replaced by
  // a new one instead, so that nothing outside the folder changes; symbolic
  // links are never followed.
  // (O_NONBLOCK: a FIFO planted there must not hold the writer up.)
  int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  struct stat status{};
  bool replace = fd < 0 && (errno == ELOOP || errno == ENXIO);  // a symbolic link, a FIFO
  if (fd >= 0 && (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink > 1)) {
    ::close(fd);
    fd = -1;
    replace = true;
  }
  if (replace && ::unlinkat(dir, name.c_str(), 0) == 0) {
    fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    status.st_size = 0;
  }
  if (fd < 0) {
    ++failures_;
    return false;
  }
  bool ok = WriteAll(fd, bytes);
  if (ok && static_cast<uint64_t>(status.st_size) > bytes.size())
    ok = ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
  if (::close(fd) != 0) ok = false;
  if (!ok) ++failures_;
  else ++written_;
  return ok;
}

}  // namespace quillon::html
