// libmarlet exports its functions by plain names and nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>

#include "support/help_builder.h"

namespace {

// The 25 of the ordinal table and the length-checked picture import beside
// it.
const std::set<std::string> kExports = {
    "IFSOpen", "IFSClose", "IFSOpenFile", "IFSCloseFile", "IFSSeekFile", "IFSReadFile", "IFSEnumerateFiles",
    "HlpGenerateHashValue", "HlpCreateStringForHashValue", "HlpGetHelpTitle", "HlpFreeHelpTitle",
    "IsSecondaryWindow", "HlpEnumTitles", "HlpGetTopicTitle", "HlpEnumContext", "HlpIsTopic", "IsTopic",
    "HlpEnumKeyWords", "HlpTopicOpen", "HlpTopicClose", "HlpTopicEnumerate", "HlpTopicSeek", "HlpTopicJumpAPI",
    "SHGImport", "SHGImportEx", "SHGExport",
};

TEST(Exports, TheSharedLibraryExportsExactlyItsFunctions) {
  fixture::CommandResult result =
      fixture::RunCommand(std::string("nm -D --defined-only ") + QUILLON_MARLET_LIBRARY);
  ASSERT_EQ(result.exitCode, 0);
  std::set<std::string> found;
  std::istringstream lines(result.out);
  std::string address, type, name;
  while (lines >> address >> type >> name) {
    if (type == "T" || type == "D" || type == "B" || type == "W" || type == "V" || type == "R" || type == "i")
      found.insert(name);
  }
  EXPECT_EQ(found, kExports);
}

}  // namespace
