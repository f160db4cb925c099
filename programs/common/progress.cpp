#include "common/progress.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdio>

namespace programs {

namespace {

#if defined(_WIN32)
bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
#else
bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }
#endif

}  // namespace

Progress::Progress(const char *program, size_t total)
    : program_(program), total_(total), shown_(StandardErrorIsTerminal()) {}

Progress::~Progress() {
  if (shown_ && drawn_) std::fprintf(stderr, "\r%*s\r", 40, "");
}

void Progress::Draw() {
  auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  drawn_ = true;
  std::fprintf(stderr, "\r%s: topic %zu of %zu", program_, done_, total_);
}

}  // namespace programs
