// What |SYSTEM says beyond HlpGetHelpTitle's fields, and the code page of a
// help file's text: read through marlet's exports, for the programs and the
// document layer alike.
#pragma once

#include <marlet/marlet.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon::text {

// A window |SYSTEM defines (the main window and secondary ones); texts in the
// file's code page.
struct WindowRecord {
  std::string type, name, caption;
  int x = -1, y = -1, width = -1, height = -1;  // in the viewer's 1/1024 of the screen; -1 unset
  bool maximized = false;
  int64_t background = -1;  // 0xRRGGBB, -1 unset
  int64_t nonScrollingBackground = -1;
};

struct SystemRecords {
  uint32_t contents = 0xFFFFFFFFu;  // the contents topic's TopicOffset, where the file names one
  std::vector<std::string> macros;  // run at start-up
  std::vector<WindowRecord> windows;
  uint32_t language = 0;            // the LCID, 0 where the file gives none
  std::string contentsFile;         // the .CNT's name, without folder; "" where none
  int charset = -1;                 // the character-set record's first byte, -1 where none
};

// The records of a later file's |SYSTEM; a 3.0 file's holds none.
SystemRecords ReadSystemRecords(IfsHandle container);

// The code page of a help file's text: the character-set record where it
// names one, else the language, else the character set most of the fonts
// have (charsets: one per font, -1 where |FONT gives none), else 1252.
int ChooseCodePage(const SystemRecords &records, const std::vector<int> &fontCharsets);

// An internal file read whole, when it is no larger than limit bytes;
// nullopt when it is missing, larger or cannot be read.
std::optional<std::vector<uint8_t>> ReadInternalFile(IfsHandle container, const char *name, uint32_t limit);

}  // namespace quillon::text
