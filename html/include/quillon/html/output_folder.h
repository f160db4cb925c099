// The output folder: every file a site writes goes through here, by a name
// made of SafeName components, so that nothing lands outside the folder.
// Files are opened without following symbolic links.  Safe to use from
// several threads at once.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

namespace quillon::html {

class OutputFolder {
 public:
  OutputFolder() = default;
  ~OutputFolder();
  OutputFolder(const OutputFolder &) = delete;
  OutputFolder &operator=(const OutputFolder &) = delete;

  // Creates the folder (and its parents) where missing; false and why when it
  // cannot be made or opened.
  bool Open(const std::string &path, std::string *why);
  // A sub-folder, one SafeName component ("pictures").
  bool MakeFolder(std::string_view name);
  // Writes a file: "NAME" or "FOLDER/NAME", each part a SafeName.  Anything
  // else is refused.
  bool Write(std::string_view relative, std::string_view bytes);
  size_t failures() const { return failures_.load(); }
  size_t written() const { return written_.load(); }
  const std::string &path() const { return path_; }

 private:
  int SubFolder(std::string_view name);
  std::string path_;
  int folder_ = -1;
  std::string subName_;
  int sub_ = -1;  // one sub-folder is all a site needs
  std::atomic<size_t> failures_{0};
  std::atomic<size_t> written_{0};
};

}  // namespace quillon::html
