// The message box and its replaceable handler.
#include <quillon/platform.h>

#include <atomic>
#include <cstdio>

namespace {

#if defined(_WIN32)
// The system's message box, in the handler's calling convention.
int SystemMessageBox(HWND owner, const char *text, const char *caption, unsigned style) {
  return MessageBoxA(owner, text, caption, style);
}
constexpr QuillonMessageBoxHandler kDefaultHandler = SystemMessageBox;
#else
// With no window system the message goes to standard error and the "user"
// closes the box at once.
int WriteToStandardError(HWND, const char *text, const char *caption, unsigned) {
  std::fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "", text != nullptr ? text : "");
  return IDOK;
}
constexpr QuillonMessageBoxHandler kDefaultHandler = WriteToStandardError;
#endif

std::atomic<QuillonMessageBoxHandler> g_handler{nullptr};

int Show(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  QuillonMessageBoxHandler handler = g_handler.load();
  return (handler != nullptr ? handler : kDefaultHandler)(owner, text, caption, style);
}

}  // namespace

extern "C" {

QuillonMessageBoxHandler QuillonSetMessageBoxHandler(QuillonMessageBoxHandler handler) {
  QuillonMessageBoxHandler previous = g_handler.exchange(handler);
  return previous != nullptr ? previous : kDefaultHandler;
}

#if defined(_WIN32)
int WINAPI QuillonMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  return Show(owner, text, caption, style);
}
#else
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) { return Show(owner, text, caption, style); }
#endif

}  // extern "C"
