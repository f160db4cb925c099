// Small pieces the collection's files share.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace quillon::collection {

std::string Lower(std::string_view text);  // ASCII capitals only, as the viewer compared names
bool EndsWithNoCase(std::string_view name, std::string_view suffix);
std::string Sha256(std::string_view bytes);  // in hex

// Bytes registered as a memory file for as long as the object lives, so that
// marlet (and with it HelpFile and WriteSite) opens them by path.  Files still
// open when it goes keep the bytes alive until they close.
class MemoryPath {
 public:
  MemoryPath(std::shared_ptr<const std::string> bytes, const std::string &name);
  ~MemoryPath();
  MemoryPath(const MemoryPath &) = delete;
  MemoryPath &operator=(const MemoryPath &) = delete;
  bool ok() const { return !path_.empty(); }
  const std::string &path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace quillon::collection
