// The RTF renderers of paragraph and table records.
//
// They never read the file: the record loop hands them the record's format
// data as a bounded cursor (its remaining bytes are the format count: every
// byte stepped over, read or skipped, lowers it) and its expanded text as a
// text cursor, and they deliver every piece through the output primitives.
// Damage (a field, string or skip that claims more bytes than remain) ends the
// paragraph there: the cursor is exhausted and the final text run is still
// delivered.
#pragma once

#include <string>

#include "container/bytes.h"
#include "topic/emit.h"
#include "topic/topic_handle.h"

namespace marlet {

// Renders one paragraph from the format cursor (after the record's leading
// values, or after a cell header) and the text cursor, both advanced past it.
// Inside a table a paragraph end directly before the closing 0xFF is held
// back; the result says whether this paragraph ended so.
bool RtfParagraph(TopicHandleRecord &topic, const Sink &sink, TextCursor &text, ByteCursor &format,
                  bool nonScrolling, bool inTable);

// Renders a table row: its column layout, then its cell paragraphs.
void RtfTableRecord(TopicHandleRecord &topic, const Sink &sink, TextCursor text, ByteCursor format,
                    bool nonScrolling);

// ---- Hotspots and objects (used by RtfParagraph) ---------------------------

// The target of a hotspot, from its start command to its end command.
struct PendingTarget {
  std::string text;
  bool pending = false;
  void Set(std::string target) {
    text = std::move(target);
    pending = true;
  }
  void Drop() {
    text.clear();
    pending = false;
  }
};

bool IsJumpHotspot(uint8_t command);
bool IsMacroHotspot(uint8_t command);

// 0xE0..0xEF: reads the operand and returns the target: "%" for the popup
// forms 0xE6, 0xE7, 0xEE, 0xEF, then the context string of its hash.
std::string RtfHotspotTarget(const TopicHandleRecord &topic, uint8_t command, ByteCursor &format);
void JumpHotspotStart(TopicHandleRecord &topic, const Sink &sink, uint8_t command, ByteCursor &format,
                      PendingTarget &target);
void MacroHotspotStart(TopicHandleRecord &topic, const Sink &sink, uint8_t command, ByteCursor &format,
                       PendingTarget &target);
void HotspotEnd(TopicHandleRecord &topic, const Sink &sink, PendingTarget &target);
// 0x86, 0x87, 0x88: a picture, embedded window, embedded macro or media clip
// placed with the letter c, l or r.
void RtfObject(TopicHandleRecord &topic, const Sink &sink, char placement, ByteCursor &format);
// The text of an embedded object after its "*": "{mci ...}".
void RtfMediaClip(TopicHandleRecord &topic, const Sink &sink, const char *clip);

}  // namespace marlet
