// meront: prints the path and the copyright text of every help file that
// matches a wildcard pattern.
#include <marlet/marlet.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The separator of the directory part of a pattern.  On POSIX systems a
// backslash is an ordinary character of a file name.
#if defined(_WIN32)
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// The path of a found file: the pattern's directory part, up to and including
// its last separator, followed by the found name; the name alone when the
// pattern has no directory part.  Built to its full length: directory part
// and name may together exceed MAX_PATH on POSIX systems.
std::string PathOf(const char *pattern, const char *name) {
  const char *separator = std::strrchr(pattern, kSeparator);
  if (separator == nullptr) return name;
  return std::string(pattern, static_cast<size_t>(separator - pattern) + 1) + name;
}

void PrintCopyright(const std::string &path) {
  IfsHandle container = IFSOpen(path.c_str());
  if (container == nullptr) {
    std::printf("%s: Unable to open\n", path.c_str());
    return;
  }
  HelpTitleInfo *info = HlpGetHelpTitle(container);
  if (info == nullptr) {
    std::printf("%s: Obviously no Help-File\n", path.c_str());
  } else {
    std::printf("%s: %s\n", path.c_str(),
                info->copyright != nullptr ? info->copyright : "No copyright entry in this file");
    HlpFreeHelpTitle(info);
  }
  IFSClose(container);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc <= 1) {
    std::printf(
        "MERONT : Simple Example program for Quillon\n"
        "           Lists the Copyright-Strings of all Help-Files matching the given Wildcard\n"
        "USEAGE   : MERONT Wildcards\n"
        "EXAMPLE  : MERONT C:\\WINDOWS\\*.HLP\n");
    return 0;
  }
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(argv[1], &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  do {
    PrintCopyright(PathOf(argv[1], found.cFileName));
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return 0;
}
