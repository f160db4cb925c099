// The order of the keyword trees of real help files against our lstrcmpiA,
// which folds the ASCII capitals to small letters and compares unsigned bytes.
//
// The help compilers sorted keywords with the platform's locale-aware
// comparison, which ignores hyphens and apostrophes and puts punctuation
// before digits and digits before letters.  The two agree except where such
// characters decide the order: there a walk from a start keyword can deliver
// a keyword that the file stores before the start, or skip one after it.
// The walk from the empty start keyword is not affected.
#include <gtest/gtest.h>

#include <marlet/marlet.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/help_builder.h"

namespace {

int32_t MARLET_API Collect(const char *keyword, int32_t, int32_t, MarletUserData user) {
  reinterpret_cast<std::vector<std::string> *>(user)->push_back(keyword);
  return 1;
}

struct Disorder {
  std::string file, before, after;
};

// Pairs of neighbours that the tree stores in an order our comparison
// reverses.
void CheckKeywordOrder(const std::filesystem::path &path, std::vector<Disorder> *disorders, int *trees) {
  IfsHandle container = IFSOpen(path.string().c_str());
  if (container == nullptr) return;
  for (const char *list : {"A", "K"}) {
    std::string tree = std::string("|") + list + "WBTREE";
    std::vector<std::string> words;
    if (HlpEnumKeyWords(container, Collect, "", tree.c_str(), reinterpret_cast<MarletUserData>(&words)) == 0) continue;
    ++*trees;
    for (size_t i = 1; i < words.size(); ++i)
      if (lstrcmpiA(words[i - 1].c_str(), words[i].c_str()) > 0)
        disorders->push_back({path.filename().string(), words[i - 1], words[i]});
  }
  IFSClose(container);
}

bool DecidedByPunctuation(const Disorder &d) {
  // The first place where the two differ without regard to case.
  size_t i = 0;
  while (i < d.before.size() && i < d.after.size() &&
         std::tolower(static_cast<unsigned char>(d.before[i])) == std::tolower(static_cast<unsigned char>(d.after[i])))
    ++i;
  auto punctuation = [](const std::string &s, size_t at) {
    return at < s.size() && std::string("-':_ ").find(s[at]) != std::string::npos;
  };
  return punctuation(d.before, i) || punctuation(d.after, i);
}

TEST(KeywordOrder, RealTreesDisagreeWithLstrcmpiOnlyOverPunctuation) {
  std::vector<std::filesystem::path> files;
  std::filesystem::path real = std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / "real";
  for (const auto &entry : std::filesystem::directory_iterator(real))
    if (entry.is_regular_file()) files.push_back(entry.path());
  if (!fixture::CorpusDir().empty())
    for (const auto &entry : std::filesystem::directory_iterator(fixture::CorpusDir() + "/hlp"))
      files.push_back(entry.path());
  std::vector<Disorder> disorders;
  int trees = 0;
  for (const auto &path : files) CheckKeywordOrder(path, &disorders, &trees);
  EXPECT_GE(trees, 2);
  for (const Disorder &d : disorders) {
    EXPECT_TRUE(DecidedByPunctuation(d)) << d.file << ": \"" << d.before << "\" before \"" << d.after << "\"";
    std::printf("  %s: \"%s\" stored before \"%s\"\n", d.file.c_str(), d.before.c_str(), d.after.c_str());
  }
  // AproFAQ, in the repository: "In what order ..." before "I've received ...".
  EXPECT_FALSE(disorders.empty());
}

// Halibut writes its keyword tree in bytewise order, capitals before small
// letters, which no lstrcmpi-based reader expects: a walk from a start
// keyword finds capitalised keywords after it that belong before it.
TEST(KeywordOrder, HalibutSortsKeywordsBytewise) {
  std::string guide = fixture::HalibutDir() + "/quillon-guide.hlp";
  if (!std::filesystem::exists(guide)) GTEST_SKIP() << "left out: halibut made no help files";
  IfsHandle container = IFSOpen(guide.c_str());
  ASSERT_NE(container, nullptr);
  std::vector<std::string> words, fromContext;
  EXPECT_EQ(HlpEnumKeyWords(container, Collect, "", "|KWBTREE", reinterpret_cast<MarletUserData>(&words)), 1);
  EXPECT_EQ(HlpEnumKeyWords(container, Collect, "context", "|KWBTREE", reinterpret_cast<MarletUserData>(&fromContext)), 1);
  IFSClose(container);
  // The index terms of samples/quillon-guide.but.
  const std::vector<std::string> bytewise = {"Media Viewer", "Quillon",         "Windows Help",
                                             "context hash", "context strings", "hash"};
  EXPECT_EQ(words, bytewise);
  EXPECT_EQ(fromContext, bytewise);  // one leaf: every keyword is not below "context"
}

}  // namespace
