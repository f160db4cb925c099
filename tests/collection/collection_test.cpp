// Collections: folders, archives and disc images of help files become one
// library whose jumps between help files lead to the right page; damaged and
// hostile inputs fail alone, in the manifest, and write nothing outside the
// output folder.
#include <gtest/gtest.h>

#include <marlet/marlet.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "quillon/collection/inputs.h"
#include "quillon/collection/library.h"
#include "quillon/html/site.h"
#include "support/document_builder.h"
#include "support/help_builder.h"
#include "support/link_check.h"
#include "support/shg_builder.h"
#include "zip_recipe.h"

using namespace quillon;
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// ---- Inputs of the tests ---------------------------------------------------------------------

std::string ReadText(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void Put(const fs::path &root, const std::string &relative, const std::string &bytes) {
  fs::path path = root / relative;
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string AsString(const fixture::Bytes &bytes) { return std::string(bytes.begin(), bytes.end()); }

// A paragraph of jumps into other help files: each (context, file) a hotspot.
fixture::TopicRecord JumpsElsewhere(const std::vector<std::pair<std::string, std::string>> &jumps) {
  fixture::Bytes commands;
  std::vector<std::string> texts = {"See "};
  for (const auto &[context, file] : jumps) {
    fixture::PutBytes(commands, fixture::JumpElsewhere(context, file));
    texts.push_back(context + " in " + file);
    fixture::PutBytes(commands, fixture::HotspotEnd());
    texts.push_back(" ");
  }
  fixture::PutBytes(commands, {0x82});
  texts.push_back("");
  return fixture::Paragraph(texts, commands);
}

// Two help files of a product that jump to each other (one with a folder
// and other letter case in the name, as authors wrote them), to a context the
// other file lacks and to a file that is not there.
std::string Alpha() {
  fixture::DocRecipe recipe;
  recipe.title = "Alpha Help";
  recipe.copyright = "Alpha & Co.";
  recipe.topics = {{"Alpha start",
                    {"alpha_top"},
                    {},
                    {fixture::TextParagraph("Alpha."),
                     JumpsElsewhere({{"beta_top", "BETA.HLP"}, {"beta_second", "c:\\help\\Beta.hlp"},
                                     {"no_such_context", "beta.hlp"}, {"anything", "MISSING.HLP"}})}},
                   {"Alpha two", {"alpha_two"}, {}, {fixture::TextParagraph("Second alpha topic.")}}};
  return AsString(fixture::BuildDocument(recipe).bytes);
}

std::string Beta(const std::string &title) {
  fixture::DocRecipe recipe;
  recipe.title = title;
  recipe.topics = {{"Beta start", {"beta_top"}, {}, {fixture::TextParagraph(title), JumpsElsewhere({{"alpha_two", "..\\HELP\\ALPHA.HLP"}})}},
                   {"Beta second", {"beta_second"}, {}, {fixture::TextParagraph("More beta.")}}};
  return AsString(fixture::BuildDocument(recipe).bytes);
}

// Beside a second BETA.HLP: its jump must reach the BETA of its own folder.
std::string Gamma() {
  fixture::DocRecipe recipe;
  recipe.title = "Gamma Help";
  recipe.topics = {{"Gamma start", {"gamma_top"}, {}, {JumpsElsewhere({{"beta_top", "beta.hlp"}})}}};
  return AsString(fixture::BuildDocument(recipe).bytes);
}

// A help file with a picture whose two halves jump and pop up: its page
// holds an image map.
std::string PictureHelp(const std::string &title) {
  using namespace fixture;
  BitmapPicture p;
  p.bitCount = 4;
  p.width = 64;
  p.height = 32;
  for (int c = 0; c < 16; ++c) PutBytes(p.colours, {static_cast<uint8_t>(c * 16), 128, 0, 0});
  p.packed.assign(p.width / 2 * p.height, 0x1E);
  FileHotspot jump, popup;
  jump.code = 0x04E3;
  jump.width = 32, jump.height = 32;
  jump.target = "second";
  popup.code = 0x04E2;
  popup.left = 32, popup.width = 32, popup.height = 32;
  popup.target = "note";
  p.hotspots = BuildHotspotData({jump, popup});
  DocRecipe recipe;
  recipe.title = title;
  Bytes commands = PictureRef(0);
  PutBytes(commands, {0x82});
  recipe.topics = {{"Picture", {"pictures"}, {}, {Paragraph({"See ", ""}, commands)}},
                   {"Second", {"second"}, {}, {TextParagraph("Left half.")}},
                   {"", {"note"}, {}, {TextParagraph("A note.")}}};
  recipe.extraFiles = {{"|bm0", BuildBitmapShg(p).bytes}};
  return AsString(BuildDocument(recipe).bytes);
}

std::string FileBytes(const std::string &path) { return AsString(fixture::ReadFileBytes(path)); }

std::string CorpusFile(const std::string &relative) {
  std::string corpus = fixture::CorpusDir();
  return corpus.empty() || !fs::exists(corpus + "/" + relative) ? "" : FileBytes(corpus + "/" + relative);
}

// A damaged help file: the container's magic number, then nothing that holds.
std::string Damaged() { return std::string("\x3F\x5F\x03\x00", 4) + std::string(200, '\x55'); }

// A KWAJ file with stored data (compression type 0) that keeps its name.
std::string Kwaj(const std::string &data, const std::string &name, const std::string &ext, int64_t claimed = -1) {
  std::string out("KWAJ\x88\xF0\x27\xD1", 8);
  std::string headers;
  fixture::ZipU32(headers, static_cast<uint32_t>(claimed >= 0 ? claimed : data.size()));
  headers += name + '\0' + ext + '\0';
  fixture::ZipU16(out, 0);                                        // stored
  fixture::ZipU16(out, static_cast<uint32_t>(14 + headers.size()));  // where the data begins
  fixture::ZipU16(out, 0x01 | 0x08 | 0x10);                       // length, file name, extension
  return out + headers + data;
}

// The collection the folder, ZIP and ISO tests share; its files by origin.
std::map<std::string, std::string> Collection() {
  std::map<std::string, std::string> files = {
      {"product/help/alpha.hlp", Alpha()},
      {"product/help/BETA.HLP", Beta("Beta Help")},
      {"product/help/alpha.cnt", ":Base alpha.hlp\n:Title Alpha\n1 Start=alpha_top\n1 Over in beta=beta_top@beta.hlp\n"},
      {"old/BETA.HLP", Beta("Old Beta Help")},
      {"old/gamma.hlp", Gamma()},
      {"readme.txt", "Not a help file.\n"},
      {"broken/damaged.hlp", Damaged()},
      {"install/KWAJHELP.HL_", Kwaj(Beta("Compressed Beta"), "KWAJHELP", "HLP")},
  };
  for (const char *name : {"manual", "atlas"}) {
    files[std::string("halibut/") + name + ".hlp"] = FileBytes(fixture::HalibutDir() + "/" + name + ".hlp");
    files[std::string("halibut/") + name + ".cnt"] = FileBytes(fixture::HalibutDir() + "/" + name + ".cnt");
  }
  if (std::string szdd = CorpusFile("odd/oemdisplay-tandy__TTY.HLP.szdd"); !szdd.empty())
    files["install/TTY.HL_"] = szdd;
  if (std::string gid = CorpusFile("gid/dean-chapman-alarm-v2-0__1-12898__help.GID"); !gid.empty())
    files["product/help/ALPHA.GID"] = gid;
  return files;
}

// ---- Checking a library ------------------------------------------------------------------------

// Every link of every page leads to a file of the library and an element of
// it; "../" links between sites are followed and stay inside the library.
fixture::LinkCheck CheckLibrary(const fs::path &root) {
  fixture::LinkCheckOptions options;
  options.followParentLinks = true;
  return fixture::CheckLinks(root, options);
}

json Manifest(const fs::path &root) { return json::parse(ReadText(root / "manifest.json")); }

// The manifest's inputs by origin.
std::map<std::string, json> InputsOf(const json &manifest) {
  std::map<std::string, json> inputs;
  for (const json &input : manifest.at("inputs")) inputs[input.at("origin").get<std::string>()] = input;
  return inputs;
}

std::string PageLinkTo(const std::string &site, const std::string &context) {
  return "../" + site + "/" + html::ContextPageName(static_cast<uint32_t>(HlpGenerateHashValue(context.c_str()))) +
         ".html";
}

// The page of a help file's topic that holds `text`.
std::string PageHolding(const fs::path &site, const std::string &text) {
  for (const auto &entry : fs::directory_iterator(site)) {
    if (entry.path().extension() != ".html") continue;
    std::string page = ReadText(entry.path());
    if (page.find(text) != std::string::npos && page.find("<main") != std::string::npos) return page;
  }
  return "";
}

// Everything below `dir` but what lies in `except`.
std::set<std::string> FilesOutside(const fs::path &dir, const fs::path &except) {
  std::set<std::string> names;
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
    if (it->path() == except) {
      it.disable_recursion_pending();
      continue;
    }
    names.insert(fs::relative(it->path(), dir).string());
  }
  return names;
}

bool Have(const char *program) { return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0; }

// ---- Inputs ---------------------------------------------------------------------------------------

TEST(Inputs, OriginsArePrintable) {
  struct Case {
    std::string raw, printable;
  } cases[] = {
      {"a/b/c.hlp", "a/b/c.hlp"},
      {"/abs/./x.hlp", "abs/x.hlp"},
      {"..\\..\\evil.hlp", "../../evil.hlp"},  // kept as text: origins are never opened
      {"dir//x", "dir/x"},
      {std::string("ctl\x01\x1b.hlp"), "ctl??.hlp"},
      {"caf\xC3\xA9.hlp", "caf\xC3\xA9.hlp"},
      {"bad\xFF\xFE.hlp", "bad\xEF\xBF\xBD\xEF\xBF\xBD.hlp"},
      {"over\xC0\xAF.hlp", "over\xEF\xBF\xBD\xEF\xBF\xBD.hlp"},  // an overlong "/" is no separator
      {"", ""},
  };
  for (const Case &c : cases) EXPECT_EQ(collection::PrintablePath(c.raw), c.printable) << c.raw;
  std::string longName = collection::PrintablePath(std::string(1000, 'n') + ".hlp");
  EXPECT_LE(longName.size(), 210u);
  EXPECT_EQ(longName.substr(longName.size() - 3), "\xE2\x80\xA6");
  std::string deep;
  for (int i = 0; i < 500; ++i) deep += "folder" + std::to_string(i) + "/";
  EXPECT_LE(collection::PrintablePath(deep + "x.hlp").size(), 2010u);
}

struct Found {
  std::vector<collection::Input> inputs;
  const collection::Input *Find(const std::string &origin) const {
    for (const collection::Input &input : inputs)
      if (input.origin == origin) return &input;
    return nullptr;
  }
};

Found Walk(const std::string &path, const collection::Limits &limits = {}) {
  Found found;
  std::string why;
  EXPECT_TRUE(collection::ReadInputs(path, limits, [&](collection::Input &&input) {
    found.inputs.push_back(std::move(input));
    return true;
  }, &why)) << why;
  return found;
}

// The COMPRESS formats expand in memory to what they hold, under the name
// they hold; truncated and over-long ones fail alone.
TEST(Inputs, CompressedFiles) {
  fixture::TempDir dir;
  const std::string help = Beta("Compressed");
  Put(dir.path(), "KWAJHELP.HL_", Kwaj(help, "KWAJHELP", "HLP"));
  Put(dir.path(), "claims.hl_", Kwaj(help, "CLAIMS", "HLP", 1u << 30));
  Put(dir.path(), "short.hl_", Kwaj(help.substr(0, 100), "SHORT", "HLP", help.size()));
  Put(dir.path(), "cut-header.hl_", Kwaj(help, "CUT", "HLP").substr(0, 12));
  std::string szdd = CorpusFile("odd/oemdisplay-tandy__TTY.HLP.szdd");
  if (!szdd.empty()) {
    Put(dir.path(), "TTY.HL_", szdd);
    Put(dir.path(), "cut.hl_", szdd.substr(0, szdd.size() / 2));
  }
  collection::Limits limits;
  limits.entryBytes = 1 << 20;
  Found found = Walk(dir.path(), limits);

  const collection::Input *kwaj = found.Find("KWAJHELP.HL_");
  ASSERT_NE(kwaj, nullptr);
  EXPECT_EQ(kwaj->kind, collection::Input::Kind::Container);
  EXPECT_EQ(kwaj->name, "KWAJHELP.HLP");
  ASSERT_NE(kwaj->bytes, nullptr);
  EXPECT_EQ(*kwaj->bytes, help);
  struct Failure {
    const char *origin, *why;
  } failures[] = {{"claims.hl_", "bound"}, {"short.hl_", "truncated"}, {"cut.hl_", "truncated"},
                       {"cut-header.hl_", "truncated"}};
  for (const Failure &f : failures) {
    const collection::Input *input = found.Find(f.origin);
    if (input == nullptr && std::string(f.origin) == "cut.hl_" && szdd.empty()) continue;
    ASSERT_NE(input, nullptr) << f.origin;
    EXPECT_EQ(input->kind, collection::Input::Kind::Failed) << f.origin;
    EXPECT_NE(input->why.find(f.why), std::string::npos) << f.origin << ": " << input->why;
  }
  if (!szdd.empty()) {
    const collection::Input *tty = found.Find("TTY.HL_");
    ASSERT_NE(tty, nullptr);
    EXPECT_EQ(tty->kind, collection::Input::Kind::Container);
  }
}

// ---- Whole libraries -----------------------------------------------------------------------------

struct Built {
  collection::BuildReport report;
  json manifest;
  std::map<std::string, json> inputs;
  fixture::LinkCheck check;
};

Built BuildAndCheck(const std::string &input, const fs::path &out, unsigned jobs = 2) {
  collection::BuildOptions options;
  options.jobs = jobs;
  Built built;
  built.report = collection::BuildLibrary(input, out.string(), options);
  EXPECT_TRUE(built.report.ok) << built.report.why;
  built.manifest = Manifest(out);
  built.inputs = InputsOf(built.manifest);
  built.check = CheckLibrary(out);
  EXPECT_TRUE(built.check.broken.empty()) << built.check.broken.size() << " broken, first: " << built.check.broken.front();
  return built;
}

// What the library must show of the shared collection, wherever it was
// read from (prefix: "" for a folder, "x.zip/" for an archive).
void ExpectCollection(const Built &built, const fs::path &out, const std::string &prefix,
                      const std::map<std::string, std::string> &files) {
  // Every input, and nothing else, in the manifest.
  std::set<std::string> expected, listed;
  for (const auto &[origin, bytes] : files) expected.insert(prefix + origin);
  for (const auto &[origin, input] : built.inputs) listed.insert(origin);
  EXPECT_EQ(listed, expected);

  auto kind = [&](const std::string &origin) {
    auto found = built.inputs.find(prefix + origin);
    return found == built.inputs.end() ? "(missing)" : found->second.at("kind").get<std::string>();
  };
  EXPECT_EQ(kind("product/help/alpha.hlp"), "help");
  EXPECT_EQ(kind("product/help/alpha.cnt"), "contents");
  EXPECT_EQ(kind("readme.txt"), "other");
  EXPECT_EQ(kind("broken/damaged.hlp"), "failed");
  EXPECT_EQ(kind("install/KWAJHELP.HL_"), "help");
  if (files.count("install/TTY.HL_")) {
    EXPECT_EQ(kind("install/TTY.HL_"), "help");
  }
  if (files.count("product/help/ALPHA.GID")) {
    EXPECT_EQ(kind("product/help/ALPHA.GID"), "index");
  }

  // Sites named after the files, the later of a name numbered.
  auto site = [&](const std::string &origin) { return built.inputs.at(prefix + origin).at("site").get<std::string>(); };
  EXPECT_EQ(site("product/help/alpha.hlp"), "alpha/");
  std::set<std::string> betas = {site("product/help/BETA.HLP"), site("old/BETA.HLP")};
  EXPECT_EQ(betas, (std::set<std::string>{"beta/", "beta-2/"}));
  const std::string productBeta = site("product/help/BETA.HLP");
  const std::string oldBeta = site("old/BETA.HLP");
  std::set<std::string> companions = {prefix + "product/help/alpha.cnt"};
  if (files.count("product/help/ALPHA.GID")) companions.insert(prefix + "product/help/ALPHA.GID");
  EXPECT_EQ(built.inputs.at(prefix + "product/help/alpha.hlp").at("companions").get<std::set<std::string>>(), companions);

  // Jumps between files lead to the page of their context in the file of
  // that name nearest to the jumping one; unknown ones stay text.
  std::string alpha = PageHolding(out / "alpha", "Alpha.");
  ASSERT_FALSE(alpha.empty());
  const std::string beta = productBeta.substr(0, productBeta.size() - 1);
  EXPECT_NE(alpha.find("href=\"" + PageLinkTo(beta, "beta_top") + "\""), std::string::npos) << alpha;
  EXPECT_NE(alpha.find("href=\"" + PageLinkTo(beta, "beta_second") + "\""), std::string::npos) << alpha;
  EXPECT_EQ(alpha.find("no_such_context\">"), std::string::npos);
  size_t dangling = 0;
  for (size_t at = 0; (at = alpha.find("class=\"dangling\"", at)) != std::string::npos; ++at) ++dangling;
  EXPECT_EQ(dangling, 2u) << "no_such_context in beta and the missing file";
  std::string gamma = PageHolding(out / "gamma", "beta_top in beta.hlp");
  EXPECT_NE(gamma.find("href=\"" + PageLinkTo(oldBeta.substr(0, oldBeta.size() - 1), "beta_top") + "\""),
            std::string::npos)
      << "gamma's BETA is the one beside it";
  std::string back = PageHolding(out / beta, "alpha_two in");
  EXPECT_NE(back.find("href=\"" + PageLinkTo("alpha", "alpha_two") + "\""), std::string::npos) << back;
  // The contents file's entry into the other file too.
  std::string index = ReadText(out / "alpha" / "index.html");
  EXPECT_NE(index.find("href=\"" + PageLinkTo(beta, "beta_top") + "\""), std::string::npos) << index;

  EXPECT_GE(built.check.crossLinks, 5u);
  EXPECT_TRUE(built.report.AnyFailed()) << "the damaged file failed";
  ASSERT_EQ(built.report.failures.size(), 1u);
  EXPECT_EQ(built.report.failures.front().rfind(prefix + "broken/damaged.hlp: ", 0), 0u) << built.report.failures.front();

  // The top page lists every help file with where it was found.
  std::string top = ReadText(out / "index.html");
  for (const auto &[origin, input] : built.inputs)
    if (input.at("kind") == "help") {
      EXPECT_NE(top.find(origin), std::string::npos) << origin;
    }
  EXPECT_NE(top.find("Alpha &amp; Co."), std::string::npos);
}

TEST(Library, FromAFolderAZipATarAndAnIso) {
  fixture::TempDir dir;
  std::map<std::string, std::string> files = Collection();
  fs::path tree = fs::path(dir.path()) / "collection";
  for (const auto &[origin, bytes] : files) Put(tree, origin, bytes);

  {
    SCOPED_TRACE("folder");
    fs::path out = fs::path(dir.path()) / "from-folder";
    ExpectCollection(BuildAndCheck(tree.string(), out), out, "", files);
  }
  if (Have("zip")) {
    SCOPED_TRACE("zip");
    fs::path zip = fs::path(dir.path()) / "collection.zip";
    ASSERT_EQ(std::system(("cd '" + tree.string() + "' && zip -qr '" + zip.string() + "' .").c_str()), 0);
    fs::path out = fs::path(dir.path()) / "from-zip";
    ExpectCollection(BuildAndCheck(zip.string(), out), out, "collection.zip/", files);
  } else {
    ADD_FAILURE() << "zip is missing: scripts/deps.sh installs it";
  }
  {
    SCOPED_TRACE("tar.gz");
    fs::path tar = fs::path(dir.path()) / "collection.tar.gz";
    ASSERT_EQ(std::system(("tar -czf '" + tar.string() + "' -C '" + tree.string() + "' .").c_str()), 0);
    fs::path out = fs::path(dir.path()) / "from-tar";
    ExpectCollection(BuildAndCheck(tar.string(), out), out, "collection.tar.gz/", files);
  }
  if (Have("xorriso") && Have("zip")) {
    SCOPED_TRACE("iso with a zip inside");
    // The disc holds the product's files, and the rest of the collection in
    // a ZIP of its own.
    fs::path disc = fs::path(dir.path()) / "disc";
    std::map<std::string, std::string> onDisc;
    for (const auto &[origin, bytes] : files)
      if (origin.rfind("product/", 0) == 0) Put(disc, origin, bytes);
    fs::path rest = fs::path(dir.path()) / "rest";
    for (const auto &[origin, bytes] : files)
      if (origin.rfind("product/", 0) != 0) Put(rest, origin, bytes);
    ASSERT_EQ(std::system(("cd '" + rest.string() + "' && zip -qr '" + (disc / "REST.ZIP").string() + "' .").c_str()), 0);
    std::map<std::string, std::string> expected;
    for (const auto &[origin, bytes] : files)
      expected[origin.rfind("product/", 0) == 0 ? origin : "REST.ZIP/" + origin] = bytes;
    fs::path iso = fs::path(dir.path()) / "collection.iso";
    ASSERT_EQ(std::system(("xorriso -as mkisofs -quiet -R -J -o '" + iso.string() + "' '" + disc.string() + "' 2>/dev/null").c_str()), 0);
    fs::path out = fs::path(dir.path()) / "from-iso";
    Built built = BuildAndCheck(iso.string(), out);
    std::set<std::string> listed;
    for (const auto &[origin, input] : built.inputs) listed.insert(origin);
    std::set<std::string> want;
    for (const auto &[origin, bytes] : expected) want.insert("collection.iso/" + origin);
    EXPECT_EQ(listed, want);
    EXPECT_EQ(built.inputs.at("collection.iso/REST.ZIP/old/gamma.hlp").at("status"), "converted");
    EXPECT_GE(built.check.crossLinks, 5u);
  } else {
    ADD_FAILURE() << "xorriso or zip is missing: scripts/deps.sh installs them";
  }
}

// The library's bytes do not depend on how many help files were converted at
// once, nor on which thread converted which: a cluster's workers must write
// the same.  Pictures with hotspots (numbered image maps) are in.
TEST(Library, SameBytesWhateverTheJobs) {
  fixture::TempDir dir;
  fs::path input = fs::path(dir.path()) / "c";
  for (const auto &[origin, bytes] : Collection()) Put(input, origin, bytes);
  for (int i = 0; i < 5; ++i) Put(input, "pictures/pictures" + std::to_string(i) + ".hlp", PictureHelp("Pictures"));
  if (std::string corpus = fixture::CorpusDir(); !corpus.empty())
    for (const char *name : {"eudora-win__PureVoice.hlp", "oemdisplay-tandy__PROGMAN.HLP"})
      Put(input, std::string("corpus/") + name, FileBytes(corpus + "/hlp/" + name));
  auto tree = [](const fs::path &root) {
    std::map<std::string, std::string> files;
    for (const auto &entry : fs::recursive_directory_iterator(root))
      if (entry.is_regular_file()) files[fs::relative(entry.path(), root).string()] = ReadText(entry.path());
    return files;
  };
  std::map<std::string, std::string> first;
  for (unsigned jobs : {1u, 3u}) {
    fs::path out = fs::path(dir.path()) / ("out" + std::to_string(jobs));
    collection::BuildOptions options;
    options.jobs = jobs;
    ASSERT_TRUE(collection::BuildLibrary(input.string(), out.string(), options).ok);
    std::map<std::string, std::string> files = tree(out);
    if (first.empty()) {
      first = std::move(files);
      continue;
    }
    ASSERT_EQ(files.size(), first.size());
    for (const auto &[name, bytes] : first) EXPECT_TRUE(files[name] == bytes) << name << " differs";
  }
}

// A second run keeps what is complete and still right, and makes again what
// changed: the help file, a file of its site, the file its jumps lead to.
TEST(Library, SecondRunKeepsCompleteSites) {
  fixture::TempDir dir;
  fs::path tree = fs::path(dir.path()) / "c";
  Put(tree, "alpha.hlp", Alpha());
  Put(tree, "beta.hlp", Beta("Beta Help"));
  Put(tree, "gamma.hlp", Gamma());
  fs::path out = fs::path(dir.path()) / "out";
  Built first = BuildAndCheck(tree.string(), out);
  EXPECT_EQ(first.report.converted, 3u);
  EXPECT_FALSE(first.report.AnyFailed());

  Built second = BuildAndCheck(tree.string(), out);
  EXPECT_EQ(second.report.unchanged, 3u);
  EXPECT_EQ(second.report.converted, 0u);
  EXPECT_EQ(second.report.topics, first.report.topics);

  // A page of alpha's site gone: alpha again.  Beta changed (a different
  // title, the same contexts): beta again, and nothing else, since the
  // contexts the others jump to are the same.
  for (const auto &entry : fs::directory_iterator(out / "alpha"))
    if (entry.path().filename() != "index.html" && entry.path().extension() == ".html") {
      fs::remove(entry.path());
      break;
    }
  Put(tree, "beta.hlp", Beta("Beta Help, second edition"));
  Built third = BuildAndCheck(tree.string(), out);
  auto status = [&](const Built &b, const char *origin) { return b.inputs.at(origin).at("status").get<std::string>(); };
  EXPECT_EQ(status(third, "alpha.hlp"), "converted");
  EXPECT_EQ(status(third, "beta.hlp"), "converted");
  EXPECT_EQ(status(third, "gamma.hlp"), "unchanged");

  // Beta loses the context gamma jumps to: gamma's link must go, so gamma
  // is made again.
  fixture::DocRecipe recipe;
  recipe.title = "Beta without its start";
  recipe.topics = {{"Beta second", {"beta_second"}, {}, {fixture::TextParagraph("More beta.")}}};
  Put(tree, "beta.hlp", AsString(fixture::BuildDocument(recipe).bytes));
  Built fourth = BuildAndCheck(tree.string(), out);
  EXPECT_EQ(status(fourth, "gamma.hlp"), "converted");
  EXPECT_EQ(PageHolding(out / "gamma", "beta_top in").find("href=\"../beta/"), std::string::npos);
}

// A hostile archive: names that climb out, absolute names, odd bytes,
// overlong names, entries that lie about their size or expand without end,
// a nested archive cut short.  Its help files are converted where they can
// be, each failure is in the manifest, nothing lands outside the library.
TEST(Library, HostileArchive) {
  fixture::TempDir dir;
  const std::string help = Beta("Hostile");
  std::string nested = fixture::BuildZip({{"inner.hlp", Alpha(), true}});
  std::vector<fixture::ZipEntryRecipe> entries = {
      {"../../escape.hlp", help},
      {"/etc/absolute.hlp", help, true},
      {"..\\..\\windows.hlp", help},
      {std::string("odd\x01\xff\x7f name.hlp"), help},
      {std::string(300, 'L') + ".hlp", help},
      {"claims-gigabytes.hlp", "small", false, 0xFFFFFFF0ll},
      {"bomb.hlp", std::string(8u << 20, '\0'), true, 1000},
      {"cut.zip", nested.substr(0, nested.size() / 2)},
      {"nested.zip", nested},
      {"index.html.hlp", help},  // a name the library's own files take
      {"manifest.json.hlp", help},
  };
  fs::path input = fs::path(dir.path()) / "input";
  Put(input, "hostile.zip", fixture::BuildZip(entries));
  // Cut inside its second entry: the first is read, the second fails.
  std::string whole = fixture::BuildZip({{"a.hlp", help}, {"b.hlp", help, true}});
  Put(input, "damaged.zip", whole.substr(0, whole.size() - 150));
  fs::path out = fs::path(dir.path()) / "out";
  collection::BuildOptions options;
  options.limits.entryBytes = 1u << 20;
  collection::BuildReport report = collection::BuildLibrary(input.string(), out.string(), options);
  ASSERT_TRUE(report.ok) << report.why;
  EXPECT_TRUE(report.AnyFailed());
  EXPECT_EQ(FilesOutside(dir.path(), out), (std::set<std::string>{"input", "input/hostile.zip", "input/damaged.zip"}));
  for (const auto &entry : fs::recursive_directory_iterator(out)) {
    std::string relative = fs::relative(entry.path(), out).string();
    EXPECT_EQ(relative.find(".."), std::string::npos) << relative;
  }
  fixture::LinkCheck check = CheckLibrary(out);
  EXPECT_TRUE(check.broken.empty()) << check.broken.front();

  std::map<std::string, json> inputs = InputsOf(Manifest(out));
  size_t helpFiles = 0, failed = 0;
  for (const auto &[origin, item] : inputs) {
    EXPECT_EQ(origin.rfind("hostile.zip/", 0) == 0 || origin.rfind("damaged.zip", 0) == 0, true) << origin;
    if (item.at("kind") == "help") {
      ++helpFiles;
      EXPECT_EQ(item.at("status"), "converted") << origin;
      std::string site = item.at("site").get<std::string>();
      EXPECT_TRUE(fs::is_directory(out / site)) << site;
      EXPECT_NE(site, "index.html/");
      EXPECT_NE(site, "manifest.json/");
    }
    if (item.at("kind") == "failed") ++failed;
  }
  EXPECT_EQ(helpFiles, 9u) << "the five odd names, the nested file, the two reserved names, damaged.zip/a.hlp";
  auto why = [&](const std::string &origin) {
    auto found = inputs.find(origin);
    return found == inputs.end() ? std::string("(not listed)") : found->second.value("why", std::string());
  };
  EXPECT_NE(why("hostile.zip/claims-gigabytes.hlp").find("claims"), std::string::npos);
  EXPECT_NE(why("hostile.zip/bomb.hlp").find("bound"), std::string::npos);
  EXPECT_NE(why("hostile.zip/nested.zip/inner.hlp"), "(not listed)");
  EXPECT_GE(failed, 3u) << "the two bombs, the cut archive and the damaged one";
  bool damagedListed = false, cutListed = false;
  for (const auto &[origin, item] : inputs) {
    if (origin.rfind("damaged.zip", 0) == 0 && item.at("kind") == "failed") damagedListed = true;
    if (origin.rfind("hostile.zip/cut.zip", 0) == 0 && item.at("kind") != "help") cutListed = true;
  }
  EXPECT_TRUE(damagedListed);
  EXPECT_TRUE(cutListed);
}

// A link planted in the output folder where a site goes is not followed.
TEST(Library, LinksInTheOutputAreNotFollowed) {
  fixture::TempDir dir;
  fs::path tree = fs::path(dir.path()) / "c";
  Put(tree, "alpha.hlp", Alpha());
  Put(tree, "beta.hlp", Beta("Beta Help"));
  fs::path out = fs::path(dir.path()) / "out";
  fs::path elsewhere = fs::path(dir.path()) / "elsewhere";
  fs::create_directories(out);
  fs::create_directories(elsewhere);
  fs::create_directory_symlink(elsewhere, out / "alpha");
  collection::BuildReport report = collection::BuildLibrary(tree.string(), out.string());
  EXPECT_TRUE(report.AnyFailed());
  EXPECT_TRUE(fs::is_empty(elsewhere));
  std::map<std::string, json> inputs = InputsOf(Manifest(out));
  EXPECT_EQ(inputs.at("alpha.hlp").at("status"), "failed");
  EXPECT_EQ(inputs.at("beta.hlp").at("status"), "converted");
}

// The catalogue travels to other processes (the cluster's workers) and back
// unchanged, and refuses what it did not write.
TEST(Library, CatalogueTravels) {
  fixture::TempDir dir;
  std::map<std::string, std::string> files = Collection();
  for (const auto &[origin, bytes] : files) Put(dir.path(), origin, bytes);
  std::optional<collection::Catalogue> catalogue = collection::Scan(dir.path(), {});
  ASSERT_TRUE(catalogue);
  std::string json = catalogue->ToJson();
  std::optional<collection::Catalogue> back = collection::Catalogue::FromJson(json);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->ToJson(), json);
  for (size_t i = 0; i < catalogue->helps.size(); ++i)
    EXPECT_EQ(back->ExternalHref(i, "beta", static_cast<uint32_t>(HlpGenerateHashValue("beta_top"))),
              catalogue->ExternalHref(i, "beta", static_cast<uint32_t>(HlpGenerateHashValue("beta_top"))));
  for (const char *bad : {"", "{}", "[1]", "{\"inputs\":[],\"helps\":[{\"site\":\"../x\"}],\"contents\":{}}"})
    EXPECT_FALSE(collection::Catalogue::FromJson(bad)) << bad;
  std::string climbing = json;
  size_t at = climbing.find("\"site\":\"alpha\"");
  ASSERT_NE(at, std::string::npos);
  climbing.replace(at, 14, "\"site\":\"../up\"");
  EXPECT_FALSE(collection::Catalogue::FromJson(climbing)) << "a site name that is no SafeName";
}

// hlp2html: a collection becomes a library; exit code 1 when anything failed.
TEST(Hlp2html, WritesALibrary) {
  fixture::TempDir dir;
  fs::path tree = fs::path(dir.path()) / "c";
  Put(tree, "alpha.hlp", Alpha());
  Put(tree, "sub/beta.hlp", Beta("Beta Help"));
  fs::path out = fs::path(dir.path()) / "out";
  std::string program = fixture::ProgramPath("hlp2html");
  fixture::CommandResult clean = fixture::RunCommand(program + " -j 2 '" + tree.string() + "' '" + out.string() + "' 2>&1");
  EXPECT_EQ(clean.exitCode, 0) << clean.out;
  EXPECT_NE(clean.out.find("2 help files: 2 converted"), std::string::npos) << clean.out;
  EXPECT_TRUE(fs::exists(out / "index.html"));
  EXPECT_TRUE(fs::exists(out / "beta" / "index.html"));
  Put(tree, "broken.hlp", Damaged());
  fixture::CommandResult damaged = fixture::RunCommand(program + " '" + tree.string() + "' '" + out.string() + "' 2>&1");
  EXPECT_EQ(damaged.exitCode, 1) << damaged.out;
  EXPECT_NE(damaged.out.find("2 unchanged"), std::string::npos) << damaged.out;
  EXPECT_NE(damaged.out.find("failed: broken.hlp: "), std::string::npos) << damaged.out;
  for (const char *bad : {" -j 0 ", " -j x ", " --max-file-bytes -5 "})
    EXPECT_EQ(fixture::RunCommand(program + bad + "'" + tree.string() + "' '" + out.string() + "' 2>&1").exitCode, 2) << bad;
}

// The real files: every help file of the corpus in one library, its links
// all leading somewhere.
TEST(Library, Corpus) {
  std::string corpus = fixture::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus on this machine";
  fixture::TempDir dir;
  fs::path out = fs::path(dir.path()) / "library";
  Built built = BuildAndCheck(corpus, out);
  size_t helpFiles = 0;
  for (const auto &entry : fs::recursive_directory_iterator(corpus)) {
    if (!entry.is_regular_file()) continue;
    std::string origin = fs::relative(entry.path(), corpus).string();
    EXPECT_TRUE(built.inputs.count(origin)) << origin << " is not in the manifest";
    if (entry.path().parent_path().filename() == "hlp") {
      ++helpFiles;
      EXPECT_EQ(built.inputs.at(origin).at("status"), "converted") << origin;
    }
  }
  EXPECT_GE(helpFiles, 25u);
  EXPECT_EQ(built.report.helpFiles, helpFiles + 1) << "and the SZDD file of odd/";
  EXPECT_FALSE(built.report.AnyFailed()) << built.report.failures.front();
  EXPECT_GT(built.check.links, 10000u);
}

}  // namespace
