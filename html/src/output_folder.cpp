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
  // A file already there is replaced by a new one, not truncated: a link
  // (hard or symbolic) planted in the folder is broken instead of followed,
  // and the file system does not flush the old file's blocks on close, as
  // ext4 does for a file truncated and written again.
  if (::unlinkat(dir, name.c_str(), 0) != 0 && errno != ENOENT) {
    ++failures_;
    return false;
  }
  int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    ++failures_;
    return false;
  }
  bool ok = WriteAll(fd, bytes);
  if (::close(fd) != 0) ok = false;
  if (!ok) ++failures_;
  else ++written_;
  return ok;
}

}  // namespace quillon::html
