// The dialog manager: templates, DialogBoxParamA and the keyboard interface
// of a Win32 dialog.
//
// Keys, as the Win32 dialog manager handles them:
//   Tab, Shift-Tab  focus to the next / previous control with WS_TABSTOP, in
//                   template order, wrapping around; an edit control reached
//                   so has its whole text selected
//   Enter           presses the focused push button, else the default one
//                   (BS_DEFPUSHBUTTON), else sends IDOK
//   Escape          sends IDCANCEL
//   Space           presses the focused push button
//   Alt+letter      the control whose text marks that letter with "&": a
//                   button is pressed, a label moves the focus to the next
//                   control that takes it
//   in an edit control: characters, Backspace, Delete, Left, Right, Home, End
// A press sends WM_COMMAND with the button's id and BN_CLICKED; every change
// of an edit control's text sends WM_COMMAND with its id and EN_CHANGE.
#include <quillon/dialog.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <new>
#include <set>

#include "dialog/model.h"

namespace quillon_dialog {

BOOL RunInTerminal(void *context, HWND dialog);  // terminal.cpp

namespace {

std::map<int, const QuillonDialogTemplate *> &Resources() {
  static std::map<int, const QuillonDialogTemplate *> resources;
  return resources;
}

// The HWNDs of the dialogs shown and of their controls.  A handle is looked
// up here before it is followed, so that one kept beyond its dialog's life
// is refused instead of read.
std::set<const QuillonWindow *> &LiveWindows() {
  static std::set<const QuillonWindow *> windows;
  return windows;
}

void Register(const Dialog &dialog) {
  LiveWindows().insert(&dialog.window);
  for (const Control &control : dialog.controls) LiveWindows().insert(&control.window);
}

void Unregister(const Dialog &dialog) {
  LiveWindows().erase(&dialog.window);
  for (const Control &control : dialog.controls) LiveWindows().erase(&control.window);
}

QuillonDialogFrontEnd g_frontEnd{RunInTerminal, nullptr};

HWND Handle(Dialog &dialog) { return &dialog.window; }
HWND Handle(Control &control) { return &control.window; }

INT_PTR Send(Dialog &dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return dialog.proc != nullptr ? dialog.proc(Handle(dialog), message, wParam, lParam) : 0;
}

void Command(Dialog &dialog, int id, WORD notification, Control *control) {
  Send(dialog, WM_COMMAND, MAKEWPARAM(id, notification),
       control != nullptr ? reinterpret_cast<LPARAM>(Handle(*control)) : 0);
}

Control *FindControl(Dialog &dialog, int id) {
  for (Control &control : dialog.controls)
    if (static_cast<WORD>(control.id) == static_cast<WORD>(id)) return &control;
  return nullptr;
}

Control *Focused(Dialog &dialog) { return dialog.focus >= 0 ? &dialog.controls[dialog.focus] : nullptr; }

void SetFocus(Dialog &dialog, int index) {
  if (Control *old = Focused(dialog)) old->selected = false;
  dialog.focus = index;
  if (Control *now = Focused(dialog); now != nullptr && now->IsEdit()) {
    now->selected = !now->text.empty();
    now->caret = now->text.size();
  }
}

// The next control after `from` (-1: before the first) that takes the focus,
// going forwards or backwards and wrapping; -1 when there is none.
int NextTabStop(const Dialog &dialog, int from, bool forwards) {
  const int count = static_cast<int>(dialog.controls.size());
  for (int step = 1; step <= count; ++step) {
    int i = from < 0 ? (forwards ? step - 1 : count - step)
                     : ((from + (forwards ? step : -step)) % count + count) % count;
    if (dialog.controls[i].TakesFocus()) return i;
  }
  return -1;
}

void Press(Dialog &dialog, Control &button) { Command(dialog, button.id, BN_CLICKED, &button); }

void PressDefault(Dialog &dialog) {
  for (Control &control : dialog.controls)
    if (control.IsDefaultButton()) return Press(dialog, control);
  Command(dialog, IDOK, BN_CLICKED, FindControl(dialog, IDOK));
}

void Changed(Dialog &dialog, Control &edit) { Command(dialog, edit.id, EN_CHANGE, &edit); }

// The keys that type a character: the byte values other than the controls.
bool Typable(int key) { return key >= 0x20 && key < 0x100 && key != 0x7F; }

bool EditKey(Dialog &dialog, Control &edit, int key) {
  std::string &text = edit.text;
  if (edit.selected) {
    edit.selected = false;
    switch (key) {
      case QUILLON_KEY_LEFT:
      case QUILLON_KEY_HOME:
        edit.caret = 0;
        return true;
      case QUILLON_KEY_RIGHT:
      case QUILLON_KEY_END:
        edit.caret = text.size();
        return true;
      case QUILLON_KEY_BACKSPACE:
      case QUILLON_KEY_DELETE:
        text.clear();
        edit.caret = 0;
        Changed(dialog, edit);
        return true;
      default:
        if (Typable(key)) {  // typing replaces the selection
          text.clear();
          edit.caret = 0;
        }
    }
  }
  edit.caret = std::min(edit.caret, text.size());
  switch (key) {
    case QUILLON_KEY_LEFT:
      if (edit.caret > 0) --edit.caret;
      return true;
    case QUILLON_KEY_RIGHT:
      if (edit.caret < text.size()) ++edit.caret;
      return true;
    case QUILLON_KEY_HOME:
      edit.caret = 0;
      return true;
    case QUILLON_KEY_END:
      edit.caret = text.size();
      return true;
    case QUILLON_KEY_BACKSPACE:
      if (edit.caret == 0) return false;
      text.erase(--edit.caret, 1);
      Changed(dialog, edit);
      return true;
    case QUILLON_KEY_DELETE:
      if (edit.caret == text.size()) return false;
      text.erase(edit.caret, 1);
      Changed(dialog, edit);
      return true;
    default:
      if (!Typable(key) || text.size() >= kEditLimit) return false;
      text.insert(edit.caret++, 1, static_cast<char>(key));
      Changed(dialog, edit);
      return true;
  }
}

bool Mnemonic(Dialog &dialog, int letter) {
  const int count = static_cast<int>(dialog.controls.size());
  for (int i = 0; i < count; ++i) {
    Control &control = dialog.controls[i];
    if (control.IsEdit() || !(control.style & WS_VISIBLE) || (control.style & WS_DISABLED)) continue;
    int at = -1;
    std::string shown = ShownText(control.text, &at);
    if (at < 0 || std::tolower(static_cast<unsigned char>(shown[at])) != std::tolower(letter)) continue;
    if (control.IsButton()) {
      SetFocus(dialog, i);
      Press(dialog, control);
    } else if (int next = NextTabStop(dialog, i, true); next >= 0) {
      SetFocus(dialog, next);
    }
    return true;
  }
  return false;
}

bool Key(Dialog &dialog, int key) {
  if (dialog.ended) return false;
  Control *focused = Focused(dialog);
  switch (key) {
    case QUILLON_KEY_TAB:
    case QUILLON_KEY_BACKTAB: {
      int next = NextTabStop(dialog, dialog.focus, key == QUILLON_KEY_TAB);
      if (next < 0) return false;
      SetFocus(dialog, next);
      return true;
    }
    case QUILLON_KEY_ENTER:
      if (focused != nullptr && focused->IsButton())
        Press(dialog, *focused);
      else
        PressDefault(dialog);
      return true;
    case QUILLON_KEY_ESCAPE:
      Command(dialog, IDCANCEL, BN_CLICKED, FindControl(dialog, IDCANCEL));
      return true;
    default:
      break;
  }
  if (key & QUILLON_KEY_ALT) return Mnemonic(dialog, key & 0xFF);
  if (focused == nullptr) return false;
  if (focused->IsButton()) {
    if (key != ' ') return false;
    Press(dialog, *focused);
    return true;
  }
  if (focused->IsEdit()) return EditKey(dialog, *focused, key);
  return false;
}

std::unique_ptr<Dialog> Create(const QuillonDialogTemplate &t, DLGPROC proc) {
  auto dialog = std::make_unique<Dialog>();
  dialog->window = {dialog.get(), -1};
  dialog->caption = t.caption != nullptr ? t.caption : "";
  dialog->style = t.style;
  dialog->x = t.x, dialog->y = t.y, dialog->cx = t.cx, dialog->cy = t.cy;
  dialog->proc = proc;
  dialog->controls.reserve(static_cast<size_t>(std::max(t.itemCount, 0)));
  for (int i = 0; i < t.itemCount; ++i) {
    const QuillonDialogItem &item = t.items[i];
    Control control{{dialog.get(), i}, item.id, item.windowClass,
                    item.style,        item.x,  item.y,
                    item.cx,           item.cy, item.text != nullptr ? item.text : ""};
    dialog->controls.push_back(std::move(control));
  }
  return dialog;
}

}  // namespace

Dialog *FromHandle(HWND handle) { return LiveWindows().count(handle) != 0 ? handle->dialog : nullptr; }

std::string ShownText(const std::string &text, int *mnemonic) {
  std::string shown;
  *mnemonic = -1;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) {
      ++i;
      if (text[i] != '&' && *mnemonic < 0) *mnemonic = static_cast<int>(shown.size());
    }
    shown += text[i];
  }
  return shown;
}

}  // namespace quillon_dialog

using namespace quillon_dialog;

extern "C" {

BOOL QuillonAddDialogResource(int id, const QuillonDialogTemplate *dialogTemplate) {
  try {
    if (dialogTemplate == nullptr)
      Resources().erase(id);
    else
      Resources()[id] = dialogTemplate;
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}

void QuillonSetDialogFrontEnd(const QuillonDialogFrontEnd *frontEnd) {
  g_frontEnd = frontEnd != nullptr && frontEnd->run != nullptr
                   ? *frontEnd
                   : QuillonDialogFrontEnd{RunInTerminal, nullptr};
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND, DLGPROC dialogProc, LPARAM initParam) {
  if (!IS_INTRESOURCE(templateName)) return -1;  // resources are registered by number only
  std::unique_ptr<Dialog> dialog;
  try {
    auto found = Resources().find(LOWORD(templateName));
    if (found == Resources().end()) return -1;
    dialog = Create(*found->second, dialogProc);
    Register(*dialog);
  } catch (...) {
    if (dialog) Unregister(*dialog);
    return -1;
  }
  struct Shown {
    const Dialog &dialog;
    ~Shown() { Unregister(dialog); }
  } shown{*dialog};

  // WM_INITDIALOG names the control that would get the focus; only a
  // non-zero result lets the dialog manager give it the focus.
  int first = NextTabStop(*dialog, -1, true);
  HWND firstHandle = first >= 0 ? &dialog->controls[first].window : nullptr;
  if (Send(*dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstHandle), initParam) != 0 && first >= 0)
    SetFocus(*dialog, first);
  if (!dialog->ended) {
    QuillonDialogFrontEnd frontEnd = g_frontEnd;
    frontEnd.run(frontEnd.context, &dialog->window);
  }
  return dialog->ended ? dialog->result : -1;
}

BOOL EndDialog(HWND handle, INT_PTR result) {
  Dialog *dialog = FromHandle(handle);
  if (dialog == nullptr || handle->index != -1) return FALSE;
  dialog->ended = true;
  dialog->result = result;
  return TRUE;
}

HWND GetDlgItem(HWND handle, int id) {
  Dialog *dialog = FromHandle(handle);
  if (dialog == nullptr) return nullptr;
  Control *control = FindControl(*dialog, id);
  return control != nullptr ? &control->window : nullptr;
}

UINT GetDlgItemTextA(HWND handle, int id, LPSTR text, int maxCount) {
  if (text == nullptr || maxCount <= 0) return 0;
  text[0] = '\0';
  Dialog *dialog = FromHandle(handle);
  Control *control = dialog != nullptr ? FindControl(*dialog, id) : nullptr;
  if (control == nullptr) return 0;
  size_t n = std::min(control->text.size(), static_cast<size_t>(maxCount - 1));
  std::copy_n(control->text.data(), n, text);
  text[n] = '\0';
  return static_cast<UINT>(n);
}

BOOL SetDlgItemTextA(HWND handle, int id, LPCSTR text) {
  Dialog *dialog = FromHandle(handle);
  Control *control = dialog != nullptr ? FindControl(*dialog, id) : nullptr;
  if (control == nullptr) return FALSE;
  try {
    control->text = text != nullptr ? text : "";
  } catch (const std::bad_alloc &) {
    return FALSE;
  }
  control->caret = 0;
  control->selected = false;
  if (control->IsEdit()) Changed(*dialog, *control);
  return TRUE;
}

BOOL QuillonDialogKey(HWND handle, int key) {
  Dialog *dialog = FromHandle(handle);
  if (dialog == nullptr) return FALSE;
  try {
    return Key(*dialog, key) ? TRUE : FALSE;
  } catch (const std::bad_alloc &) {
    return FALSE;
  }
}

void QuillonDialogType(HWND handle, const char *text) {
  if (text == nullptr) return;
  for (; *text != '\0'; ++text) QuillonDialogKey(handle, static_cast<unsigned char>(*text));
}

HWND QuillonDialogFocus(HWND handle) {
  Dialog *dialog = FromHandle(handle);
  Control *focused = dialog != nullptr ? Focused(*dialog) : nullptr;
  return focused != nullptr ? &focused->window : nullptr;
}

BOOL QuillonDialogEnded(HWND handle) {
  Dialog *dialog = FromHandle(handle);
  return dialog != nullptr && dialog->ended ? TRUE : FALSE;
}

}  // extern "C"
