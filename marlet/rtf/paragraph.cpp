// Paragraph records.
//
// The format data of a paragraph, from where the record loop (or the table
// renderer, after a cell header) leaves the cursor:
//   0  1  (not read)
//   1  1  (not read)
//   2  2  (not read)
//   4  2  paragraph-info bits; each of the fields below is present only when
//         its bit is set, in this order:
//         0x0001  two CompressedShort, not used
//         0x0002  space before     CompressedShort  "\sb%d"
//         0x0004  space after      CompressedShort  "\sa%d"
//         0x0008  line spacing     CompressedShort  "\sl%d"
//         0x0010  left indent      CompressedShort  "\li%d"
//         0x0020  right indent     CompressedShort  "\ri%d"
//         0x0040  first-line indent CompressedShort "\fi%d"
//         0x0100  border: a flags byte and two bytes not read
//         0x0200  tab stops: a count byte, then the stops
//         0x0400  "\qr" (unless 0x0800)   0x0800 "\qc"   0x1000 "\keep"
//   then  zero or more 0x00 bytes, then the command stream, ended by 0xFF.
// Spacings, indents and tab positions count in twentieths of a point in files
// with 42-byte font descriptors, in half points (scale 10) otherwise.
//
// The text data is a run of zero-terminated strings: one before the first
// command, one after each command.
#include <cstring>
#include <string_view>

#include "rtf/fonts.h"
#include "rtf/render.h"
#include "topic/blocks.h"

namespace marlet {

namespace {

constexpr uint16_t kTwoValues = 0x0001;
constexpr uint16_t kBorder = 0x0100;
constexpr uint16_t kTabStops = 0x0200;
constexpr uint16_t kRight = 0x0400;
constexpr uint16_t kCentre = 0x0800;
constexpr uint16_t kKeep = 0x1000;

struct Spacing {
  uint16_t bit;
  std::string_view word;  // followed by the value
};
constexpr Spacing kSpacings[] = {{0x0002, "\\sb"}, {0x0004, "\\sa"}, {0x0008, "\\sl"},
                                 {0x0010, "\\li"}, {0x0020, "\\ri"}, {0x0040, "\\fi"}};

void Borders(TopicHandleRecord &topic, const Sink &sink, ByteCursor &format) {
  uint8_t flags = format.U8();
  format.Skip(2);
  const char *style = "\\brdrs";
  if (flags & 0x80) {
    EmitControl(topic, sink, "\\brdrl");
    style = "\\brdrdot";
  } else if (flags & 0x20) {
    style = "\\brdrth";
  }
  if (flags & 0x10) EmitFormatted(topic, sink, "\\brdrr%s", style);
  if (flags & 0x08) EmitFormatted(topic, sink, "\\brdrb%s", style);
  if (flags & 0x04) EmitFormatted(topic, sink, "\\brdrl%s", style);
  if (flags & 0x02) EmitFormatted(topic, sink, "\\brdrt%s", style);
  if (flags & 0x01) EmitFormatted(topic, sink, "\\box%s", style);
}

// A stop's position is a CompressedUShort; when bit 15 of its value is set (a
// two-byte field of 0x8000 or more, 0xFFFF excepted) a type byte follows.
void TabStops(TopicHandleRecord &topic, const Sink &sink, ByteCursor &format, int scale) {
  int stops = (format.U8() & 0x7F) >> 1;
  for (int i = 0; i < stops && !format.empty(); ++i) {
    uint16_t position = CompressedUShort(format);
    if (position & 0x8000) EmitControl(topic, sink, (format.U8() & 0x02) ? "\\tqr" : "\\tqc");
    EmitControlNumber(topic, sink, "\\tx", (position & 0x7FFF) * scale);
  }
}

// Inside a hotspot the font's underline state is left out, so that the
// hotspot's own attribute stays.
void FontChange(TopicHandleRecord &topic, const Sink &sink, ByteCursor &format, const PendingTarget &target) {
  uint16_t font = format.U16();
  if (const char *text = FontChangeText(topic, font, target.pending)) EmitControl(topic, sink, text);
}

}  // namespace

bool RtfParagraph(TopicHandleRecord &topic, const Sink &sink, TextCursor &text, ByteCursor &format,
                  bool nonScrolling, bool inTable) {
  const int scale = topic.newFontDescriptors ? 1 : 10;
  PendingTarget target;
  bool heldBack = false;

  format.Skip(4);
  uint16_t bits = format.U16();
  EmitControl(topic, sink, nonScrolling ? "\\pard\\keepn\\s1" : "\\pard\\s0");
  if (inTable) EmitControl(topic, sink, "\\intbl");
  if (bits & kTwoValues) {
    CompressedShort(format);
    CompressedShort(format);
  }
  if (bits & kKeep) EmitControl(topic, sink, "\\keep");
  EmitControl(topic, sink, (bits & kCentre) ? "\\qc" : (bits & kRight) ? "\\qr" : "\\ql");
  for (const Spacing &spacing : kSpacings)
    if (bits & spacing.bit) EmitControlNumber(topic, sink, spacing.word, CompressedShort(format) * scale);
  if (bits & kBorder) Borders(topic, sink, format);
  if (bits & kTabStops) TabStops(topic, sink, format, scale);
  // The properties end with a control word; a space closes it, so that a
  // text run that follows cannot run into it ("\ql" and "a" would read as
  // the word "\qla").
  EmitControl(topic, sink, " ");
  while (!format.empty() && format.Peek() == 0x00) format.Skip(1);

  while (!format.empty()) {
    uint8_t command = format.U8();
    if (command == 0xFF) break;
    // Zero bytes before a command are skipped; the byte after them is taken
    // as the command, whatever it is.
    while (command == 0x00 && !format.empty()) command = format.U8();
    EmitString(topic, sink, text, TopicEventText);
    switch (command) {
      case 0x80:
        FontChange(topic, sink, format, target);
        break;
      case 0x81:
        EmitControl(topic, sink, "\\line ");
        EmitString(topic, sink, "\n", TopicEventPlainBreak);
        break;
      case 0x82:
        if (inTable && !format.empty() && format.Peek() == 0xFF) {
          heldBack = true;  // the cell's end closes the paragraph
        } else {
          EmitControl(topic, sink, "\\par ");
          EmitString(topic, sink, "\n", TopicEventPlainBreak);
        }
        break;
      case 0x83:
        EmitControl(topic, sink, "\\tab ");
        EmitString(topic, sink, "\t", TopicEventPlainBreak);
        break;
      case 0x86:
        RtfObject(topic, sink, 'c', format);
        break;
      case 0x87:
        RtfObject(topic, sink, 'l', format);
        break;
      case 0x88:
        RtfObject(topic, sink, 'r', format);
        break;
      case 0x89:
        HotspotEnd(topic, sink, target);
        break;
      default:
        if (IsMacroHotspot(command))
          MacroHotspotStart(topic, sink, command, format, target);
        else if (IsJumpHotspot(command))
          JumpHotspotStart(topic, sink, command, format, target);
        break;  // any other byte: nothing
    }
  }
  EmitString(topic, sink, text, TopicEventText);
  return heldBack;
}

}  // namespace marlet
