// |SYSTEM: HlpGetHelpTitle, HlpFreeHelpTitle and IsSecondaryWindow.
#include <gtest/gtest.h>

#include <marlet/marlet.h>

#include <optional>
#include <string>
#include <vector>

#include "support/help_builder.h"
#include "support/index_builder.h"
#include "support/memory_container.h"

using namespace fixture;

namespace {

std::optional<std::string> Text(const char *text) {
  return text != nullptr ? std::optional<std::string>(text) : std::nullopt;
}

struct Expected {
  std::optional<std::string> title, copyright, citation;
  uint8_t minor;
  uint16_t flags;
  std::vector<std::string> groups;
};

struct SystemCase {
  const char *name;
  Bytes system;
  Expected expected;
};

Bytes Cut(Bytes bytes, size_t size) {
  bytes.resize(size);
  return bytes;
}

const std::nullopt_t none = std::nullopt;

std::vector<SystemCase> SystemCases() {
  Bytes full30 = System30File(0x0A, "A title of exactly thirty-two ch");
  PutBytes(full30, SystemFile(0, 0, {TextRecord(2, "Copyright after the title")}));  // never read
  // A title record whose length runs past the end of the file: the bytes
  // that are there are used.
  Bytes cutTitle = SystemFile(kMinorWindows31, 4, {{1, CStringBytes("Long title that is cut")}});
  cutTitle.resize(cutTitle.size() - 10);
  return {
      {"3.0 title", System30File(0x0A, "Calculator"), {"Calculator", none, none, 15, 0x0A, {}}},
      {"3.0 title filling its 32 bytes", full30, {"A title of exactly thirty-two ch", none, none, 15, 0x0A, {}}},
      {"3.0 empty title", System30File(0x4E98, ""), {"", none, none, 15, 0x4E98, {}}},
      {"3.0 title cut short", Cut(System30File(8, "Program Manager"), 12 + 7), {"Program", none, none, 15, 8, {}}},
      {"header only", SystemFile(kMinorWindows31, 4, {}), {none, none, none, 21, 4, {}}},
      {"title, copyright and citation",
       SystemFile(kMinorWindows95, 0x0C,
                  {TextRecord(1, "Atlas"), TextRecord(2, "(c) Atlas Makers"), TextRecord(8, "Cite this"),
                   TextRecord(4, "BrowseButtons()")}),
       {"Atlas", "(c) Atlas Makers", "Cite this", 33, 0x0C, {}}},
      {"title whose first byte is zero", SystemFile(kMinorWindows31, 0, {{1, Bytes{0, 'x', 0}}}),
       {none, none, none, 21, 0, {}}},
      {"texts of two characters are not kept, of three they are",
       SystemFile(kMinorWindows31, 0, {TextRecord(2, "ab"), TextRecord(8, "x"), TextRecord(8, "xyz")}),
       {none, none, "xyz", 21, 0, {}}},
      {"a later record replaces an earlier one",
       SystemFile(kMinorWindows95, 0,
                  {TextRecord(1, "First"), TextRecord(2, "First (c)"), TextRecord(1, "Second"),
                   TextRecord(2, "Second (c)"), TextRecord(2, "no")}),
       {"Second", "Second (c)", none, 33, 0, {}}},
      {"three groups in record order",
       SystemFile(kMinorWindows95, 0, {TextRecord(13, "alpha"), TextRecord(9, "skipped"), TextRecord(13, "beta"),
                                       TextRecord(13, "")}),
       {none, none, none, 33, 0, {"alpha", "beta", ""}}},
      {"a text without a terminator ends with its record",
       SystemFile(kMinorWindows31, 0, {{1, Bytes{'N', 'o', 'E', 'n', 'd'}}, TextRecord(2, "Next record")}),
       {"NoEnd", "Next record", none, 21, 0, {}}},
      {"a record length past the end of the file", cutTitle, {"Long title th", none, none, 21, 4, {}}},
      {"an empty record and a type-6 record shorter than 12 bytes",
       SystemFile(kMinorWindows31, 0, {{1, {}}, {6, Bytes(5, 'w')}, TextRecord(1, "After")}),
       {"After", none, none, 21, 0, {}}},
      {"a header cut short", Cut(SystemFile(kMinorWindows31, 4, {TextRecord(1, "T")}), 7), {none, none, none, 0, 0, {}}},
  };
}

TEST(SystemInfo, RecordsAndVersions) {
  for (const SystemCase &c : SystemCases()) {
    OpenedContainer container(BuildContainer({{"|SYSTEM", c.system}, {"|TOPIC", Bytes(4, 0)}}).bytes);
    ASSERT_TRUE(container) << c.name;
    HelpTitleInfo *info = HlpGetHelpTitle(container.get());
    ASSERT_NE(info, nullptr) << c.name;
    EXPECT_EQ(Text(info->title), c.expected.title) << c.name;
    EXPECT_EQ(Text(info->copyright), c.expected.copyright) << c.name;
    EXPECT_EQ(Text(info->citation), c.expected.citation) << c.name;
    EXPECT_EQ(info->minorVersion, c.expected.minor) << c.name;
    EXPECT_EQ(info->flags, c.expected.flags) << c.name;
    std::vector<std::string> groups;
    for (int32_t i = 0; i < info->groupCount; ++i) groups.push_back(info->groups[i]);
    EXPECT_EQ(groups, c.expected.groups) << c.name;
    EXPECT_EQ(info->groups == nullptr, c.expected.groups.empty()) << c.name;
    HlpFreeHelpTitle(info);  // the leak checker of the sanitizer build sees the rest
  }
}

TEST(SystemInfo, NoSystemFile) {
  OpenedContainer container(BuildContainer({{"|TOPIC", Bytes(4, 0)}, {"|system", SystemFile(21, 0, {})}}).bytes);
  ASSERT_TRUE(container);
  EXPECT_EQ(HlpGetHelpTitle(container.get()), nullptr);
  EXPECT_EQ(HlpGetHelpTitle(nullptr), nullptr);
  HlpFreeHelpTitle(nullptr);
}

// ---- Secondary windows ------------------------------------------------------

TEST(SecondaryWindow, NamesAreMatchedWholeWithinTheirNineBytes) {
  Bytes system = SystemFile(kMinorWindows95, 0,
                            {TextRecord(1, "Windows"), WindowRecord("MAIN", "Main window"),
                             // A name filling its 9 bytes runs straight into the caption.
                             WindowRecord("glossary9", "Glossary"), WindowRecord("second", "Second"),
                             // A definition cut after 3 bytes of its name field.
                             {6, Bytes{0, 0, 'p', 'o', 'p', 'u', 'p', 0, 0, 0, 0, 0, 'p', 'o', 'p'}}});
  MemoryFiles files;
  files.Add("windows.hlp", BuildContainer({{"|SYSTEM", system}}).bytes);
  struct Case {
    const char *window;
    int32_t result;
  } cases[] = {
      {"Main", 1},         {"main", 1},      {"MAIN", 1},     {"MAI", 0},        {"MAINX", 0},
      {"glossary9", 1},    {"GLOSSARY9", 1}, {"glossary", 0}, {"glossary9Glossary", 0},
      {"second", 1},       {"pop", 1},       {"popup", 0},    {"", 0},           {"window", 0},
  };
  for (const Case &c : cases) EXPECT_EQ(IsSecondaryWindow("windows.hlp", c.window), c.result) << c.window;
  EXPECT_EQ(IsSecondaryWindow("windows.hlp", nullptr), 0);
  EXPECT_EQ(files.openCount(), 0);
}

TEST(SecondaryWindow, FilesWithoutDefinitions) {
  MemoryFiles files;
  Bytes shortRecord = SystemFile(kMinorWindows31, 0, {{6, Bytes(11, 'A')}, WindowRecord("AAAA", "")});
  // Title bytes of a 3.0 file that would read as a type-6 record naming "MAIN".
  Bytes title30 = {6, 0, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'M', 'A', 'I', 'N', 0};
  Bytes system30 = System30File(0, std::string(title30.begin(), title30.end()));
  // A record whose length runs past the end: the search stops there.
  Bytes cut = SystemFile(kMinorWindows31, 0, {WindowRecord("cut", "")});
  cut.resize(cut.size() - 40);
  files.Add("short-record.hlp", BuildContainer({{"|SYSTEM", shortRecord}}).bytes);
  files.Add("windows30.hlp", BuildContainer({{"|SYSTEM", system30}}).bytes);
  files.Add("cut.hlp", BuildContainer({{"|SYSTEM", cut}}).bytes);
  files.Add("no-system.hlp", BuildContainer({{"|TOPIC", Bytes(8, 0)}}).bytes);
  files.Add("not-help.hlp", Bytes{'h', 'e', 'l', 'p'});
  struct Case {
    const char *file;
    const char *window;
    int32_t result;
  } cases[] = {
      {"short-record.hlp", "AAAA", 1},  // found after the short record
      {"short-record.hlp", "", 0},
      {"windows30.hlp", "MAIN", 0},
      {"cut.hlp", "cut", 0},
      {"no-system.hlp", "main", 0},
      {"not-help.hlp", "main", 0},
      {"missing.hlp", "main", 0},
  };
  for (const Case &c : cases) EXPECT_EQ(IsSecondaryWindow(c.file, c.window), c.result) << c.file << " " << c.window;
  EXPECT_EQ(files.openCount(), 0);
}

}  // namespace
