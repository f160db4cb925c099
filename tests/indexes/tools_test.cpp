// The six index tools end to end: vorlen, lustav, daskol, pelivar, gormish
// and meront, on help files that halibut makes from sources in the
// repository (whose titles, index terms and contexts are known from the
// source), on built fixtures, and on real files.
#include <gtest/gtest.h>

#include <marlet/marlet.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/help_builder.h"
#include "support/index_builder.h"

using namespace fixture;

namespace {

std::string Quote(const std::string &text) { return "'" + text + "'"; }

CommandResult Tool(const std::string &tool, const std::string &args = "") {
  return RunCommand(ProgramPath(tool) + (args.empty() ? "" : " " + args));
}

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string ReadText(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// ---- Usage and files that cannot be opened ---------------------------------

TEST(Tools, UsageTexts) {
  struct Case {
    const char *tool;
    const char *args;
    int exitCode;
    const char *text;
  } cases[] = {
      {"vorlen", "", 0,
       "VORLEN : Simple Example program for Quillon\n"
       "          Lists the Keywords contained in a Help File\n"
       "Usage: VORLEN Filename [StartKeyWord] [List]\n"},
      {"lustav", "", 0,
       "LUSTAV: Simple Example program for Quillon\n"
       "          Enumerates the List of Topics (|TTLBTREE) contained in a"
       "          Help or Media Viewer File.Usage: LUSTAV Filename\n"},
      {"daskol", "", 0,
       "DASKOL: Simple Example program for Quillon\n"
       "          Enumerates the Hash-Codes with their appropiate Context-StringsUSAGE   : DASKOL Filename\n"},
      {"pelivar", "", 0,
       "PELIVAR: Simple Example program for Quillon\n"
       "          Enumerates the List of Topics (|TTLBTREE) contained in a\n"
       "          Help or Media Viewer File with the associated Context Id\n"
       "          String created form the Hash-Value.\n"
       "Usage: PELIVAR Filename\n"},
      {"meront", "", 0,
       "MERONT : Simple Example program for Quillon\n"
       "           Lists the Copyright-Strings of all Help-Files matching the given Wildcard\n"
       "USEAGE   : MERONT Wildcards\n"
       "EXAMPLE  : MERONT C:\\WINDOWS\\*.HLP\n"},
  };
  const char *gormishUsage =
      "GORMISH: Simple Example program for Quillon\n"
      "          Displays if a Topic with a given Context Strings exits in a given\n"
      "          Help or Media Viewer File.\n"
      "USAGE   : GORMISH Filename Context-String\n"
      "EXAMPLE : GORMISH MYFILE.HLP IDH_CONTENTS\n"
      "EXITCODE: 0 if Topic Exists, 1 if Topic does not Exist\n\n";
  for (const Case &c : cases) {
    CommandResult result = Tool(c.tool, c.args);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.tool;
    EXPECT_EQ(result.out, c.text) << c.tool;
  }
  for (const char *args : {"", "file.hlp"}) {
    CommandResult result = Tool("gormish", args);
    EXPECT_EQ(result.exitCode, 2) << args;
    EXPECT_EQ(result.out, gormishUsage) << args;
  }
}

TEST(Tools, FilesThatCannotBeOpened) {
  TempDir dir;
  std::string notHelp = dir.Write("text.hlp", Bytes{'n', 'o', 't', ' ', 'h', 'e', 'l', 'p'});
  for (const std::string &path : {dir.path() + "/missing.hlp", notHelp}) {
    for (const char *tool : {"vorlen", "lustav", "daskol", "pelivar"}) {
      CommandResult result = Tool(tool, Quote(path));
      EXPECT_EQ(result.exitCode, 0) << tool;
      EXPECT_EQ(result.out, "File could not be opened\n") << tool << " " << path;
    }
    CommandResult result = Tool("gormish", Quote(path) + " Top");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "topic has NOT been found");
  }
}

// ---- A help file made by halibut from tests/data/halibut/atlas.but ---------
//
// Halibut titles its topics "Contents", then "Chapter n: ...", "Section
// n.m: ..." and "Appendix A: ..." in document order.  It does not store the
// section ids of the source as context strings: the contents topic is "Top"
// and every section after it "t" followed by its number in document order,
// eight decimal digits, from t00000000.

const std::vector<std::string> kAtlasTitles = {
    "Contents",
    "Chapter 1: Rivers",
    "Section 1.1: Rivers of Europe",
    "Section 1.2: Rivers of Africa",
    "Chapter 2: Lakes",
    "Section 2.1: Lakes of Europe",
    "Appendix A: Sources",
};

// Index terms (\i and \I) and the topics that carry them, in index order.
const std::vector<std::pair<std::string, std::vector<int>>> kAtlasKeywords = {
    {"Amazon", {1}},         {"Black Sea", {2}},      {"Caspian Sea", {4}},    {"Congo", {3}},
    {"Danube", {1, 2, 6}},   {"Lake Baikal", {4}},    {"Lake Constance", {5}}, {"Lake Geneva", {5}},
    {"Nile", {1, 3, 6}},     {"North Sea", {2}},      {"Rhine", {1, 2, 5}},
};

std::string ContextOf(size_t topic) {
  if (topic == 0) return "Top";
  char name[32];
  std::snprintf(name, sizeof name, "t%08u", static_cast<unsigned>(topic - 1));
  return name;
}

std::string Atlas() {
  std::string path = HalibutDir() + "/atlas.hlp";
  return std::filesystem::exists(path) ? path : "";
}

#define NEED_ATLAS()                                                        \
  const std::string atlas = Atlas();                                        \
  if (atlas.empty()) GTEST_SKIP() << "left out: halibut made no help files"

// The topic offsets as lustav prints them, checked against the titles of
// the source.
std::vector<uint32_t> AtlasOffsets(const std::string &atlas) {
  std::vector<uint32_t> offsets;
  std::vector<std::string> lines = Lines(Tool("lustav", Quote(atlas)).out);
  EXPECT_EQ(lines.size(), kAtlasTitles.size());
  for (size_t i = 0; i < lines.size() && i < kAtlasTitles.size(); ++i) {
    unsigned offset = 0;
    char title[256] = {};
    EXPECT_EQ(std::sscanf(lines[i].c_str(), "TopicOffset:%8x\tTitle:\"%255[^\"]\"", &offset, title), 2) << lines[i];
    EXPECT_EQ(title, kAtlasTitles[i]);
    EXPECT_EQ(lines[i], [&] {
      char expected[300];
      std::snprintf(expected, sizeof expected, "TopicOffset:%08x\tTitle:\"%s\"", offset, kAtlasTitles[i].c_str());
      return std::string(expected);
    }());
    if (!offsets.empty()) {
      EXPECT_GT(offset, offsets.back());
    }
    offsets.push_back(offset);
  }
  return offsets;
}

TEST(ToolsOnHalibut, LustavListsTheTitlesOfTheSource) {
  NEED_ATLAS();
  std::vector<uint32_t> offsets = AtlasOffsets(atlas);
  ASSERT_FALSE(offsets.empty());
  EXPECT_EQ(offsets.front(), 0u);
}

TEST(ToolsOnHalibut, DaskolListsEverySectionContext) {
  NEED_ATLAS();
  std::vector<uint32_t> offsets = AtlasOffsets(atlas);
  std::map<uint32_t, uint32_t> expected;  // hash -> topic offset
  for (size_t topic = 0; topic < offsets.size(); ++topic)
    expected[static_cast<uint32_t>(HlpGenerateHashValue(ContextOf(topic).c_str()))] = offsets[topic];
  std::map<uint32_t, uint32_t> listed;
  int32_t previousHash = INT32_MIN;
  for (const std::string &line : Lines(Tool("daskol", Quote(atlas)).out)) {
    unsigned hash = 0, offset = 0;
    char text[32] = {};
    ASSERT_EQ(std::sscanf(line.c_str(), "Hash:0x%8x TopicOffset:0x%8x String:%31s", &hash, &offset, text), 3) << line;
    EXPECT_EQ(static_cast<uint32_t>(HlpGenerateHashValue(text)), hash) << line;  // the string stands in
    EXPECT_GE(static_cast<int32_t>(hash), previousHash);                       // signed order
    previousHash = static_cast<int32_t>(hash);
    listed[hash] = offset;
  }
  EXPECT_EQ(listed, expected);
}

TEST(ToolsOnHalibut, PelivarPutsEachTopicsOwnContextBeforeItsTitle) {
  NEED_ATLAS();
  std::vector<std::string> lines = Lines(Tool("pelivar", Quote(atlas)).out);
  ASSERT_EQ(lines.size(), kAtlasTitles.size());
  for (size_t topic = 0; topic < lines.size(); ++topic) {
    size_t tab = lines[topic].find('\t');
    ASSERT_NE(tab, std::string::npos);
    EXPECT_GE(tab, 15u);  // filled up with blanks to 15 characters
    std::string text = lines[topic].substr(0, lines[topic].find(' '));
    EXPECT_EQ(HlpGenerateHashValue(text.c_str()), HlpGenerateHashValue(ContextOf(topic).c_str())) << lines[topic];
    EXPECT_EQ(lines[topic].substr(tab + 1), kAtlasTitles[topic]);
  }
  EXPECT_EQ(lines[0], "top            \tContents");  // "Top" reverses to itself, in small letters
}

TEST(ToolsOnHalibut, VorlenListsTheIndexTermsOfTheSource) {
  NEED_ATLAS();
  std::vector<uint32_t> offsets = AtlasOffsets(atlas);
  ASSERT_EQ(offsets.size(), kAtlasTitles.size());
  std::string expected;
  uint32_t dataOffset = 0;
  for (const auto &[word, topics] : kAtlasKeywords) {
    char line[512];
    std::snprintf(line, sizeof line, "Offset:0x%08x Count:0x%04zx KW:%s\n", dataOffset, topics.size(), word.c_str());
    expected += line;
    for (int topic : topics) {
      std::snprintf(line, sizeof line, "  TopicOffset: 0x%08x  TopicOffsetStart: 0x%08x  Title:%s\n",
                    offsets[topic], offsets[topic], kAtlasTitles[topic].c_str());
      expected += line;
    }
    dataOffset += static_cast<uint32_t>(4 * topics.size());
  }
  CommandResult result = Tool("vorlen", Quote(atlas));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, expected);

  // From a start keyword, in any case.
  auto keywordsFrom = [&](const std::string &args) {
    std::vector<std::string> words;
    for (const std::string &line : Lines(Tool("vorlen", Quote(atlas) + " " + args).out))
      if (line.rfind("Offset:", 0) == 0) words.push_back(line.substr(line.find("KW:") + 3));
    return words;
  };
  EXPECT_EQ(keywordsFrom("'LAKE GENEVA'"), (std::vector<std::string>{"Lake Geneva", "Nile", "North Sea", "Rhine"}));
  EXPECT_EQ(keywordsFrom("lake"), (std::vector<std::string>{"Lake Baikal", "Lake Constance", "Lake Geneva", "Nile",
                                                            "North Sea", "Rhine"}));
  EXPECT_TRUE(keywordsFrom("zambezi").empty());
  EXPECT_EQ(keywordsFrom("'' K").size(), kAtlasKeywords.size());
  // Another list: its data file is missing.
  EXPECT_EQ(Tool("vorlen", Quote(atlas) + " '' A").out, "Internal File \"|AWDATA\" not found\n");
  EXPECT_EQ(Tool("vorlen", Quote(HalibutDir() + "/plain.hlp")).out, "Internal File \"|KWDATA\" not found\n");
}

TEST(ToolsOnHalibut, GormishTellsByItsExitCode) {
  NEED_ATLAS();
  struct Case {
    const char *context;
    int exitCode;
  } cases[] = {
      {"Top", 0},
      {"TOP", 0},  // the hash does not tell case apart
      {"t00000000", 0},
      {"T00000005", 0},
      {"t00000006", 1},
      {"rivers", 1},  // a section id of the source: halibut does not store it
      {"lakes-europe", 1},
  };
  for (const Case &c : cases) {
    CommandResult result = Tool("gormish", Quote(atlas) + " " + c.context + " ignored");
    EXPECT_EQ(result.exitCode, c.exitCode) << c.context;
    EXPECT_EQ(result.out, c.exitCode == 0 ? "topic has been found" : "topic has NOT been found") << c.context;
  }
}

// ---- Built fixtures ---------------------------------------------------------

TEST(Tools, FilesWithoutIndexes) {
  TempDir dir;
  std::string path = dir.Write("bare.hlp", BuildContainer({{"|SYSTEM", SystemFile(21, 0, {})}}).bytes);
  for (const char *tool : {"lustav", "daskol", "pelivar"}) {
    CommandResult result = Tool(tool, Quote(path));
    EXPECT_EQ(result.exitCode, 0) << tool;
    EXPECT_EQ(result.out, "") << tool;
  }
  EXPECT_EQ(Tool("gormish", Quote(path) + " Top").exitCode, 1);
  // Titles without any context: the string made for hash 0, the empty one.
  path = dir.Write("titles.hlp", BuildContainer({{"|TTLBTREE", TitleTree({{0, ""}, {0x40, "Two"}}).bytes}}).bytes);
  EXPECT_EQ(Tool("lustav", Quote(path)).out, "TopicOffset:00000000\tTitle:\"\"\nTopicOffset:00000040\tTitle:\"Two\"\n");
  EXPECT_EQ(Tool("pelivar", Quote(path)).out, "               \t\n               \tTwo\n");
}

TEST(Tools, DaskolPrintsHashesAsUnsignedPatterns) {
  TempDir dir;
  std::string path = dir.Write(
      "contexts.hlp",
      BuildContainer({{"|CONTEXT", ContextTree({{static_cast<int32_t>(0x80000000u), 0x10}, {32226, 0x8000}}).bytes}}).bytes);
  EXPECT_EQ(Tool("daskol", Quote(path)).out,
            "Hash:0x80000000 TopicOffset:0x00000010 String:Ind4d6_nh\n"
            "Hash:0x00007de2 TopicOffset:0x00008000 String:abc\n");
}

TEST(Tools, PelivarTakesTheNearestContextAndTheFirstOfATie) {
  TempDir dir;
  // Title at 100; contexts at 90 and 110 lie at the same distance, and the
  // first in index order (the lower signed hash) wins; 300 is nearest to 290.
  std::vector<Context> contexts = {{HlpGenerateHashValue("later"), 110}, {HlpGenerateHashValue("abc"), 90},
                                   {HlpGenerateHashValue("far"), 300}};
  std::string path = dir.Write("near.hlp", BuildContainer({{"|CONTEXT", ContextTree(contexts).bytes},
                                                           {"|TTLBTREE", TitleTree({{100, "Middle"}, {290, "End"}}).bytes}})
                                               .bytes);
  const char *first = HlpGenerateHashValue("abc") < HlpGenerateHashValue("later") ? "abc" : "later";
  EXPECT_EQ(Tool("pelivar", Quote(path)).out,
            std::string(first) + std::string(15 - std::strlen(first), ' ') + "\tMiddle\nfar            \tEnd\n");
}

TEST(Tools, VorlenOnDamagedAndUnusualKeywordLists) {
  // Topics at 0x100 and 0x200.  "Below" names an offset below every topic,
  // "Empty" no topic at all, "Past" a data offset beyond the end of
  // |KWDATA, "Cut" a topic list that the end of |KWDATA cuts short.
  KeywordFiles list = KeywordList({{"Below", {0x10}}, {"Cut", {0x200, 0x100, 0x100}}, {"Empty", {}},
                                   {"Past", {0x100}}, {"Topic", {0x200, 0x1FF}}});
  Bytes tree = list.tree.bytes;
  auto patch = [&](const char *word, uint32_t offset) {
    std::string key(word);
    key.push_back('\0');
    auto at = std::search(tree.begin(), tree.end(), key.begin(), key.end());
    ASSERT_NE(at, tree.end());
    SetU32(tree, static_cast<size_t>(at - tree.begin()) + key.size() + 2, offset);
  };
  patch("Past", 0x10000);
  // "Cut" is made to begin at the last topic of the file, the second of "Topic".
  Bytes data = list.data;
  patch("Cut", static_cast<uint32_t>(data.size() - 4));
  TempDir dir;
  std::string path = dir.Write("keywords.hlp", BuildContainer({{"|KWBTREE", tree},
                                                               {"|KWDATA", data},
                                                               {"|TTLBTREE", TitleTree({{0x100, "First"}, {0x200, "Second"}}).bytes}})
                                                   .bytes);
  char expected[2048];
  std::snprintf(expected, sizeof expected,
                "Offset:0x%08x Count:0x0001 KW:Below\n"
                "  TopicOffset: 0x00000010: ERROR\n\n"
                "Offset:0x%08zx Count:0x0003 KW:Cut\n"
                "  TopicOffset: 0x000001ff  TopicOffsetStart: 0x00000100  Title:First\n"
                "Offset:0x%08x Count:0x0000 KW:Empty\n"
                "Offset:0x00010000 Count:0x0001 KW:Past\n"
                "Offset:0x%08x Count:0x0002 KW:Topic\n"
                "  TopicOffset: 0x00000200  TopicOffsetStart: 0x00000200  Title:Second\n"
                "  TopicOffset: 0x000001ff  TopicOffsetStart: 0x00000100  Title:First\n",
                list.dataOffsets[0], data.size() - 4, list.dataOffsets[2], list.dataOffsets[4]);
  CommandResult result = Tool("vorlen", Quote(path));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, expected);
}

// ---- meront -----------------------------------------------------------------

TEST(Meront, ListsTheCopyrightOfEveryMatchingFile) {
  NEED_ATLAS();
  TempDir dir;
  dir.Write("atlas.hlp", ReadFileBytes(atlas));
  dir.Write("Notes.HLP", Bytes{'j', 'u', 's', 't', ' ', 't', 'e', 'x', 't'});
  dir.Write("nosystem.hlp", BuildContainer({{"|TOPIC", Bytes(16, 0)}}).bytes);
  dir.Write("plain.hlp", ReadFileBytes(HalibutDir() + "/plain.hlp"));
  dir.Write("short.hlp", BuildContainer({{"|SYSTEM", SystemFile(21, 0, {TextRecord(2, "(c")})}}).bytes);
  dir.Write("readme.txt", Bytes{'x'});
  const std::string d = dir.path() + "/";
  CommandResult result = Tool("meront", Quote(d + "*.HLP") + " ignored");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, d + "atlas.hlp: Copyright 1999 The Atlas Makers\n" +  //
                            d + "nosystem.hlp: Obviously no Help-File\n" +       //
                            d + "Notes.HLP: Unable to open\n" +                  //
                            d + "plain.hlp: No copyright entry in this file\n" + //
                            d + "short.hlp: No copyright entry in this file\n");
  // Without a directory part the names print bare.
  EXPECT_EQ(RunCommand("cd " + Quote(dir.path()) + " && " + ProgramPath("meront") + " '?tlas.*'").out,
            "atlas.hlp: Copyright 1999 The Atlas Makers\n");
  EXPECT_EQ(Tool("meront", Quote(d + "*.chm")).out, "");
  EXPECT_EQ(Tool("meront", Quote(d + "missing/*.hlp")).out, "");
}

// On POSIX systems the directory part ends at the last "/"; a backslash is
// part of a file name and must not cut the path.
TEST(Meront, ABackslashIsPartOfTheName) {
  NEED_ATLAS();
  TempDir dir;
  dir.Write("odd\\atlas.hlp", ReadFileBytes(atlas));
  const std::string d = dir.path() + "/";
  EXPECT_EQ(Tool("meront", Quote(d + "odd\\*")).out, d + "odd\\atlas.hlp: Copyright 1999 The Atlas Makers\n");
}

// ---- Real files ---------------------------------------------------------------

// The repository's copies of real files, with the expected listings.
std::filesystem::path RepositoryRealFiles() {
  return std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / "real";
}

int CompareWithExpected(const std::filesystem::path &files, const std::filesystem::path &expected) {
  int compared = 0;
  for (const auto &entry : std::filesystem::directory_iterator(files)) {
    for (const char *tool : {"lustav", "daskol", "vorlen", "pelivar"}) {
      std::filesystem::path want = expected / (entry.path().filename().string() + "." + tool);
      if (!std::filesystem::exists(want)) continue;
      CommandResult result = Tool(tool, Quote(entry.path().string()));
      EXPECT_EQ(result.exitCode, 0);
      EXPECT_TRUE(result.out == ReadText(want)) << tool << " " << entry.path() << " differs from " << want;
      ++compared;
    }
  }
  return compared;
}

TEST(ToolsOnRealFiles, MatchTheExpectedListingsInTheRepository) {
  std::filesystem::path real = RepositoryRealFiles();
  EXPECT_EQ(CompareWithExpected(real, real / "expected"), 8);
  // AproFAQ defines the windows "main" and "second".
  std::string faq = (real / "AsyncPro__AproFAQ.hlp").string();
  EXPECT_EQ(IsSecondaryWindow(faq.c_str(), "SECOND"), 1);
  EXPECT_EQ(IsSecondaryWindow(faq.c_str(), "main"), 1);
  EXPECT_EQ(IsSecondaryWindow(faq.c_str(), "sec"), 0);
  EXPECT_EQ(Tool("gormish", Quote(faq) + " IDH_nonsense").exitCode, 1);
}

TEST(ToolsOnRealFiles, MatchTheExpectedListingsOfTheCorpus) {
  std::string corpus = CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "left out: no shared corpus of real files on this machine";
  int compared = 0;
  for (const char *folder : {"hlp", "gid"}) compared += CompareWithExpected(corpus + "/" + folder, corpus + "/expected");
  EXPECT_GE(compared, 100);
  // The files that are no help containers.
  for (const auto &entry : std::filesystem::directory_iterator(corpus + "/odd"))
    for (const char *tool : {"vorlen", "lustav", "daskol", "pelivar"})
      EXPECT_EQ(Tool(tool, Quote(entry.path().string())).out, "File could not be opened\n") << entry.path();
}

}  // namespace
