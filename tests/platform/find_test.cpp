// The file search stand-in: FindFirstFileA, FindNextFileA, FindClose.
#include <gtest/gtest.h>

#include <quillon/platform.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/help_builder.h"

using fixture::Bytes;
using fixture::TempDir;

namespace {

struct Listing {
  bool found = false;
  std::vector<std::string> names;
  std::vector<DWORD> attributes;
  std::vector<DWORD> sizes;
};

Listing Find(const std::string &pattern) {
  Listing listing;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return listing;
  listing.found = true;
  do {
    listing.names.push_back(data.cFileName);
    listing.attributes.push_back(data.dwFileAttributes);
    listing.sizes.push_back(data.nFileSizeLow);
  } while (FindNextFileA(search, &data));
  EXPECT_FALSE(FindNextFileA(search, &data));  // and stays at the end
  EXPECT_TRUE(FindClose(search));
  return listing;
}

using Names = std::vector<std::string>;

TEST(FindFile, WildcardsMatchWithoutRegardToCase) {
  TempDir dir;
  for (const char *name : {"old.hlp", "NEW.HLP", "Mixed.Hlp", "old.hlp.bak", "a.hl", "b.hlpx", "x.txt", ".hidden.hlp"})
    dir.Write(name, Bytes(3, 0));
  std::filesystem::create_directory(dir.path() + "/sub.hlp");
  const std::string d = dir.path() + "/";
  struct Case {
    const char *pattern;
    Names names;  // sorted without regard to case
  } cases[] = {
      {"*.HLP", {".hidden.hlp", "Mixed.Hlp", "NEW.HLP", "old.hlp", "sub.hlp"}},
      {"*.hlp", {".hidden.hlp", "Mixed.Hlp", "NEW.HLP", "old.hlp", "sub.hlp"}},
      {"???.hlp", {"NEW.HLP", "old.hlp", "sub.hlp"}},
      {"o*", {"old.hlp", "old.hlp.bak"}},
      {"*.hl?", {".hidden.hlp", "Mixed.Hlp", "NEW.HLP", "old.hlp", "sub.hlp"}},
      {"*l*p*", {".hidden.hlp", "b.hlpx", "Mixed.Hlp", "NEW.HLP", "old.hlp", "old.hlp.bak", "sub.hlp"}},
      {"OLD.HLP", {"old.hlp"}},  // no wildcard: the one name, in any case
      {"*", {".hidden.hlp", "a.hl", "b.hlpx", "Mixed.Hlp", "NEW.HLP", "old.hlp", "old.hlp.bak", "sub.hlp", "x.txt"}},
  };
  for (const Case &c : cases) {
    Listing listing = Find(d + c.pattern);
    EXPECT_TRUE(listing.found) << c.pattern;
    EXPECT_EQ(listing.names, c.names) << c.pattern;
  }
  Listing all = Find(d + "*");
  for (size_t i = 0; i < all.names.size(); ++i) {
    bool isDirectory = all.names[i] == "sub.hlp";
    EXPECT_EQ(all.attributes[i], isDirectory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL) << all.names[i];
    if (!isDirectory) {
      EXPECT_EQ(all.sizes[i], 3u);
    }
  }
}

TEST(FindFile, NothingFound) {
  TempDir dir;
  dir.Write("one.hlp", Bytes(1, 0));
  for (const std::string &pattern : {dir.path() + "/*.chm", dir.path() + "/missing/*", dir.path() + "/", std::string("")}) {
    WIN32_FIND_DATAA data;
    EXPECT_EQ(FindFirstFileA(pattern.c_str(), &data), INVALID_HANDLE_VALUE) << pattern;
  }
  WIN32_FIND_DATAA data;
  EXPECT_EQ(FindFirstFileA(nullptr, &data), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(FindNextFileA(INVALID_HANDLE_VALUE, &data));
  EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
}

// Without a directory part the search looks in the current directory; "."
// and ".." are never delivered.
TEST(FindFile, CurrentDirectory) {
  TempDir dir;
  dir.Write("here.hlp", Bytes(1, 0));
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  Listing star = Find("*");
  Listing dots = Find(".*");
  std::filesystem::current_path(previous);
  EXPECT_EQ(star.names, Names{"here.hlp"});
  EXPECT_FALSE(dots.found);
}

}  // namespace
