// An internal file opened for the length of one index call.
#pragma once

#include <marlet/marlet.h>

#include "container/btree.h"

namespace marlet {

class IndexFile {
 public:
  IndexFile(IfsHandle container, const char *name) : file_(IFSOpenFile(container, name)) {}
  ~IndexFile() { IFSCloseFile(file_); }
  IndexFile(const IndexFile &) = delete;
  IndexFile &operator=(const IndexFile &) = delete;

  explicit operator bool() const { return file_ != nullptr; }
  IfsFileHandle get() const { return file_; }
  // The file as a B-tree: its header read from position 0.
  BTreeSource Tree() const { return FileTreeSource(file_); }

 private:
  IfsFileHandle file_;
};

}  // namespace marlet
