// A file the programs write anew (hlp2rtf's document and pictures).
//
// A regular file that is there already is written over in place and cut to
// its new length at the end, rather than emptied first: emptying frees all
// its blocks, and writing allocates them again.  On ext4 (mounted with
// discard, as here) the freeing alone cost about half a millisecond per
// file, as much as exporting a small help file, every time a file was
// exported again to the same place.  Anything else (a new file, a device, a
// pipe) is opened as fopen's "wb" opens it.  Either way the file holds
// exactly the bytes written once Close has succeeded; a run that is ended
// before can leave old bytes behind the new ones.
#pragma once

#include <cstdint>
#include <cstdio>

namespace programs {

class OutputFile {
 public:
  explicit OutputFile(const char *path);
  ~OutputFile();  // closes, without cutting the file, if Close was not called
  OutputFile(const OutputFile &) = delete;
  OutputFile &operator=(const OutputFile &) = delete;

  // Null when the file cannot be opened for writing.
  FILE *get() const { return file_; }
  // Cuts the file after its first length bytes (all that was written) and
  // closes it.  False when that, or a write before, failed.
  bool Close(uint64_t length);

 private:
  FILE *file_ = nullptr;
  bool inPlace_ = false;
};

}  // namespace programs
