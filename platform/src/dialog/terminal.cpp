// The terminal front end: shows a dialog with ncurses and passes the keys
// typed to the dialog manager until the dialog ends.
//
// The dialog is drawn in the middle of the terminal, with a line of key help
// beneath it, and redrawn after every key, so that what the dialog procedure
// sets in reply to a key shows at once.
#include <curses.h>
#include <quillon/dialog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "dialog/model.h"
#include "dialog/screen.h"

namespace quillon_dialog {

namespace {

// How long a lone Escape waits for the rest of a key sequence, in
// milliseconds: long enough for a terminal's own sequences, short enough that
// Escape feels immediate.
constexpr int kEscapeDelay = 25;

chtype Glyph(const Cell &cell) {
  switch (cell.line) {
    case Line::kHorizontal:
      return ACS_HLINE;
    case Line::kVertical:
      return ACS_VLINE;
    case Line::kUpperLeft:
      return ACS_ULCORNER;
    case Line::kUpperRight:
      return ACS_URCORNER;
    case Line::kLowerLeft:
      return ACS_LLCORNER;
    case Line::kLowerRight:
      return ACS_LRCORNER;
    case Line::kNone:
      break;
  }
  chtype ch = static_cast<unsigned char>(cell.ch);
  if (cell.attributes & kBold) ch |= A_BOLD;
  if (cell.attributes & kReverse) ch |= A_REVERSE;
  if (cell.attributes & kUnderline) ch |= A_UNDERLINE;
  return ch;
}

// A line of key help under the dialog, since a terminal user cannot see
// which keys a dialog takes.
std::string KeyHelp(const Dialog &dialog) {
  std::string enter = "OK";
  for (const Control &control : dialog.controls) {
    if (!control.IsDefaultButton()) continue;
    int mnemonic;
    enter = ShownText(control.text, &mnemonic);
    break;
  }
  return "Tab, Shift-Tab: next, previous field   Enter: " + enter + "   Esc: Cancel";
}

void Draw(const Dialog &dialog) {
  int rows = 0, cols = 0;
  getmaxyx(stdscr, rows, cols);
  if (rows <= 0 || cols <= 0) return;
  Screen screen(cols, rows);
  CellRect box = DialogBox(dialog);
  const int top = std::max(0, (rows - box.height - 2) / 2);
  const int left = std::max(0, (cols - box.width) / 2);
  Render(dialog, screen, top, left);
  const std::string help = KeyHelp(dialog);
  const int helpLeft = std::max(0, left + (box.width - static_cast<int>(help.size())) / 2);
  for (size_t i = 0; i < help.size(); ++i)
    screen.Put(top + box.height + 1, helpLeft + static_cast<int>(i), help[i]);

  erase();
  for (int row = 0; row < rows; ++row)
    for (int col = 0; col < cols; ++col) {
      // The bottom-right cell cannot be written without scrolling.
      if (row == rows - 1 && col == cols - 1) continue;
      mvaddch(row, col, Glyph(screen.At(row, col)));
    }
  if (screen.cursorRow >= 0) {
    curs_set(1);
    move(screen.cursorRow, screen.cursorCol);
  } else {
    curs_set(0);
  }
  refresh();
}

// One key from ncurses as a dialog key; 0 for a key the dialog has no use for.
int DialogKey(int ch) {
  switch (ch) {
    case '\t':
      return QUILLON_KEY_TAB;
    case KEY_BTAB:
      return QUILLON_KEY_BACKTAB;
    case '\r':
    case '\n':
    case KEY_ENTER:
      return QUILLON_KEY_ENTER;
    case KEY_BACKSPACE:
    case 0x7F:
    case 0x08:
      return QUILLON_KEY_BACKSPACE;
    case KEY_DC:
      return QUILLON_KEY_DELETE;
    case KEY_LEFT:
      return QUILLON_KEY_LEFT;
    case KEY_RIGHT:
      return QUILLON_KEY_RIGHT;
    case KEY_HOME:
      return QUILLON_KEY_HOME;
    case KEY_END:
      return QUILLON_KEY_END;
    case 0x1B: {
      // Escape alone, or Alt with the next key (sent as Escape and the key).
      nodelay(stdscr, TRUE);
      int next = getch();
      nodelay(stdscr, FALSE);
      if (next >= 0x20 && next < 0x7F) return QUILLON_KEY_ALT | next;
      if (next != ERR) ungetch(next);
      return QUILLON_KEY_ESCAPE;
    }
    default:
      // Plain ASCII only: without a locale ncurses delivers the bytes of a
      // multi-byte character one by one, and the hash ignores them anyway.
      return ch >= 0x20 && ch < 0x7F ? ch : 0;
  }
}

bool g_running = false;  // ncurses drives one screen at a time

}  // namespace

BOOL RunInTerminal(void *, HWND handle) {
  Dialog *dialog = FromHandle(handle);
  if (dialog == nullptr || g_running || !isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return FALSE;
  // newterm, unlike initscr, reports a terminal it cannot use instead of
  // ending the program.
  SCREEN *terminal = newterm(nullptr, stdout, stdin);
  if (terminal == nullptr) return FALSE;
  g_running = true;
  set_escdelay(kEscapeDelay);
  cbreak();
  noecho();
  nonl();
  intrflush(stdscr, FALSE);
  keypad(stdscr, TRUE);

  while (!dialog->ended) {
    Draw(*dialog);
    int ch = getch();
    if (ch == ERR) {
      if (errno == EINTR) continue;
      break;  // the terminal is gone
    }
    if (ch == KEY_RESIZE) continue;
    if (int key = DialogKey(ch); key != 0) QuillonDialogKey(handle, key);
  }

  endwin();
  delscreen(terminal);
  g_running = false;
  return dialog->ended ? TRUE : FALSE;
}

}  // namespace quillon_dialog
