// Test-only: shows a dialog through the dialog layer with no terminal.  The
// script stands in for the user: it presses keys on the dialog's handle and
// reads the controls back.  Header-only, so that only the tests of dialogs
// link the dialog layer.
#pragma once

#include <quillon/dialog.h>

#include <functional>
#include <utility>

namespace fixture {

using DialogScript = std::function<void(HWND dialog)>;

// Installs the script as the front end while it lives; the terminal comes
// back after.
class HeadlessDialogs {
 public:
  explicit HeadlessDialogs(DialogScript script) : script_(std::move(script)) {
    QuillonDialogFrontEnd frontEnd{Run, this};
    QuillonSetDialogFrontEnd(&frontEnd);
  }
  ~HeadlessDialogs() { QuillonSetDialogFrontEnd(nullptr); }
  HeadlessDialogs(const HeadlessDialogs &) = delete;
  HeadlessDialogs &operator=(const HeadlessDialogs &) = delete;
  int runs() const { return runs_; }

 private:
  static BOOL Run(void *context, HWND dialog) {
    auto *self = static_cast<HeadlessDialogs *>(context);
    ++self->runs_;
    self->script_(dialog);
    return QuillonDialogEnded(dialog);
  }
  DialogScript script_;
  int runs_ = 0;
};

// Shows the dialog of a registered template with the script as its user;
// DialogBoxParamA's result.
inline INT_PTR RunDialog(int resource, DLGPROC proc, DialogScript script, LPARAM initParam = 0) {
  HeadlessDialogs dialogs(std::move(script));
  return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(resource), nullptr, proc, initParam);
}

// The text of a control.
inline std::string ItemText(HWND dialog, int id) {
  char text[1024];
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

}  // namespace fixture
