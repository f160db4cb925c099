// corvat: shows the context hash of a typed context string, and a string
// that begins with a typed guess (the "presumption") and has the same hash.
#pragma once

#include <marlet/marlet.h>
// The dialog calls: on Windows the system's (<windows.h>, through marlet.h),
// elsewhere those of our dialog layer.
#if !defined(_WIN32)
#include <quillon/dialog.h>
#endif

#include <cstddef>

extern "C" {

// The dialog procedure, exported from the program by name.
INT_PTR CALLBACK CorvatDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // extern "C"

namespace corvat {

// The dialog template's resource id and its controls.
inline constexpr int kDialogResource = 201;
inline constexpr int kContextEdit = 1001;
inline constexpr int kHashText = 1002;
inline constexpr int kPresumptionEdit = 1003;
inline constexpr int kRegeneratedText = 1004;
inline constexpr int kHelpButton = 9;

// Texts are read in 200 bytes: 199 characters and the terminator.
inline constexpr int kTextSize = 200;

// The completion step of the context hash, which the library does not
// export: buffer holds a zero-terminated prefix in `capacity` bytes; appends
// the suffix of small letters, digits, "." and "_" that makes the whole
// string hash to `hash`, and returns true.  When there is no such suffix, or
// it does not fit, the buffer keeps the prefix alone and the result is false.
bool CompleteHashString(char *buffer, size_t capacity, ContextHash hash);

// Registers the dialog template and shows the dialog: the program's exit
// code, 0 once the dialog has ended (with OK or Cancel alike), 1 when it
// could not be shown.
int Run();

}  // namespace corvat
