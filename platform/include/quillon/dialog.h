/*
 * Quillon dialog layer: modal dialogs from dialog templates, with the Win32
 * dialog calls that a dialog procedure uses.
 *
 * A program describes its dialog in a template (caption, controls with ids,
 * window classes, texts and positions in dialog units), registers it under a
 * resource id with QuillonAddDialogResource, and shows it with
 * DialogBoxParamA.  The layer keeps the dialog's state (the texts of its
 * controls, the focus, the caret of each edit control) and turns the user's
 * keys into the messages a Win32 dialog procedure gets: WM_INITDIALOG once,
 * then WM_COMMAND with EN_CHANGE for every change of an edit control's text,
 * and with the button's id when a button is pressed (Enter presses the
 * focused or the default button, Escape sends IDCANCEL).
 *
 * What shows the dialog is a front end.  The default one is a terminal user
 * interface on ncurses; QuillonSetDialogFrontEnd installs another, for
 * instance a test that feeds keys with QuillonDialogKey and reads the texts
 * back with GetDlgItemTextA, with no terminal at all.
 *
 * One dialog is shown at a time, on the caller's thread.  Plain C.
 */
#ifndef QUILLON_DIALOG_H
#define QUILLON_DIALOG_H

#include <quillon/platform.h>

#if defined(_WIN32)
#define QUILLON_DIALOG_API
#else
#define QUILLON_DIALOG_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#if !defined(_WIN32)

/* ---- Win32 names ------------------------------------------------------ */

#define CALLBACK
typedef INT_PTR(CALLBACK *DLGPROC)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#define MAKEINTRESOURCEA(id) ((LPSTR)(uintptr_t)(WORD)(id))
#define IS_INTRESOURCE(name) ((((uintptr_t)(name)) >> 16) == 0)
#define LOWORD(value) ((WORD)((uintptr_t)(value)&0xFFFFu))
#define HIWORD(value) ((WORD)((((uintptr_t)(value)) >> 16) & 0xFFFFu))
#define MAKEWPARAM(low, high) ((WPARAM)(DWORD)(((DWORD)(WORD)(low)) | (((DWORD)(WORD)(high)) << 16)))

#define WM_INITDIALOG 0x0110u
#define WM_COMMAND 0x0111u
#define BN_CLICKED 0x0000u
#define EN_CHANGE 0x0300u
#define IDCANCEL 2
#define IDC_STATIC (-1)

/* Window styles. */
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_DISABLED 0x08000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_SYSMENU 0x00080000u
#define WS_GROUP 0x00020000u
#define WS_TABSTOP 0x00010000u
#define DS_SETFONT 0x00000040u
#define DS_MODALFRAME 0x00000080u
/* Class styles: static, button, edit. */
#define SS_LEFT 0x00000000u
#define BS_PUSHBUTTON 0x00000000u
#define BS_DEFPUSHBUTTON 0x00000001u
#define ES_LEFT 0x00000000u

QUILLON_DIALOG_API INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                                           DLGPROC dialogProc, LPARAM initParam);
QUILLON_DIALOG_API BOOL EndDialog(HWND dialog, INT_PTR result);
QUILLON_DIALOG_API HWND GetDlgItem(HWND dialog, int id);
/* Copies at most maxCount - 1 characters and a terminator; the number
 * copied. */
QUILLON_DIALOG_API UINT GetDlgItemTextA(HWND dialog, int id, LPSTR text, int maxCount);
/* Setting an edit control's text sends EN_CHANGE, as Windows does. */
QUILLON_DIALOG_API BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);

#endif /* !_WIN32 */

/* ---- Templates -------------------------------------------------------- */

/* The predefined window classes, by their atoms in a Win32 template. */
#define QUILLON_CLASS_BUTTON 0x0080u
#define QUILLON_CLASS_EDIT 0x0081u
#define QUILLON_CLASS_STATIC 0x0082u

/* Positions and sizes in dialog units: a horizontal unit is a quarter of the
 * dialog font's average character width, a vertical unit an eighth of its
 * height. */
typedef struct QuillonDialogItem {
  int id;           /* IDC_STATIC for controls nobody asks for */
  WORD windowClass; /* QUILLON_CLASS_... */
  const char *text; /* "&" marks the mnemonic letter of a button or label */
  short x, y, cx, cy;
  DWORD style; /* WS_CHILD | WS_VISIBLE | WS_TABSTOP ... and the class's styles */
} QuillonDialogItem;

typedef struct QuillonDialogTemplate {
  const char *caption;
  DWORD style;
  const char *faceName; /* the dialog font; a terminal has one font of its own */
  WORD pointSize;
  short x, y, cx, cy;
  const QuillonDialogItem *items;
  int itemCount;
} QuillonDialogTemplate;

/* Registers a template under a resource id, for DialogBoxParamA with
 * MAKEINTRESOURCEA(id).  A process has one set of dialog resources, so the
 * instance handle given to DialogBoxParamA does not matter.  The template
 * must stay valid while it is registered; null unregisters the id. */
QUILLON_DIALOG_API BOOL QuillonAddDialogResource(int id, const QuillonDialogTemplate *dialogTemplate);

/* ---- Front ends ------------------------------------------------------- */

/* Keys a front end passes to QuillonDialogKey: the byte values 0x20 to 0x7E
 * and 0x80 to 0xFF type that character, the others are these.  */
enum {
  QUILLON_KEY_TAB = 0x100,
  QUILLON_KEY_BACKTAB,
  QUILLON_KEY_ENTER,
  QUILLON_KEY_ESCAPE,
  QUILLON_KEY_BACKSPACE,
  QUILLON_KEY_DELETE,
  QUILLON_KEY_LEFT,
  QUILLON_KEY_RIGHT,
  QUILLON_KEY_HOME,
  QUILLON_KEY_END,
  QUILLON_KEY_ALT = 0x1000 /* | a character: Alt with that letter, a mnemonic */
};

typedef struct QuillonDialogFrontEnd {
  /* Shows the dialog and passes the user's keys to it until
   * QuillonDialogEnded says it has ended.  Returns FALSE when the dialog
   * could not be shown or the input ended first; DialogBoxParamA then
   * returns -1. */
  BOOL (*run)(void *context, HWND dialog);
  void *context;
} QuillonDialogFrontEnd;

/* Installs a front end for the dialogs shown from now on (copied); null
 * restores the terminal. */
QUILLON_DIALOG_API void QuillonSetDialogFrontEnd(const QuillonDialogFrontEnd *frontEnd);

/* A key pressed in the dialog: TRUE when it did something. */
QUILLON_DIALOG_API BOOL QuillonDialogKey(HWND dialog, int key);
/* Each byte of text pressed as a key. */
QUILLON_DIALOG_API void QuillonDialogType(HWND dialog, const char *text);
/* The control that has the keyboard focus, or null. */
QUILLON_DIALOG_API HWND QuillonDialogFocus(HWND dialog);
/* TRUE once EndDialog has been called for the dialog. */
QUILLON_DIALOG_API BOOL QuillonDialogEnded(HWND dialog);

#ifdef __cplusplus
}
#endif

#endif /* QUILLON_DIALOG_H */
