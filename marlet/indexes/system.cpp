// |SYSTEM: the help file's format version, flags and global texts.
//
// SystemHeader, 12 bytes at offset 0:
//   0  2  magic (not read)
//   2  2  minor version; its low byte is kept, 15 marks the Windows 3.0 format
//   4  6  major version, build date (not read)
//  10  2  flags; the topic reader tests 4 and 8 (block size, compression)
//
// Minor version 15: the header is followed by the help title in 32 bytes,
// NUL-terminated or filling all 32, and nothing else.  Every other version:
// SystemRecords back to back up to the end of the file:
//   0  2       type, unsigned
//   2  2       length of the data, unsigned
//   4  length  data
// Types read here (all others are skipped by their length):
//   1  help title        2  copyright        8  citation
//   13 group text        6  secondary window definition:
//        0  2  which of the fields below are set
//        2 10  window type
//       12  9  window name, NUL-terminated unless it fills all 9 bytes
//       21 51  caption, then position, size and colours
// A text in a record ends at its first zero byte and never past the record.
#include <marlet/marlet.h>

#include <algorithm>
#include <cstring>

#include "container/bytes.h"
#include "container/frame.h"
#include "indexes/index_file.h"

namespace marlet {

namespace {

constexpr uint32_t kSystemHeaderSize = 12;
constexpr size_t kMinorVersionField = 2;
constexpr size_t kFlagsField = 10;
constexpr uint8_t kWindows30 = 15;
constexpr uint32_t kWindows30TitleSize = 32;
constexpr uint32_t kRecordHeaderSize = 4;

constexpr uint16_t kTitleRecord = 1;
constexpr uint16_t kCopyrightRecord = 2;
constexpr uint16_t kWindowRecord = 6;
constexpr uint16_t kCitationRecord = 8;
constexpr uint16_t kGroupRecord = 13;

constexpr size_t kWindowNameField = 12;
constexpr size_t kWindowNameSize = 9;

// Copyright and citation texts of one or two characters are placeholders
// that help compilers write; they are not kept.
constexpr size_t kShortestText = 3;

// One record: its type and its data in a buffer one byte longer than the data,
// zero-filled, so that a text without a zero byte ends at the record's end.
struct SystemRecord {
  uint16_t type = 0;
  uint16_t length = 0;  // as the header says
  LocalPtr<uint8_t> data;
  uint32_t read = 0;    // bytes of data actually there
  const char *Text() const { return reinterpret_cast<const char *>(data.get()); }
};

enum class ShortData { Use, Stop };

// Reads the record at the file's position.  False at the end of the file, when
// the buffer cannot be had, or (with ShortData::Stop) when the data is cut
// short.
bool ReadRecord(IfsFileHandle file, ShortData onShort, SystemRecord *record) {
  uint8_t header[kRecordHeaderSize];
  if (IFSReadFile(file, header, sizeof header) != static_cast<int32_t>(sizeof header)) return false;
  record->type = LoadU16(header);
  record->length = LoadU16(header + 2);
  record->data.reset(LocalZeroed(static_cast<size_t>(record->length) + 1));
  if (!record->data) return false;
  int32_t read = record->length == 0 ? 0 : IFSReadFile(file, record->data.get(), record->length);
  if (read < 0) return false;
  record->read = static_cast<uint32_t>(read);
  return onShort == ShortData::Use || record->read == record->length;
}

// Replaces a text of the record; a copy that cannot be made leaves it null.
void ReplaceText(char **field, const char *text) {
  if (*field != nullptr) LocalFree(*field);
  *field = LocalStrDup(text);
}

void AddGroup(HelpTitleInfo *info, const char *text) {
  char *copy = RtStrdup(text);
  if (copy == nullptr) return;
  auto **groups = static_cast<char **>(
      RtRealloc(info->groups, (static_cast<size_t>(info->groupCount) + 1) * sizeof(char *)));
  if (groups == nullptr) {
    RtFree(copy);
    return;
  }
  groups[info->groupCount++] = copy;
  info->groups = groups;
}

void TakeRecord(HelpTitleInfo *info, const SystemRecord &record) {
  const char *text = record.Text();
  switch (record.type) {
    case kTitleRecord:
      if (text[0] != '\0') ReplaceText(&info->title, text);
      break;
    case kCopyrightRecord:
      if (std::strlen(text) >= kShortestText) ReplaceText(&info->copyright, text);
      break;
    case kCitationRecord:
      if (std::strlen(text) >= kShortestText) ReplaceText(&info->citation, text);
      break;
    case kGroupRecord:
      AddGroup(info, text);
      break;
    default:
      break;
  }
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The name of a window definition: from data offset 12 to its first zero, to
// the end of its 9-byte field or to the end of the record, whichever comes
// first.  A name that fills the field has no terminator, and the caption
// follows at once.
bool WindowNameIs(const SystemRecord &record, const char *wanted) {
  if (record.read <= kWindowNameField) return false;  // no name field at all
  size_t room = std::min<size_t>(kWindowNameSize, record.read - kWindowNameField);
  const char *name = record.Text() + kWindowNameField;
  size_t length = strnlen(name, room);
  for (size_t i = 0; i < length; ++i)
    if (wanted[i] == '\0' || AsciiUpper(name[i]) != AsciiUpper(wanted[i])) return false;
  return wanted[length] == '\0';
}

}  // namespace

}  // namespace marlet

using namespace marlet;

extern "C" {

MARLET_EXPORT HelpTitleInfo *MARLET_API HlpGetHelpTitle(IfsHandle container) {
  IndexFile system(container, "|SYSTEM");
  if (!system) return nullptr;
  auto *info = LocalZeroed<HelpTitleInfo>(sizeof(HelpTitleInfo));
  if (info == nullptr) return nullptr;

  // A header cut short leaves version and flags 0, and nothing follows it.
  uint8_t header[kSystemHeaderSize];
  if (IFSReadFile(system.get(), header, sizeof header) != static_cast<int32_t>(sizeof header)) return info;
  info->minorVersion = static_cast<uint8_t>(LoadU16(header + kMinorVersionField));
  info->flags = LoadU16(header + kFlagsField);

  if (info->minorVersion == kWindows30) {
    char title[kWindows30TitleSize + 1] = {};
    int32_t read = IFSReadFile(system.get(), title, kWindows30TitleSize);
    if (read < 0) title[0] = '\0';
    info->title = LocalStrDup(title);  // set even when empty
    return info;
  }
  SystemRecord record;
  while (ReadRecord(system.get(), ShortData::Use, &record)) TakeRecord(info, record);
  return info;
}

MARLET_EXPORT void MARLET_API HlpFreeHelpTitle(HelpTitleInfo *info) {
  if (info == nullptr) return;
  if (info->title != nullptr) LocalFree(info->title);
  if (info->copyright != nullptr) LocalFree(info->copyright);
  if (info->citation != nullptr) LocalFree(info->citation);
  while (info->groupCount > 0) RtFree(info->groups[--info->groupCount]);
  RtFree(info->groups);
  LocalFree(info);
}

MARLET_EXPORT int32_t MARLET_API IsSecondaryWindow(const char *helpFileName, const char *windowName) {
  if (windowName == nullptr) return 0;
  IfsHandle container = IFSOpen(helpFileName);
  if (container == nullptr) return 0;
  bool match = false;
  {
    IndexFile system(container, "|SYSTEM");
    uint8_t header[kSystemHeaderSize];
    // A 3.0 file holds a title after its header, and no records to search.
    if (system &&
        IFSReadFile(system.get(), header, sizeof header) == static_cast<int32_t>(sizeof header) &&
        static_cast<uint8_t>(LoadU16(header + kMinorVersionField)) != kWindows30) {
      SystemRecord record;
      while (!match && ReadRecord(system.get(), ShortData::Stop, &record))
        match = record.type == kWindowRecord && WindowNameIs(record, windowName);
    }
  }
  IFSClose(container);
  return match ? 1 : 0;
}

}  // extern "C"
