// Contents files (.CNT): the table of contents that lies beside a help file.
//
// Text lines in the help file's code page:
//   :Base FILE.HLP            the help file the entries refer to
//   :Title TEXT               the contents window's title
//   :Index, :Link, :Include   other files (kept as they are, not followed)
//   N TEXT                    a heading (a book) at level N
//   N TEXT=CONTEXT[@FILE][>WINDOW]   a topic at level N; CONTEXT may be a
//                             macro, "!" followed by the macro
// Context strings here are the author's own, not made up from hashes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "quillon/document/code_page.h"

namespace quillon::document {

struct ContentsEntry {
  int level = 1;
  std::string text;     // UTF-8
  bool heading = false; // a book: no target
  std::string context;  // the target's context string
  std::string macro;    // or a macro (without its "!")
  std::string file;     // another help file, "" this one
  std::string window;
};

struct Contents {
  std::string base;
  std::string title;
  std::vector<std::string> includes;  // :Include and :Link lines
  std::vector<ContentsEntry> entries;
};

// Reads a .CNT.  Lines it does not understand are skipped; levels are kept
// between 1 and 9 and never more than one deeper than the line before.
Contents ParseContents(std::string_view text, const CodePage &codePage);

}  // namespace quillon::document
