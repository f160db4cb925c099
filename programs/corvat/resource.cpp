// The dialog template of corvat (resource 201) and the program's run.
#include <cstdio>

#include "corvat.h"

namespace corvat {

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kLabel = kChild | SS_LEFT | WS_GROUP;
constexpr DWORD kEdit = kChild | ES_LEFT | WS_BORDER | WS_TABSTOP;

// Positions and sizes in dialog units: x, y, width, height.
constexpr QuillonDialogItem kItems[] = {
    {IDC_STATIC, QUILLON_CLASS_STATIC, "Context Id", 3, 9, 40, 8, kLabel},
    {kContextEdit, QUILLON_CLASS_EDIT, "", 66, 8, 98, 12, kEdit},
    {IDC_STATIC, QUILLON_CLASS_STATIC, "Hash-Value in Hex", 3, 25, 66, 8, kLabel},
    {kHashText, QUILLON_CLASS_STATIC, "", 66, 25, 60, 8, kLabel},
    {IDC_STATIC, QUILLON_CLASS_STATIC, "presumption", 3, 42, 52, 8, kLabel},
    {kPresumptionEdit, QUILLON_CLASS_EDIT, "", 66, 40, 98, 12, kEdit},
    {IDC_STATIC, QUILLON_CLASS_STATIC, "Regenerated Hashcode", 3, 63, 62, 18, kLabel},
    {kRegeneratedText, QUILLON_CLASS_STATIC, "", 66, 64, 138, 8, kLabel},
    {IDOK, QUILLON_CLASS_BUTTON, "OK", 169, 6, 50, 14, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP},
    {IDCANCEL, QUILLON_CLASS_BUTTON, "Cancel", 169, 24, 50, 14, kChild | BS_PUSHBUTTON | WS_TABSTOP},
    {kHelpButton, QUILLON_CLASS_BUTTON, "&Help", 169, 43, 50, 14, kChild | BS_PUSHBUTTON | WS_TABSTOP},
};

constexpr QuillonDialogTemplate kDialog = {
    "Recompute Context Id",
    WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
    "MS Sans Serif",
    8,
    6,
    15,
    220,
    81,
    kItems,
    static_cast<int>(sizeof kItems / sizeof kItems[0]),
};

}  // namespace

int Run() {
  QuillonAddDialogResource(kDialogResource, &kDialog);
  INT_PTR result = DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kDialogResource), nullptr, CorvatDlg, 0);
  if (result == -1) {
    std::fprintf(stderr, "corvat: the dialog cannot be shown: it needs a terminal\n");
    return 1;
  }
  return 0;
}

}  // namespace corvat
