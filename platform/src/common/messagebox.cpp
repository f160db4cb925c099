// The message box and its replaceable handler.
#include <quillon/platform.h>

#include <atomic>
#include <cstdio>

namespace {

// With no window system the message goes to standard error and the "user"
// closes the box at once.
int WriteToStandardError(HWND, const char *text, const char *caption, unsigned) {
  std::fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "", text != nullptr ? text : "");
  return IDOK;
}

std::atomic<QuillonMessageBoxHandler> g_handler{nullptr};

}  // namespace

extern "C" {

QuillonMessageBoxHandler QuillonSetMessageBoxHandler(QuillonMessageBoxHandler handler) {
  QuillonMessageBoxHandler previous = g_handler.exchange(handler);
  return previous != nullptr ? previous : WriteToStandardError;
}

#if !defined(_WIN32)
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  QuillonMessageBoxHandler handler = g_handler.load();
  return (handler != nullptr ? handler : WriteToStandardError)(owner, text, caption, style);
}
#endif

}  // extern "C"
