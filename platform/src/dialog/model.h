// The state of a dialog that is shown: one record per control, made from the
// template when the dialog is created, and the dialog's focus and result.
// The front ends read it to draw the dialog.
#pragma once

#include <quillon/dialog.h>

#include <memory>
#include <string>
#include <vector>

namespace quillon_dialog {

struct Dialog;

}  // namespace quillon_dialog

// What an HWND points at: the dialog itself (index -1) or one of its
// controls.
struct QuillonWindow {
  quillon_dialog::Dialog *dialog;
  int index;
};

namespace quillon_dialog {

// The most an edit control takes by typing, as Windows edit controls before
// EM_LIMITTEXT.
inline constexpr size_t kEditLimit = 32767;

struct Control {
  QuillonWindow window;
  int id;
  WORD windowClass;
  DWORD style;
  short x, y, cx, cy;
  std::string text;
  // Edit controls: the caret, and whether the whole text is selected (as it
  // is after Tab moves into the control, so that typing replaces it).
  size_t caret = 0;
  bool selected = false;

  bool IsEdit() const { return windowClass == QUILLON_CLASS_EDIT; }
  bool IsButton() const { return windowClass == QUILLON_CLASS_BUTTON; }
  bool IsDefaultButton() const { return IsButton() && (style & 0xFu) == BS_DEFPUSHBUTTON; }
  bool TakesFocus() const { return (style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED); }
};

struct Dialog {
  QuillonWindow window;
  std::string caption;
  DWORD style;
  short x, y, cx, cy;
  // Made once at creation and never resized: the controls' HWNDs point into
  // it.
  std::vector<Control> controls;
  DLGPROC proc;
  int focus = -1;  // index of the focused control, -1 for none
  bool ended = false;
  INT_PTR result = 0;
};

// The dialog behind an HWND of a dialog that is shown, or null.
Dialog *FromHandle(HWND handle);

// The text of a button or label as shown: "&" marks the next character as
// the mnemonic and "&&" stands for "&".  *mnemonic gets the position of the
// marked character in the shown text, or -1.
std::string ShownText(const std::string &text, int *mnemonic);

}  // namespace quillon_dialog
