// An in-memory help file opened through the library, for tests.
#pragma once

#include <marlet/marlet.h>

#include <string>

#include "support/help_builder.h"

namespace fixture {

// Installs the bytes as an in-memory file and opens it with IFSOpen; closes
// it again at the end of the scope.
class OpenedContainer {
 public:
  explicit OpenedContainer(Bytes bytes, const std::string &name = "memory.hlp") {
    files_.Add(name, std::move(bytes));
    handle_ = IFSOpen(name.c_str());
  }
  ~OpenedContainer() { IFSClose(handle_); }
  OpenedContainer(const OpenedContainer &) = delete;
  OpenedContainer &operator=(const OpenedContainer &) = delete;

  IfsHandle get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  MemoryFiles &files() { return files_; }

 private:
  MemoryFiles files_;
  IfsHandle handle_ = nullptr;
};

// An internal file opened for the length of a scope.
class OpenedFile {
 public:
  OpenedFile(IfsHandle container, const char *name) : file_(IFSOpenFile(container, name)) {}
  ~OpenedFile() { IFSCloseFile(file_); }
  OpenedFile(const OpenedFile &) = delete;
  OpenedFile &operator=(const OpenedFile &) = delete;
  IfsFileHandle get() const { return file_; }
  explicit operator bool() const { return file_ != nullptr; }

 private:
  IfsFileHandle file_;
};

}  // namespace fixture
