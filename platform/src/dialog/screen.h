// A dialog drawn into a grid of character cells, the way a terminal shows it.
// Kept apart from the terminal so that the layout can be checked without one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dialog/model.h"

namespace quillon_dialog {

enum CellAttribute : uint8_t {
  kBold = 1,       // the default push button
  kReverse = 2,    // the focused button, a selected text
  kUnderline = 4,  // an edit field, a mnemonic letter
};

// Box-drawing glyphs, which a terminal has in its own character set; `ch`
// holds a plain stand-in.
enum class Line : uint8_t { kNone, kHorizontal, kVertical, kUpperLeft, kUpperRight, kLowerLeft, kLowerRight };

struct Cell {
  char ch = ' ';
  uint8_t attributes = 0;
  Line line = Line::kNone;
};

struct Screen {
  Screen(int width, int height) : width(width), height(height), cells(static_cast<size_t>(width * height)) {}
  int width, height;
  std::vector<Cell> cells;
  int cursorRow = -1, cursorCol = -1;  // where the caret is shown; -1: hidden

  // Writes a cell; outside the screen nothing happens.
  void Put(int row, int col, char ch, uint8_t attributes = 0, Line line = Line::kNone);
  const Cell &At(int row, int col) const { return cells[static_cast<size_t>(row * width + col)]; }
  std::string Row(int row) const;  // the characters of a row
};

struct CellRect {
  int col, row, width, height;
};

// A rectangle in dialog units as cells.  A row is 8 vertical units, the
// height of a character.  A column is 3.5 horizontal units rather than the
// 4 of an average character: a terminal's fixed-width letters are wider than
// the average of the proportional font the templates were laid out for, and
// labels would not fit their rectangles otherwise.
CellRect ToCells(int x, int y, int cx, int cy);

// The dialog's box with its border: the client area is one cell inside.
CellRect DialogBox(const Dialog &dialog);

// Draws the dialog with its border's top-left corner at (row, col): the
// caption in the top border, labels word-wrapped into their rectangles, edit
// fields underlined and scrolled so that the caret shows, push buttons in
// brackets.  Sets the cursor to the caret of the focused edit control.
void Render(const Dialog &dialog, Screen &screen, int row, int col);

}  // namespace quillon_dialog
