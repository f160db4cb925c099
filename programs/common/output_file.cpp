#include "common/output_file.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace programs {

OutputFile::OutputFile(const char *path) {
#if !defined(_WIN32)
  struct stat info;
  if (::stat(path, &info) == 0 && S_ISREG(info.st_mode)) {
    file_ = std::fopen(path, "r+b");
    inPlace_ = file_ != nullptr;
  }
#endif
  if (file_ == nullptr) file_ = std::fopen(path, "wb");
}

OutputFile::~OutputFile() {
  if (file_ != nullptr) std::fclose(file_);
}

bool OutputFile::Close(uint64_t length) {
  if (file_ == nullptr) return false;
  bool ok = std::fflush(file_) == 0 && std::ferror(file_) == 0;
#if !defined(_WIN32)
  if (inPlace_ && ok) ok = ::ftruncate(::fileno(file_), static_cast<off_t>(length)) == 0;
#else
  (void)length;
#endif
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  return ok;
}

}  // namespace programs
