// A progress line on standard error ("hlp2rtf: topic 12 of 340"), drawn only
// when standard error is a terminal and at most ten times a second, and
// wiped when the work is done.
#pragma once

#include <chrono>
#include <cstddef>

namespace programs {

class Progress {
 public:
  Progress(const char *program, size_t total);
  ~Progress();
  Progress(const Progress &) = delete;
  Progress &operator=(const Progress &) = delete;

  void Topic() {
    ++done_;
    if (shown_) Draw();
  }

 private:
  void Draw();

  const char *program_;
  size_t total_, done_ = 0;
  bool shown_, drawn_ = false;
  std::chrono::steady_clock::time_point last_;
};

}  // namespace programs
