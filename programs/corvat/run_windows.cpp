// The program's run on Windows: the system's dialog manager shows the
// template of corvat.rc, linked into the program as resource 201.
#include "corvat.h"

namespace corvat {

int Run() {
  INT_PTR result =
      DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kDialogResource), nullptr, CorvatDlg, 0);
  if (result == -1) {
    MessageBoxA(nullptr, "The dialog cannot be shown.", "corvat", MB_OK | MB_ICONHAND);
    return 1;
  }
  return 0;
}

}  // namespace corvat
