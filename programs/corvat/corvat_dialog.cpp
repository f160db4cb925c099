// The dialog procedure of corvat and its copy of the hash completion.
//
// Control 1001 holds the context string and 1002 shows its hash; 1003 holds
// the presumption and 1004 the regenerated string: the presumption completed
// with a suffix that gives the hash of 1001, or, when no suffix can, the
// string the library makes up for that hash.  Every change of 1001 updates
// both, every change of 1003 the regenerated string.
#include <cstdint>
#include <cstring>

#include "corvat.h"

namespace corvat {

namespace {

// A context string p followed by i characters x hashes to
// h(p) * 43^i + h(x) (mod 2^32), every character of x having a non-zero
// value.  So x is the base-43 numeral of t - h(p) * 43^i with i digits,
// written in the characters whose values the digits are; it exists only when
// no digit is one that no character has (0, 11, 14, 15, 16).  A 32-bit value
// has at most 6 base-43 digits (43^6 > 2^32): a longer suffix would need a
// leading 0.
constexpr int kMaxSuffix = 6;

// The character of a base-43 digit, 0 for the digits no character has.
// Letters come back small.
char DigitChar(uint32_t digit) {
  if (digit >= 17) return static_cast<char>(digit + 80);  // 'a' (17) .. 'z' (42)
  if (digit >= 1 && digit <= 9) return static_cast<char>('0' + digit);
  switch (digit) {
    case 10:
      return '0';
    case 12:
      return '.';
    case 13:
      return '_';
    default:
      return 0;
  }
}

// The work buffer: any text the dialog reads, plus the longest suffix.
constexpr size_t kWorkSize = kTextSize + kMaxSuffix;

void ShowHash(HWND dialog) {
  char text[kTextSize];
  GetDlgItemTextA(dialog, kContextEdit, text, kTextSize);
  char hex[16];
  wsprintfA(hex, "0x%08x", HlpGenerateHashValue(text));
  SetDlgItemTextA(dialog, kHashText, hex);
}

void Regenerate(HWND dialog) {
  char text[kTextSize];
  GetDlgItemTextA(dialog, kContextEdit, text, kTextSize);
  const ContextHash target = HlpGenerateHashValue(text);
  char work[kWorkSize];
  GetDlgItemTextA(dialog, kPresumptionEdit, work, kTextSize);
  CompleteHashString(work, sizeof work, target);
  // No completion: the library's own string for the hash, which does not
  // begin with the presumption.
  if (HlpGenerateHashValue(work) != target) HlpCreateStringForHashValue(target, work);
  SetDlgItemTextA(dialog, kRegeneratedText, work);
}

}  // namespace

bool CompleteHashString(char *buffer, size_t capacity, ContextHash hash) {
  const size_t length = std::strlen(buffer);
  const uint32_t prefixHash = static_cast<uint32_t>(HlpGenerateHashValue(buffer));
  const uint32_t target = static_cast<uint32_t>(hash);
  uint32_t scale = 1;  // 43^i, wrapping like the hash
  for (int i = 0; i <= kMaxSuffix; ++i, scale *= 43u) {
    uint32_t rest = target - prefixHash * scale;
    char suffix[kMaxSuffix];
    int k = i;
    for (; k > 0; --k) {
      char c = DigitChar(rest % 43u);
      if (c == 0) break;
      suffix[k - 1] = c;
      rest /= 43u;
    }
    if (k > 0 || rest != 0) continue;
    if (length + static_cast<size_t>(i) + 1 > capacity) return false;
    std::memcpy(buffer + length, suffix, static_cast<size_t>(i));
    buffer[length + static_cast<size_t>(i)] = '\0';
    return true;
  }
  return false;
}

}  // namespace corvat

using namespace corvat;

extern "C" {

// Returns 0 for every message, WM_INITDIALOG included, so the dialog manager
// gives no control the focus.
INT_PTR CALLBACK CorvatDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message != WM_COMMAND) return 0;
  switch (LOWORD(wParam)) {
    case IDOK:
    case IDCANCEL:
      // OK, Cancel, Enter and Escape: the whole wParam is the result.
      EndDialog(dialog, static_cast<INT_PTR>(wParam));
      break;
    case kContextEdit:
      if (HIWORD(wParam) == EN_CHANGE) {
        ShowHash(dialog);
        Regenerate(dialog);
      }
      break;
    case kPresumptionEdit:
      if (HIWORD(wParam) == EN_CHANGE) Regenerate(dialog);
      break;
    default:  // Help, and every other id: nothing
      break;
  }
  return 0;
}

}  // extern "C"
