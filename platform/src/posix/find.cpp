// File search: FindFirstFileA, FindNextFileA and FindClose over a POSIX
// directory.
//
// The pattern is a path whose last component may hold the wildcards "*" (any
// run of characters, also none) and "?" (any one character); the directory
// part before the last "/" is taken as it is.  Names match without regard to
// the case of ASCII letters, as on the platform these calls come from, so
// that *.HLP finds old.hlp.  "." and ".." are never delivered.  The directory
// is read once, at FindFirstFileA, and its matches are delivered sorted
// without regard to case (ties bytewise), so that a listing does not depend
// on the order in which the file system keeps its entries.
#include <quillon/platform.h>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <new>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

struct Found {
  std::string name;
  DWORD attributes;
  uint64_t size;
};

struct Search {
  std::vector<Found> found;
  size_t next = 0;
};

unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

// Wildcard match in linear time: on a mismatch, go back to the last "*" and
// let it swallow one more character.
bool Matches(const char *pattern, const char *name) {
  const char *star = nullptr, *resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || (*pattern != '\0' && Fold(static_cast<unsigned char>(*pattern)) ==
                                                           Fold(static_cast<unsigned char>(*name)))) {
      ++pattern, ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

bool NameOrder(const Found &a, const Found &b) {
  int order = lstrcmpiA(a.name.c_str(), b.name.c_str());
  return order != 0 ? order < 0 : a.name < b.name;
}

void Fill(const Found &found, WIN32_FIND_DATAA *out) {
  std::memset(out, 0, sizeof *out);
  out->dwFileAttributes = found.attributes;
  out->nFileSizeHigh = static_cast<DWORD>(found.size >> 32);
  out->nFileSizeLow = static_cast<DWORD>(found.size);
  lstrcpynA(out->cFileName, found.name.c_str(), MAX_PATH);
}

Search *StartSearch(const char *pattern) {
  const char *slash = std::strrchr(pattern, '/');
  std::string directory = slash == nullptr ? "." : std::string(pattern, slash == pattern ? 1 : slash - pattern);
  const char *wildcard = slash == nullptr ? pattern : slash + 1;

  std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(directory.c_str()), ::closedir);
  if (!dir) return nullptr;
  auto search = std::make_unique<Search>();
  while (const dirent *entry = ::readdir(dir.get())) {
    const char *name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    if (!Matches(wildcard, name)) continue;
    Found found{name, FILE_ATTRIBUTE_NORMAL, 0};
    struct stat info;
    if (::fstatat(::dirfd(dir.get()), name, &info, 0) == 0) {
      if (S_ISDIR(info.st_mode)) found.attributes = FILE_ATTRIBUTE_DIRECTORY;
      else found.size = static_cast<uint64_t>(info.st_size);
    }
    search->found.push_back(std::move(found));
  }
  std::sort(search->found.begin(), search->found.end(), NameOrder);
  return search.release();
}

}  // namespace

extern "C" {

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA *found) {
  if (pattern == nullptr || found == nullptr) return INVALID_HANDLE_VALUE;
  Search *search = nullptr;
  try {
    search = StartSearch(pattern);
  } catch (const std::bad_alloc &) {
    return INVALID_HANDLE_VALUE;
  }
  if (search == nullptr) return INVALID_HANDLE_VALUE;
  if (search->found.empty()) {
    delete search;
    return INVALID_HANDLE_VALUE;
  }
  Fill(search->found[search->next++], found);
  return search;
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA *found) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || found == nullptr) return FALSE;
  auto *search = static_cast<Search *>(handle);
  if (search->next >= search->found.size()) return FALSE;
  Fill(search->found[search->next++], found);
  return TRUE;
}

BOOL FindClose(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return FALSE;
  delete static_cast<Search *>(handle);
  return TRUE;
}

}  // extern "C"
