// The container and its indexes: the input as a help file.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "harness.h"

namespace quillon_fuzz {

namespace {

// Bounds of one run.  An input of 128 KiB can name the same big internal file
// from thousands of directory entries; reading each of them whole would make
// the run quadratic, so reading stops after a fixed number of bytes.
constexpr int kMaxFilesOpened = 512;
constexpr uint64_t kMaxBytesRead = 8u << 20;
constexpr size_t kMaxOffsets = 64;
constexpr size_t kMaxLookups = 24;
constexpr int kMaxEntries = 100000;

struct Budget {
  int filesOpened = 0;
  uint64_t bytesRead = 0;
};

// ---- Internal files ---------------------------------------------------------

struct Listing {
  IfsHandle help;
  Budget *budget;
  int entries = 0;
};

void ReadWhole(IfsFileHandle file, Budget &budget) {
  const uint32_t size = IFSSeekFile(file, 0, 2);
  Check(IFSSeekFile(file, 0, 3) == size, "IFSSeekFile with an unknown origin moved the position");
  Check(IFSSeekFile(file, 0, 0) == 0, "IFSSeekFile to 0 did not give 0");
  uint8_t buffer[4096];
  uint32_t position = 0;
  while (budget.bytesRead < kMaxBytesRead) {
    int32_t read = IFSReadFile(file, buffer, sizeof buffer);
    Check(read >= -1 && read <= static_cast<int32_t>(sizeof buffer), "IFSReadFile read more than asked");
    if (read <= 0) break;
    position += static_cast<uint32_t>(read);
    budget.bytesRead += static_cast<uint32_t>(read);
    Check(position <= size, "IFSReadFile read past the end of the internal file");
    Check(IFSSeekFile(file, 0, 1) == position, "IFSReadFile moved the position by other than its result");
  }
  // Reads that begin at and beyond the end, and one that the end cuts short.
  IFSSeekFile(file, 0, 2);
  Check(IFSReadFile(file, buffer, sizeof buffer) == 0, "a read at the end of an internal file gave bytes");
  if (size <= UINT32_MAX - 1000) {  // the position wraps otherwise
    IFSSeekFile(file, 1000, 2);
    Check(IFSReadFile(file, buffer, 1) == 0, "a read beyond the end of an internal file gave bytes");
  }
  if (size > 0) {
    IFSSeekFile(file, -1, 2);
    int32_t read = IFSReadFile(file, buffer, 100);
    Check(read <= 1, "a read of the last byte gave more than one byte");
  }
}

int32_t MARLET_API OnFile(const char *name, int32_t, MarletUserData user) {
  auto &listing = *reinterpret_cast<Listing *>(user);
  Check(name != nullptr, "IFSEnumerateFiles gave no name");
  std::string copy(name);  // the name must be terminated
  if (++listing.entries > kMaxEntries || listing.budget->filesOpened >= kMaxFilesOpened) return 1;
  ++listing.budget->filesOpened;
  IfsFileHandle file = IFSOpenFile(listing.help, copy.c_str());
  if (file != nullptr) {
    ReadWhole(file, *listing.budget);
    IFSCloseFile(file);
  }
  return 1;
}

void Files(IfsHandle help, Budget &budget) {
  Listing listing{help, &budget};
  IFSEnumerateFiles(help, OnFile, reinterpret_cast<MarletUserData>(&listing));
  // Names that are not stored, or stored in another case.
  for (const char *name : {"", "|system", "|SYSTE", "|SYSTEMX", "\xFF"})
    IFSCloseFile(IFSOpenFile(help, name));
}

// ---- Titles -----------------------------------------------------------------

struct Titles {
  std::vector<TopicOffset> offsets;
  int calls = 0;
  int stopAfter = kMaxEntries;
};

int32_t MARLET_API OnTitle(const char *title, TopicOffset offset, MarletUserData user) {
  auto &titles = *reinterpret_cast<Titles *>(user);
  Check(title != nullptr, "HlpEnumTitles gave no title");
  (void)std::strlen(title);
  Check(titles.calls < titles.stopAfter, "HlpEnumTitles went on after its callback returned 0");
  ++titles.calls;
  if (titles.offsets.size() < kMaxOffsets) titles.offsets.push_back(offset);
  return titles.calls < titles.stopAfter ? 1 : 0;
}

// One lookup, into a buffer of a size chosen by `which`, checking what it
// wrote.
void LookUpTitle(IfsHandle help, TopicOffset offset, size_t which) {
  char buffer[300];
  static constexpr int32_t kSizes[] = {256, 1, 0, 7};
  {
    const int32_t size = kSizes[which % 4];
    std::memset(buffer, 0x55, sizeof buffer);
    TopicOffset start = 0x5A5A5A5A;
    int32_t result = HlpGetTopicTitle(help, offset, buffer, size, &start);
    Check(result == 0 || result == 1, "HlpGetTopicTitle gave neither 0 nor 1");
    if (buffer[0] != 0x55 && size > 0)
      Check(Terminated(buffer, static_cast<size_t>(size)), "HlpGetTopicTitle wrote an unterminated title");
    if (size == 0) Check(buffer[0] == 0x55, "HlpGetTopicTitle wrote into a buffer of size 0");
    Check(buffer[size] == 0x55 || size == 0, "HlpGetTopicTitle wrote past its buffer");
    if (start != 0x5A5A5A5A)
      Check(start <= offset, "HlpGetTopicTitle found a topic beginning after the offset");
  }
  if (which < 4) {
    TopicOffset start = 0;
    HlpGetTopicTitle(help, offset, nullptr, 100, &start);
    HlpGetTopicTitle(help, offset, buffer, sizeof buffer, nullptr);
  }
}

std::vector<TopicOffset> TitleIndex(IfsHandle help, const uint8_t *data, size_t size) {
  Titles all;
  int32_t result = HlpEnumTitles(help, OnTitle, reinterpret_cast<MarletUserData>(&all));
  Check(result == 0 || result == 1, "HlpEnumTitles gave neither 0 nor 1");
  if (all.calls > 0) {
    Titles first;
    first.stopAfter = 1;
    Check(HlpEnumTitles(help, OnTitle, reinterpret_cast<MarletUserData>(&first)) == 0,
          "HlpEnumTitles stopped by its callback did not give 0");
  }
  std::vector<TopicOffset> sought = {0, 1, 0x7FFF, 0x8000, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu};
  // Each lookup reads a whole leaf page, up to 64 KiB: the first titles only.
  for (size_t i = 0; i < all.offsets.size() && i < kMaxLookups; ++i) {
    sought.push_back(all.offsets[i]);
    sought.push_back(all.offsets[i] + 1);
    sought.push_back(all.offsets[i] - 1);
  }
  InputReader tail(data + (size > 16 ? size - 16 : 0), size > 16 ? 16 : size);
  for (int i = 0; i < 4; ++i) sought.push_back(tail.U32());
  for (size_t i = 0; i < sought.size(); ++i) LookUpTitle(help, sought[i], i);
  return all.offsets;
}

// ---- Contexts ---------------------------------------------------------------

struct Contexts {
  std::vector<ContextHash> hashes;
  int calls = 0;
  int stopAfter = kMaxEntries;
};

int32_t MARLET_API OnContext(ContextHash hash, TopicOffset, MarletUserData user) {
  auto &contexts = *reinterpret_cast<Contexts *>(user);
  Check(contexts.calls < contexts.stopAfter, "HlpEnumContext went on after its callback returned 0");
  ++contexts.calls;
  if (contexts.hashes.size() < kMaxOffsets) contexts.hashes.push_back(hash);
  return contexts.calls < contexts.stopAfter ? 1 : 0;
}

void ContextIndex(IfsHandle help) {
  Contexts all;
  int32_t result = HlpEnumContext(help, OnContext, reinterpret_cast<MarletUserData>(&all));
  Check(result == 0 || result == 1, "HlpEnumContext gave neither 0 nor 1");
  if (all.calls > 0) {
    Contexts first;
    first.stopAfter = 1;
    Check(HlpEnumContext(help, OnContext, reinterpret_cast<MarletUserData>(&first)) == 0,
          "HlpEnumContext stopped by its callback did not give 0");
  }
  std::vector<ContextHash> sought = all.hashes;
  for (ContextHash hash : {0, -1, INT32_MIN, INT32_MAX, HlpGenerateHashValue("contents")})
    sought.push_back(hash);
  for (ContextHash hash : sought) HlpIsTopic(help, hash);
}

// ---- Keywords ---------------------------------------------------------------

struct Keywords {
  IfsFileHandle data = nullptr;  // the list's |xWDATA, or null
  Budget *budget = nullptr;
  int calls = 0;
  std::string first, middle;
};

int32_t MARLET_API OnKeyword(const char *keyword, int32_t dataOffset, int32_t count, MarletUserData user) {
  auto &keywords = *reinterpret_cast<Keywords *>(user);
  Check(keyword != nullptr, "HlpEnumKeyWords gave no keyword");
  Check(count >= 0 && count <= 0xFFFF, "HlpEnumKeyWords gave a count beyond 16 bits");
  std::string copy(keyword);
  if (keywords.calls == 0) keywords.first = copy.substr(0, 64);
  if (keywords.calls == 5) keywords.middle = copy.substr(0, 64);
  ++keywords.calls;
  // Read the keyword's topics as the keyword lister does.
  if (keywords.data != nullptr && keywords.budget->bytesRead < kMaxBytesRead) {
    uint8_t topics[4 * 64];
    IFSSeekFile(keywords.data, dataOffset, 0);
    uint32_t want = static_cast<uint32_t>(count < 64 ? count : 64) * 4;
    int32_t read = IFSReadFile(keywords.data, topics, want);
    Check(read <= static_cast<int32_t>(want), "IFSReadFile read more than asked");
    keywords.budget->bytesRead += want;
  }
  return 1;
}

void KeywordList(IfsHandle help, const char *name, Budget &budget) {
  char tree[16], data[16];
  std::snprintf(tree, sizeof tree, "|%sWBTREE", name);
  std::snprintf(data, sizeof data, "|%sWDATA", name);
  Keywords all;
  all.data = IFSOpenFile(help, data);
  all.budget = &budget;
  int32_t result = HlpEnumKeyWords(help, OnKeyword, "", tree, reinterpret_cast<MarletUserData>(&all));
  Check(result == 0 || result == 1, "HlpEnumKeyWords gave neither 0 nor 1");
  if (all.calls > 0 || result != 0) {
    for (const std::string &start : {all.first, all.middle, std::string("m"), std::string("\xFF")}) {
      Keywords from;
      from.data = all.data;
      from.budget = &budget;
      HlpEnumKeyWords(help, OnKeyword, start.c_str(), tree, reinterpret_cast<MarletUserData>(&from));
    }
  }
  IFSCloseFile(all.data);
}

void KeywordIndexes(IfsHandle help, Budget &budget) {
  char name[4];
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    std::snprintf(name, sizeof name, "%c", letter);
    KeywordList(help, name, budget);
  }
  for (int digit = 0; digit <= 8; ++digit) {
    std::snprintf(name, sizeof name, "%dK", digit);
    KeywordList(help, name, budget);
  }
}

// ---- |SYSTEM ----------------------------------------------------------------

void SystemInfo(IfsHandle help) {
  HelpTitleInfo *info = HlpGetHelpTitle(help);
  if (info == nullptr) return;
  for (const char *text : {info->title, info->citation, info->copyright})
    if (text != nullptr) (void)std::strlen(text);
  Check(info->groupCount >= 0, "HlpGetHelpTitle gave a negative group count");
  Check(info->groupCount == 0 || info->groups != nullptr, "HlpGetHelpTitle counted groups it did not give");
  for (int32_t i = 0; i < info->groupCount; ++i) (void)std::strlen(info->groups[i]);
  HlpFreeHelpTitle(info);
}

}  // namespace

int RunContainer(const uint8_t *data, size_t size) {
  InputFile input(data, size);
  IfsHandle help = IFSOpen(kInputName);
  if (help != nullptr) {
    Budget budget;
    Files(help, budget);
    TitleIndex(help, data, size);
    ContextIndex(help);
    KeywordIndexes(help, budget);
    SystemInfo(help);
    IFSClose(help);
  }
  // The calls that open the file by name themselves.
  for (const char *window : {"main", "MAIN", "", "a-very-long-window-name"}) {
    int32_t result = IsSecondaryWindow(kInputName, window);
    Check(result == 0 || result == 1, "IsSecondaryWindow gave neither 0 nor 1");
    if (help == nullptr) Check(result == 0, "IsSecondaryWindow found a window in a file that does not open");
  }
  Check(IsSecondaryWindow("missing.hlp", "main") == 0, "IsSecondaryWindow found a window in a missing file");
  int32_t topic = IsTopic(kInputName, "contents");
  Check(topic == 0 || topic == 1, "IsTopic gave neither 0 nor 1");
  return 0;
}

}  // namespace quillon_fuzz
