// fentro, the internal file lister, end to end.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/help_builder.h"

using namespace fixture;

namespace {

std::string Fentro(const std::string &args) { return RunCommand(ProgramPath("fentro") + " " + args).out; }

TEST(Fentro, UsageTextWithoutArguments) {
  CommandResult result = RunCommand(ProgramPath("fentro"));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out,
            "FENTRO : Simple Example program for Quillon\n"
            "          Enumerates the List of Files (Baggage and internal) contained in a"
            "          Help internal file System.Usage: FENTRO Filename\n");
}

TEST(Fentro, FilesThatCannotBeOpened) {
  TempDir dir;
  std::string notHelp = dir.Write("text.hlp", Bytes{'h', 'e', 'l', 'l', 'o'});
  for (const std::string &path : {dir.path() + "/missing.hlp", notHelp}) {
    CommandResult result = RunCommand(ProgramPath("fentro") + " " + path + " ignored");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "File could not be opened\n");
  }
}

TEST(Fentro, ListsEveryFileWithOffsetAndSize) {
  BuiltContainer built = BuildContainer({{"|SYSTEM", Bytes(12, 0)}, {"zero", {}}, {"bag.dat", Bytes(0x1234, 7)}});
  TempDir dir;
  std::string path = dir.Write("built.hlp", built.bytes);
  char expected[512];
  std::snprintf(expected, sizeof expected,
                "FileOffset:0x%08x Size:0x00001234\tFileName:\"bag.dat\"\n"
                "FileOffset:0x%08x Size:0x00000000\tFileName:\"zero\"\n"
                "FileOffset:0x%08x Size:0x0000000c\tFileName:\"|SYSTEM\"\n",
                built.headerOffsets["bag.dat"], built.headerOffsets["zero"], built.headerOffsets["|SYSTEM"]);
  EXPECT_EQ(Fentro(path), expected);
}

TEST(Fentro, AnEntryThatCannotBeOpenedIsReportedAndTheListingGoesOn) {
  BuiltContainer built = BuildContainer({{"a", Bytes(3, 1)}, {"b", Bytes(4, 2)}, {"c", Bytes(5, 3)}});
  // Entry "b" names offset 0, which opens nothing.
  auto at = std::search(built.bytes.begin() + built.directoryOffset, built.bytes.end(), std::begin("b"), std::end("b"));
  SetU32(built.bytes, static_cast<size_t>(at - built.bytes.begin()) + 2, 0);
  TempDir dir;
  std::string out = Fentro(dir.Write("x.hlp", built.bytes));
  EXPECT_NE(out.find("FileOffset:0x00000000 Access ERROR!\tFileName:\"b\"\n"), std::string::npos) << out;
  EXPECT_NE(out.find("FileName:\"c\"\n"), std::string::npos);
}

// Help files made by halibut: every system file is listed, with the sizes
// that the file's own headers give.
TEST(Fentro, ListsHalibutFiles) {
  std::string dir = HalibutDir();
  if (!std::filesystem::exists(dir + "/quillon-guide.hlp")) GTEST_SKIP() << "left out: halibut made no help files";
  for (const auto &entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".hlp") continue;
    std::string out = Fentro(entry.path().string());
    for (const char *name : {"|CONTEXT", "|FONT", "|SYSTEM", "|TOPIC", "|TTLBTREE"})
      EXPECT_NE(out.find(std::string("FileName:\"") + name + "\"\n"), std::string::npos)
          << entry.path() << " lacks " << name;
    EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;
  }
}

TEST(Fentro, MatchesTheExpectedListingsOfRealFiles) {
  std::string corpus = CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "left out: no shared corpus of real files on this machine";
  int compared = 0;
  for (const char *folder : {"hlp", "gid"}) {
    for (const auto &entry : std::filesystem::directory_iterator(corpus + "/" + folder)) {
      std::string expectedPath = corpus + "/expected/" + entry.path().filename().string() + ".fentro";
      if (!std::filesystem::exists(expectedPath)) continue;
      std::ifstream expected(expectedPath, std::ios::binary);
      std::stringstream text;
      text << expected.rdbuf();
      EXPECT_EQ(Fentro("'" + entry.path().string() + "'"), text.str()) << entry.path();
      ++compared;
    }
  }
  EXPECT_GT(compared, 20);
}

}  // namespace
