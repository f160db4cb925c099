// Drawing a dialog into character cells.
#include "dialog/screen.h"

#include <algorithm>

namespace quillon_dialog {

namespace {

// round(units / 3.5) for non-negative units, in integers.
int Columns(int units) { return (units * 2 + 3) / 7; }
int Rows(int units) { return (units + 4) / 8; }

// Breaks text into lines of at most `width` characters at blanks; a word
// longer than a line is cut.
std::vector<std::string> Wrap(const std::string &text, int width) {
  std::vector<std::string> lines;
  if (width <= 0) return lines;
  const size_t limit = static_cast<size_t>(width);
  std::string line;
  auto flush = [&] {
    if (!line.empty()) lines.push_back(line);
    line.clear();
  };
  for (size_t i = 0; i < text.size();) {
    size_t end = std::min(text.find(' ', i), text.size());
    std::string word = text.substr(i, end - i);
    i = end + 1;
    for (; word.size() > limit; word.erase(0, limit)) {
      flush();
      lines.push_back(word.substr(0, limit));
    }
    if (word.empty()) continue;
    if (!line.empty() && line.size() + 1 + word.size() > limit) flush();
    line += line.empty() ? word : " " + word;
  }
  flush();
  return lines;
}

void DrawBorder(Screen &screen, const CellRect &box, const std::string &caption) {
  const int top = box.row, bottom = box.row + box.height - 1;
  const int left = box.col, right = box.col + box.width - 1;
  for (int col = left + 1; col < right; ++col) {
    screen.Put(top, col, '-', 0, Line::kHorizontal);
    screen.Put(bottom, col, '-', 0, Line::kHorizontal);
  }
  for (int row = top + 1; row < bottom; ++row) {
    screen.Put(row, left, '|', 0, Line::kVertical);
    screen.Put(row, right, '|', 0, Line::kVertical);
  }
  screen.Put(top, left, '+', 0, Line::kUpperLeft);
  screen.Put(top, right, '+', 0, Line::kUpperRight);
  screen.Put(bottom, left, '+', 0, Line::kLowerLeft);
  screen.Put(bottom, right, '+', 0, Line::kLowerRight);
  // The caption centred in the top border, between blanks.
  std::string title = " " + caption + " ";
  int room = box.width - 4;
  if (room <= 0) return;
  if (static_cast<int>(title.size()) > room) title.resize(static_cast<size_t>(room));
  int start = left + (box.width - static_cast<int>(title.size())) / 2;
  for (size_t i = 0; i < title.size(); ++i) screen.Put(top, start + static_cast<int>(i), title[i], kBold);
}

void DrawLabel(Screen &screen, const Control &control, const CellRect &cells) {
  int mnemonic = -1;
  std::string shown = ShownText(control.text, &mnemonic);
  std::vector<std::string> lines = Wrap(shown, cells.width);
  // Each wrapped line is a piece of the shown text; find the mnemonic's line.
  size_t from = 0;
  for (int i = 0; i < static_cast<int>(lines.size()) && i < cells.height; ++i) {
    size_t at = shown.find(lines[i], from);
    for (size_t k = 0; k < lines[i].size(); ++k) {
      bool marked = mnemonic >= 0 && at != std::string::npos && at + k == static_cast<size_t>(mnemonic);
      screen.Put(cells.row + i, cells.col + static_cast<int>(k), lines[i][k], marked ? kUnderline : 0);
    }
    if (at != std::string::npos) from = at + lines[i].size();
  }
}

void DrawEdit(Screen &screen, const Control &control, const CellRect &cells, bool focused) {
  const int width = std::max(cells.width, 1);
  const size_t caret = std::min(control.caret, control.text.size());
  // Scrolled just far enough that the caret's cell is inside the field.
  const size_t scroll = caret < static_cast<size_t>(width) ? 0 : caret - static_cast<size_t>(width) + 1;
  for (int k = 0; k < width; ++k) {
    size_t i = scroll + static_cast<size_t>(k);
    char ch = i < control.text.size() ? control.text[i] : ' ';
    uint8_t attributes = kUnderline;
    if (control.selected && i < control.text.size()) attributes |= kReverse;
    screen.Put(cells.row, cells.col + k, ch, attributes);
  }
  if (focused) {
    screen.cursorRow = cells.row;
    screen.cursorCol = cells.col + static_cast<int>(caret - scroll);
  }
}

void DrawButton(Screen &screen, const Control &control, const CellRect &cells, bool focused) {
  int mnemonic = -1;
  std::string shown = ShownText(control.text, &mnemonic);
  const int width = std::max(cells.width, 2);
  uint8_t base = (focused ? kReverse : 0) | (control.IsDefaultButton() ? kBold : 0);
  const int inner = width - 2;
  if (static_cast<int>(shown.size()) > inner) shown.resize(static_cast<size_t>(std::max(inner, 0)));
  const int start = 1 + (inner - static_cast<int>(shown.size())) / 2;
  for (int k = 0; k < width; ++k) {
    char ch = ' ';
    uint8_t attributes = base;
    if (k == 0)
      ch = '[';
    else if (k == width - 1)
      ch = ']';
    else if (k >= start && k - start < static_cast<int>(shown.size())) {
      ch = shown[static_cast<size_t>(k - start)];
      if (k - start == mnemonic) attributes |= kUnderline;
    }
    screen.Put(cells.row, cells.col + k, ch, attributes);
  }
}

}  // namespace

void Screen::Put(int row, int col, char ch, uint8_t attributes, Line line) {
  if (row < 0 || row >= height || col < 0 || col >= width) return;
  cells[static_cast<size_t>(row * width + col)] = Cell{ch, attributes, line};
}

std::string Screen::Row(int row) const {
  std::string text;
  for (int col = 0; col < width; ++col) text += At(row, col).ch;
  return text;
}

CellRect ToCells(int x, int y, int cx, int cy) {
  int col = Columns(x), row = Rows(y);
  return {col, row, std::max(Columns(x + cx) - col, 1), std::max(Rows(y + cy) - row, 1)};
}

CellRect DialogBox(const Dialog &dialog) {
  CellRect client = ToCells(0, 0, dialog.cx, dialog.cy);
  return {0, 0, client.width + 2, client.height + 2};
}

void Render(const Dialog &dialog, Screen &screen, int row, int col) {
  CellRect box = DialogBox(dialog);
  box.row = row, box.col = col;
  DrawBorder(screen, box, dialog.caption);
  screen.cursorRow = screen.cursorCol = -1;
  // Labels first: a field or a button that a long label runs into wins.
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < dialog.controls.size(); ++i) {
      const Control &control = dialog.controls[i];
      if (!(control.style & WS_VISIBLE) || (pass == 0) != (control.windowClass == QUILLON_CLASS_STATIC))
        continue;
      CellRect cells = ToCells(control.x, control.y, control.cx, control.cy);
      cells.row += row + 1, cells.col += col + 1;
      const bool focused = dialog.focus == static_cast<int>(i);
      if (control.IsEdit())
        DrawEdit(screen, control, cells, focused);
      else if (control.IsButton())
        DrawButton(screen, control, cells, focused);
      else
        DrawLabel(screen, control, cells);
    }
  }
}

}  // namespace quillon_dialog
