// Prints what the platform's formatter, MulDiv and lstrcmpiA give for the
// cases the library depends on, one line each, so that a run on Windows (the
// system's shlwapi, user32 and kernel32) can be compared byte for byte with a
// run of the same program on a POSIX system (our stand-ins).
//
//   platform_cases          the formatter and MulDiv: must be equal
//   platform_cases --order  lstrcmpiA: the system's compares by its locale,
//                           ours by ASCII; differences are shown, not wrong
//
// Output goes through fwrite in binary mode, so that nothing is translated.
#include <quillon/platform.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace {

void Line(const std::string &text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

// Shows control characters and 8-bit bytes, so that a line stays a line.
std::string Visible(const char *text, int length) {
  std::string out;
  for (int i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c >= 0x7F || c == '\\') {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// The result of one call: its return value and the buffer up to the
// terminator.  The buffer is filled with '#' first, so that a missing
// terminator or a write behind it shows.  When the text fills the buffer
// (cut short, or exactly filling it), the system's wnsprintfA returns -1 and
// ours the number of characters written; the library looks at the result
// only where the text has room, so there the result is not shown.
template <typename... Args>
void Format(const char *label, int size, const char *format, Args... args) {
  char buffer[64];
  std::memset(buffer, '#', sizeof buffer);
  int result = wnsprintfA(buffer, size, format, args...);
  const char *end = static_cast<const char *>(std::memchr(buffer, '\0', sizeof buffer));
  int length = end != nullptr ? static_cast<int>(end - buffer) : static_cast<int>(sizeof buffer);
  char head[96];
  if (length >= size - 1)
    std::snprintf(head, sizeof head, "%s size=%d result=(filled) text=", label, size);
  else
    std::snprintf(head, sizeof head, "%s size=%d result=%d text=", label, size, result);
  Line(head + Visible(buffer, length) + (end != nullptr ? "" : " (no terminator)"));
}

// As the RTF control texts are made: through the va_list form.
int Vformat(char *buffer, int size, const char *format, ...) {
  va_list args;
  va_start(args, format);
  int n = wvnsprintfA(buffer, size, format, args);
  va_end(args);
  return n;
}

void Formatter() {
  // Font table, colour table and font changes.
  Format("font", 64, "{\\f%d\\f%s %s;}\n", 3, "swiss", "Arial");
  Format("font-8bit", 64, "{\\f%d\\f%s %s;}\n", 0, "roman", "Times \xe9\xff");
  Format("colour", 64, "\\red%u\\green%u\\blue%u;\n", 255u, 0u, 128u);
  Format("fontchange", 64, "\\f%d\\cf%d\\fs%d%s%s%s", 12, 12, 20, "\\b", "", "\\i");
  Format("fonttext", 64, "%s ", "\\f1\\fs20");
  Format("fonttext-empty", 64, "%s ", "");
  // Pictures, embedded windows, borders, tables.
  Format("bitmap30", 64, "{bm%c bm%u}", 'c', 7u);
  Format("bitmap31", 64, "{bm%c |bm%u}", 'l', 65534u);
  Format("ewindow", 64, "\\{ew%c ", 'r');
  Format("border", 64, "\\brdrr%s", "\\brdrs");
  Format("trgaph", 64, "\\trgaph%d0", -12);
  Format("trleft", 64, "\\trleft%d0", 0);
  Format("cellx", 64, "\\cellx%d", INT_MAX);
  Format("cellx-min", 64, "\\cellx%d", INT_MIN);
  Format("cellx0", 64, "\\cellx%d0", -1);
  // Internal file names, keyword events, the viewer's command line, corvat.
  Format("tree", 16, "|%sWBTREE", "K");
  Format("data", 16, "|%sWDATA", "0K");
  Format("letter", 4, "%c", 'Z');
  Format("digit", 4, "%dK", 8);
  Format("keyword", 64, "%s\t", "A");
  Format("command", 64, " -i%s %s", "ctx_12", "C:\\HELP\\FILE.HLP");
  Format("command-empty", 64, " -i%s %s", "", "file.hlp");
  Format("hash", 16, "0x%08x", 0u);
  Format("hash-high", 16, "0x%08x", 0xFFFFFFFFu);
  Format("hash-short", 16, "0x%08x", 0xABCu);
  Format("percent", 16, "100%%");
  // Cut short: the room the buffer has, always terminated.
  Format("cut", 8, "|%sWBTREE", "K");
  Format("cut-literal", 5, "abcdefgh");
  Format("cut-one", 1, "abc");
  Format("exact", 8, "%s", "abcdefg");
  // The va_list form, as for RTF control texts.
  char buffer[64];
  int n = Vformat(buffer, sizeof buffer, "\\trgaph%d0\\trleft%d0", 108, -5);
  Line("vformat result=" + std::to_string(n) + " text=" + Visible(buffer, n));
  // wsprintfA, as corvat shows the hash.
  char hex[16];
  n = wsprintfA(hex, "0x%08x", 0x1234ABCDu);
  Line("wsprintf result=" + std::to_string(n) + " text=" + Visible(hex, n));
}

void Arithmetic() {
  // Table column widths are scaled with MulDiv; rounding and overflow.
  const int cases[][3] = {{100, 3, 32767},   {32767, 32767, 32767}, {5, 1, 2},      {-5, 1, 2},
                          {7, 3, 2},         {-7, 3, 2},            {1, 1, 0},      {INT_MAX, 2, 1},
                          {INT_MIN, 1, -1},  {INT_MAX, INT_MAX, INT_MAX}, {0, 5, 3}, {1000, -1, 3}};
  for (const auto &c : cases)
    Line("MulDiv(" + std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]) +
         ")=" + std::to_string(MulDiv(c[0], c[1], c[2])));
}

void Order() {
  // Keyword indexes are ordered by lstrcmpiA.
  const char *words[] = {"apple", "Apple", "APPLE", "apples", "_under", "under", "co-op", "coop", "it's",
                         "its",   "1st",   "Zebra", "[bracket", "caf\xe9", "cafe", "cafz", "\xe4rger",
                         "zz",    "",      "a b",   "ab",   "~tilde", "a_b", "a-b"};
  const int count = static_cast<int>(sizeof words / sizeof words[0]);
  for (int i = 0; i < count; ++i)
    for (int j = 0; j < count; ++j) {
      int order = lstrcmpiA(words[i], words[j]);
      Line("lstrcmpiA(\"" + Visible(words[i], static_cast<int>(std::strlen(words[i]))) + "\",\"" +
           Visible(words[j], static_cast<int>(std::strlen(words[j]))) + "\")" +
           (order < 0 ? "<0" : order > 0 ? ">0" : "=0"));
    }
}

}  // namespace

int main(int argc, char **argv) {
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  if (argc > 1 && std::strcmp(argv[1], "--order") == 0) {
    Order();
  } else {
    Formatter();
    Arithmetic();
  }
  return 0;
}
