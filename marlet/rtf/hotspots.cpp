// Hotspots, pictures, embedded windows and media clips in a paragraph's
// command stream.  Operands follow the command byte:
//
// Jump hotspots:  0xE0..0xE3 short, no prefix     0xE6, 0xE7 short, "%"
//                 0xEA, 0xEB long, no prefix      0xEE, 0xEF long, "%"
//   short: the target's ContextHash (4 bytes)
//   long:  a 16-bit length L of the bytes after it; a flags byte; the hash;
//          more fields within the L bytes (not used)
// Macro hotspots 0xC8 ("!" prefix) and 0xCC ("%!"): a signed 16-bit length
//   n, then the macro, zero-terminated, within the n bytes.
// Objects 0x86, 0x87, 0x88 (placed c, l, r):
//   type (1 byte); size (CompressedLong); a CompressedUShort unless the type
//   is 3; an embedded flag (signed 16-bit); a picture number (16-bit) except
//   for type 0x22 with the flag set (then 0xFFFF); for types 3 and 0x22 with
//   the flag set, size - 2 bytes of picture data; for type 5 one byte and a
//   zero-terminated text.
//
// A jump hotspot starts with "\ul " (popups, the even commands) or "\strike "
// (jumps, the odd ones) and its target as event 15; a macro hotspot with
// "\strike " and its target as event 5.  The end command 0x89 switches both
// off and hides the target: "\strike0\ul0{\v target}", then the target as
// event 16.
#include <cstdlib>
#include <cstring>
#include <string>

#include "rtf/render.h"
#include "topic/blocks.h"

namespace marlet {

namespace {

// A zero-terminated text within the next `length` bytes of the format data,
// stepped over whole.  Bytes beyond the data end the text there.
std::string BoundedText(ByteCursor &format, size_t length) {
  Bytes bytes = format.Span(std::min(length, format.remaining()));
  const void *zero = std::memchr(bytes.data(), 0, bytes.size());
  size_t n = zero ? static_cast<size_t>(static_cast<const uint8_t *>(zero) - bytes.data()) : bytes.size();
  return std::string(reinterpret_cast<const char *>(bytes.data()), n);
}

// The file and window a long-form jump names, as "FILE>WINDOW"; empty when it
// names neither.  The operand after its length: flags, the hash, then a
// window number (flag 0x01), a window name (0x02) and a file name (0x04),
// each present when its flag is set, all within the operand's length.
std::string JumpPlace(ByteCursor operand) {
  uint16_t length = operand.U16();
  ByteCursor fields(operand.Span(std::min<size_t>(length, operand.remaining())));
  uint8_t flags = fields.U8();
  fields.Skip(4);
  std::string window, file;
  if (flags & 0x01) window = "#" + std::to_string(fields.U8());
  if (flags & 0x02) window = std::string(fields.CString());
  if (flags & 0x04) file = std::string(fields.CString());
  if (!fields.ok() || (window.empty() && file.empty())) return {};
  return file + ">" + window;
}

}  // namespace

bool IsJumpHotspot(uint8_t command) {
  switch (command) {
    case 0xE0: case 0xE1: case 0xE2: case 0xE3: case 0xE6: case 0xE7:
    case 0xEA: case 0xEB: case 0xEE: case 0xEF:
      return true;
    default:
      return false;
  }
}

bool IsMacroHotspot(uint8_t command) { return command == 0xC8 || command == 0xCC; }

std::string RtfHotspotTarget(const TopicHandleRecord &, uint8_t command, ByteCursor &format) {
  uint32_t hash;
  if (command >= 0xEA) {
    uint16_t length = format.U16();
    Bytes operand = format.Span(std::min<size_t>(length, format.remaining()));
    uint8_t field[5] = {};
    // A length cut by the end of the format data leaves no operand at all.
    if (!operand.empty()) std::memcpy(field, operand.data(), std::min<size_t>(5, operand.size()));
    hash = LoadU32(field + 1);
  } else {
    hash = format.U32();
  }
  // The reversal uses its buffer as scratch space behind the string.
  char buffer[250] = {};
  size_t prefix = 0;
  if (command == 0xE6 || command == 0xE7 || command == 0xEE || command == 0xEF) buffer[prefix++] = '%';
  HlpCreateStringForHashValue(static_cast<ContextHash>(hash), buffer + prefix);
  buffer[sizeof buffer - 1] = '\0';
  return buffer;
}

void JumpHotspotStart(TopicHandleRecord &topic, const Sink &sink, uint8_t command, ByteCursor &format,
                      PendingTarget &target) {
  std::string place;
  if (command >= 0xEA && (topic.options & HLP_TOPIC_JUMP_PLACES)) place = JumpPlace(format);
  target.Set(RtfHotspotTarget(topic, command, format));
  EmitControl(topic, sink, (command & 1) ? "\\strike " : "\\ul ");
  EmitString(topic, sink, target.text.c_str(), TopicEventJumpTarget);
  if (!place.empty()) EmitString(topic, sink, place.c_str(), TopicEventJumpPlace);
}


void MacroHotspotStart(TopicHandleRecord &topic, const Sink &sink, uint8_t command, ByteCursor &format,
                       PendingTarget &target) {
  int16_t length = format.I16();
  if (length <= 0) return;
  std::string macro = BoundedText(format, static_cast<size_t>(length));
  target.Set((command == 0xCC ? "%!" : "!") + macro);
  EmitControl(topic, sink, "\\strike ");
  EmitString(topic, sink, target.text.c_str(), TopicEventMacroTarget);
}

void HotspotEnd(TopicHandleRecord &topic, const Sink &sink, PendingTarget &target) {
  if (!target.pending) return;
  // As "\strike0\ul0{\v %s}" would format it, within the primitives' 4999
  // characters.
  std::string control = "\\strike0\\ul0{\\v " + target.text + "}";
  if (control.size() > 4999) control.resize(4999);
  EmitControl(topic, sink, control.c_str());
  EmitString(topic, sink, target.text.c_str(), TopicEventHotspotEnd);
  target.Drop();
}

void RtfObject(TopicHandleRecord &topic, const Sink &sink, char placement, ByteCursor &format) {
  uint8_t type = format.U8();
  int32_t size = CompressedLong(format);
  if (type != 3) CompressedUShort(format);
  int16_t embedded = format.I16();
  uint32_t picture = 0xFFFF;
  if (!(type == 0x22 && embedded != 0)) picture = format.U16();
  if (!format.ok()) return;

  if (type == 3 || type == 0x22) {
    if (embedded != 0) {
      // The picture data; a size that runs past the record ends the paragraph.
      if (size < 2 || static_cast<uint64_t>(size - 2) > format.remaining()) {
        format.Fail();
        return;
      }
      format.Skip(static_cast<size_t>(size - 2));
    }
    if (picture != 0xFFFF) {
      char reference[64];
      wnsprintfA(reference, sizeof reference,
                 topic.titleInfo->minorVersion == 15 ? "{bm%c bm%u}" : "{bm%c |bm%u}", placement, picture);
      EmitString(topic, sink, reference, TopicEventBitmap);
    }
    return;
  }
  if (type != 5) return;

  format.Skip(1);
  std::string object(format.CString());
  if (!format.ok()) return;  // a text without its terminator inside the record
  if (object[0] == '!') {
    EmitString(topic, sink, object.c_str() + 1, TopicEventEmbeddedMacro);
  } else if (object[0] == '*') {
    RtfMediaClip(topic, sink, object.c_str() + 1);
  } else {
    EmitFormatted(topic, sink, "\\{ew%c ", placement);
    EmitString(topic, sink, object.c_str(), TopicEventEmbeddedWindow);
    EmitControl(topic, sink, "\\}");
  }
}

void RtfMediaClip(TopicHandleRecord &topic, const Sink &sink, const char *clip) {
  // Three fields separated by commas; empty fields separate nothing.
  std::string fields[3];
  int found = 0;
  for (const char *p = clip; *p != '\0' && found < 3;) {
    while (*p == ',') ++p;
    if (*p == '\0') break;
    const char *end = std::strchr(p, ',');
    if (end == nullptr) end = p + std::strlen(p);
    fields[found++].assign(p, end);
    p = end;
  }
  if (found < 3) return;
  std::string reference = "{mci ";
  long options = std::strtol(fields[0].c_str(), nullptr, 10);
  if (options & 8) reference += " nomenu";
  if (options & 2) reference += " noplaybar";
  long play = std::strtol(fields[1].c_str(), nullptr, 10);
  if (play & 1) reference += " repeat";
  if (play & 2) reference += " play";
  size_t plus = fields[2].find('+');
  std::string file;
  if (plus == std::string::npos) {
    reference += " external";
    file = fields[2];
  } else {
    file = fields[2].substr(plus + 1);
  }
  reference += "," + file + "}";
  if (reference.size() >= 5000) reference.resize(4999);
  EmitString(topic, sink, reference.c_str(), TopicEventMediaClip);
}

}  // namespace marlet
