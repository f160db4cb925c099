// hlp2rtf and saldir end to end, and the RTF they write read by a real RTF
// reader (unrtf).
#include <gtest/gtest.h>

#include <marlet/marlet.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "quillon/text/code_page.h"
#include "quillon/text/system_records.h"
#include "support/document_builder.h"
#include "support/help_builder.h"
#include "support/index_builder.h"
#include "support/shg_builder.h"
#include "support/topic_builder.h"

using namespace fixture;

namespace {

std::string Quote(const std::string &path) { return "'" + path + "'"; }

std::string ReadText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Halibut(const std::string &name) {
  std::string path = HalibutDir() + "/" + name;
  return std::filesystem::exists(path) ? path : "";
}

bool HaveUnrtf() { return RunCommand("command -v unrtf >/dev/null 2>&1 && echo yes").out == "yes\n"; }

// What unrtf makes of an RTF document, as plain text.
std::string Unrtf(const std::string &rtfPath, int *exitCode = nullptr) {
  CommandResult result = RunCommand("unrtf --text " + Quote(rtfPath) + " 2>/dev/null");
  if (exitCode) *exitCode = result.exitCode;
  return result.out;
}

// Runs of blanks and line ends folded to one blank, for looking up phrases
// that a reader may have wrapped.
std::string Folded(const std::string &text) {
  std::string out;
  for (char c : text) {
    bool blank = c == ' ' || c == '\n' || c == '\t' || c == '\r';
    if (blank) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

// ---- hlp2rtf ------------------------------------------------------------------

TEST(Hlp2rtf, UsageAndErrors) {
  CommandResult none = RunCommand(ProgramPath("hlp2rtf") + " 2>&1");
  EXPECT_EQ(none.exitCode, 2);
  EXPECT_NE(none.out.find("Usage: hlp2rtf"), std::string::npos);
  CommandResult help = RunCommand(ProgramPath("hlp2rtf") + " --help");
  EXPECT_EQ(help.exitCode, 0);
  TempDir dir;
  std::string notHelp = dir.Write("x.hlp", Bytes{'x'});
  EXPECT_EQ(RunCommand(ProgramPath("hlp2rtf") + " " + notHelp + " 2>/dev/null").exitCode, 1);
  std::string noTopic = dir.Write("n.hlp", BuildContainer({{"|SYSTEM", SystemFile(33, 0, {})}}).bytes);
  CommandResult missing = RunCommand(ProgramPath("hlp2rtf") + " " + noTopic + " 2>&1");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.out.find("no topics"), std::string::npos);
  EXPECT_EQ(RunCommand(ProgramPath("hlp2rtf") + " -x " + noTopic + " 2>/dev/null").exitCode, 2);
}

TEST(Hlp2rtf, PlainTextOfAHalibutManual) {
  std::string manual = Halibut("manual.hlp");
  if (manual.empty()) GTEST_SKIP() << "left out: halibut made no help files";
  CommandResult result = RunCommand(ProgramPath("hlp2rtf") + " -t " + Quote(manual));
  ASSERT_EQ(result.exitCode, 0);
  const std::string &text = result.out;
  // Every section of the source is a topic, in source order.
  size_t at = 0;
  for (const char *title : {"== Contents\n", "== Chapter 1: Daily duties\n", "== Section 1.1: The lamp\n",
                            "== Section 1.1.1: The lens\n", "== Section 1.2: Fog signals\n",
                            "== Chapter 2: Records and reports\n", "== Appendix A: Glossary\n"}) {
    size_t found = text.find(title, at);
    ASSERT_NE(found, std::string::npos) << title;
    at = found;
  }
  for (const char *phrase : {"Each morning the keeper trims the wick, polishes the lens",
                             "The lamp burns paraffin. Its flame must stand steady and clear.",
                             "polish --gently lens\n", "Light the mantle with a taper.", "sounds twice a minute in fog.",
                             "the tank that holds the paraffin."})
    EXPECT_NE(text.find(phrase), std::string::npos) << phrase;
}

TEST(Hlp2rtf, TheRtfOfHalibutFilesReadsBackInARealReader) {
  if (!HaveUnrtf()) GTEST_SKIP() << "left out: unrtf is not installed (scripts/deps.sh installs it)";
  std::string manual = Halibut("manual.hlp"), atlas = Halibut("atlas.hlp");
  if (manual.empty() || atlas.empty()) GTEST_SKIP() << "left out: halibut made no help files";
  TempDir dir;
  struct Case {
    std::string file;
    std::vector<std::string> phrases;  // paragraphs, titles and link texts of the source
  } cases[] = {
      {manual,
       {"Field Manual for the Lighthouse Keeper", "Chapter 1: Daily duties", "Section 1.1.1: The lens",
        "Each morning the keeper trims the wick, polishes the lens and records the weather in the log.",
        "See section 1.1", "for the lamp itself and section 1.2", "polish --gently lens",
        "Write the logbook every evening.", "Appendix A: Glossary", "the fabric hood that glows in the flame."}},
      {atlas,
       {"Atlas of Rivers and Lakes", "Chapter 1: Rivers", "Section 1.2: Rivers of Africa",
        "The Nile flows north. The Congo is the deepest river.", "Lake Baikal is the deepest lake;",
        "The Nile and the Danube have disputed sources."}},
  };
  for (const Case &c : cases) {
    std::string rtf = dir.path() + "/out.rtf";
    ASSERT_EQ(RunCommand(ProgramPath("hlp2rtf") + " -o " + Quote(rtf) + " " + Quote(c.file)).exitCode, 0);
    std::string document = ReadText(rtf);
    EXPECT_EQ(document.rfind("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1024 {\\fonttbl", 0), 0u);
    int code = -1;
    std::string text = Folded(Unrtf(rtf, &code));
    EXPECT_EQ(code, 0);
    for (const std::string &phrase : c.phrases) EXPECT_NE(text.find(phrase), std::string::npos) << c.file << ": " << phrase;
  }
}

TEST(Hlp2rtf, TextThatMeansSomethingInRtfIsEscaped) {
  if (!HaveUnrtf()) GTEST_SKIP() << "left out: unrtf is not installed (scripts/deps.sh installs it)";
  // A file without |FONT (no closing brace from the stream) whose text holds
  // braces and backslashes.
  TopicFileRecipe recipe;
  recipe.records = {TopicHeader("Braces"), TextParagraph("a {brace} and a back\\slash")};
  BuiltHelpFile built = BuildTopicHelpFile(recipe);
  TempDir dir;
  std::string help = dir.Write("b.hlp", built.container.bytes);
  std::string rtf = dir.path() + "/b.rtf";
  ASSERT_EQ(RunCommand(ProgramPath("hlp2rtf") + " " + help + " -o " + rtf).exitCode, 0);
  std::string document = ReadText(rtf);
  EXPECT_NE(document.find("a \\{brace\\} and a back\\\\slash"), std::string::npos) << document;
  EXPECT_EQ(document.substr(document.size() - 2), "}\n");
  EXPECT_NE(Folded(Unrtf(rtf)).find("a {brace} and a back\\slash"), std::string::npos);
}

TEST(Hlp2rtf, NoProgressWhenStandardErrorIsNoTerminal) {
  std::string manual = Halibut("manual.hlp");
  if (manual.empty()) GTEST_SKIP() << "left out: halibut made no help files";
  CommandResult result = RunCommand(ProgramPath("hlp2rtf") + " " + Quote(manual) + " 2>&1 >/dev/null");
  EXPECT_EQ(result.out, "");
}

TEST(Hlp2rtf, RealFiles) {
  std::string corpus = CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "left out: no shared corpus of real files on this machine";
  bool unrtf = HaveUnrtf();
  TempDir dir;
  int compared = 0;
  for (const auto &entry : std::filesystem::directory_iterator(corpus + "/hlp")) {
    std::string path = entry.path().string();
    std::string expected = corpus + "/expected/" + entry.path().filename().string() + ".text";
    // The plain text: in later files every topic is in the title index, so
    // the output equals the independent reading.  (In 3.0 files untitled
    // popups have no index entry and so no "==" line here.)
    IfsHandle container = IFSOpen(path.c_str());
    ASSERT_NE(container, nullptr) << path;
    HelpTitleInfo *info = HlpGetHelpTitle(container);
    bool version30 = info != nullptr && info->minorVersion == 15;
    HlpFreeHelpTitle(info);
    IFSClose(container);
    if (!version30 && std::filesystem::exists(expected)) {
      // As stored, and in UTF-8: the expected text converted from the file's
      // code page (its language record; the corpus's fonts name no other).
      CommandResult bytes = RunCommand(ProgramPath("hlp2rtf") + " --text --bytes " + Quote(path));
      EXPECT_EQ(bytes.exitCode, 0);
      EXPECT_TRUE(bytes.out == ReadText(expected)) << path;
      CommandResult text = RunCommand(ProgramPath("hlp2rtf") + " --text " + Quote(path));
      EXPECT_EQ(text.exitCode, 0);
      IfsHandle help = IFSOpen(path.c_str());
      quillon::text::CodePage page(quillon::text::ChooseCodePage(quillon::text::ReadSystemRecords(help), {}));
      IFSClose(help);
      EXPECT_TRUE(text.out == page.ToUtf8(ReadText(expected))) << path << " in code page " << page.number();
      ++compared;
    }
    if (unrtf) {
      std::string rtf = dir.path() + "/real.rtf";
      ASSERT_EQ(RunCommand(ProgramPath("hlp2rtf") + " -o " + rtf + " " + Quote(path)).exitCode, 0) << path;
      int code = -1;
      std::string read = Unrtf(rtf, &code);
      EXPECT_EQ(code, 0) << path;
      EXPECT_GT(read.size(), 100u) << path;
    }
  }
  EXPECT_GT(compared, 10);
}

// The code page reaches the reader: a Russian file's RTF, opened by a word
// processor, shows Cyrillic, and its plain text is UTF-8.  A built file whose
// language record says Russian, and the corpus's real one.
TEST(Hlp2rtf, WordProcessorsReadTheRightLetters) {
  bool office = RunCommand("command -v soffice >/dev/null 2>&1 && command -v pdftotext >/dev/null 2>&1 && echo yes").out ==
                "yes\n";
  TempDir dir;
  DocRecipe recipe;
  recipe.language = 0x0419;
  recipe.fontDescriptor = 11;  // no character set in |FONT: the file's language must tell
  recipe.topics = {{"\xD1\xEF\xF0\xE0\xE2\xEA\xE0", {"top"}, {}, {TextParagraph("\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0")}}};
  std::vector<std::pair<std::string, std::string>> files = {{dir.Write("ru.hlp", BuildDocument(recipe).bytes), "Привет, мир"}};
  std::string corpus = CorpusDir();
  if (!corpus.empty()) files.push_back({corpus + "/hlp/FlexDSL__HELP.HLP", "Справка по программе"});
  for (const auto &[help, phrase] : files) {
    CommandResult text = RunCommand(ProgramPath("hlp2rtf") + " -t " + Quote(help));
    EXPECT_NE(text.out.find(phrase), std::string::npos) << help;
    std::string rtf = dir.path() + "/ru.rtf";
    ASSERT_EQ(RunCommand(ProgramPath("hlp2rtf") + " -o " + Quote(rtf) + " " + Quote(help)).exitCode, 0);
    std::string document = ReadText(rtf);
    EXPECT_EQ(document.rfind("{\\rtf1\\ansi\\ansicpg1251\\", 0), 0u) << help;
    EXPECT_NE(document.find("\\fcharset204 "), std::string::npos) << help;
    if (!office) continue;
    // LibreOffice (Debian libreoffice-writer-nogui) writes a PDF; its text read back.
    std::string profile = "-env:UserInstallation=file://" + dir.path() + "/office";
    CommandResult pdf = RunCommand("cd " + Quote(dir.path()) + " && timeout 180 soffice " + profile +
                                   " --headless --convert-to pdf ru.rtf >/dev/null 2>&1; pdftotext ru.pdf - 2>/dev/null");
    EXPECT_NE(Folded(pdf.out).find(phrase), std::string::npos) << help << ": " << pdf.out.substr(0, 300);
  }
  if (!office) std::cout << "note: LibreOffice or pdftotext not installed: the word processor's reading was left out\n";
}

// A 4 x 2 bitmap of 8 bits: 14 + 40 + 8 + 8 bytes as a BMP.
BitmapPicture SmallBitmap() {
  BitmapPicture bitmap;
  bitmap.bitCount = 8;
  bitmap.width = 4;
  bitmap.height = 2;
  bitmap.colours = Bytes(8, 0x7F);
  bitmap.colorsUsed = 2;
  bitmap.packed = Bytes(8, 1);
  return bitmap;
}

TEST(Hlp2rtf, PicturesGoNextToTheDocument) {
  BitmapPicture bitmap = SmallBitmap();
  MetafilePicture metafile;
  metafile.width = 955;
  metafile.height = 427;
  metafile.packed = SmallMetafile(3);
  TopicFileRecipe recipe;
  recipe.records = {TopicHeader("Pictures"), TextParagraph("see the pictures")};
  recipe.extraFiles = {{"|bm0", BuildBitmapShg(bitmap).bytes},
                     {"|bm1", BuildMetafileShg(metafile).bytes},
                     {"|bm2", Bytes{'l', 'p', 9, 9}},  // damaged: reported, the rest goes on
                     {"|bmx", Bytes(10, 0)}};          // not a picture's name
  TempDir dir;
  std::string help = dir.Write("p.hlp", BuildTopicHelpFile(recipe).container.bytes);
  std::string pictures = dir.path() + "/pictures";
  CommandResult result = RunCommand(ProgramPath("hlp2rtf") + " -p " + pictures + " -o /dev/null " + help + " 2>&1");
  EXPECT_EQ(result.exitCode, 1);  // one picture could not be converted
  EXPECT_NE(result.out.find("picture |bm2 could not be converted"), std::string::npos) << result.out;
  Bytes bmp = ReadFileBytes(pictures + "/bm0.bmp");
  ASSERT_EQ(bmp.size(), 14u + 40 + 8 + 8);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  Bytes wmf = ReadFileBytes(pictures + "/bm1.wmf");
  ASSERT_GT(wmf.size(), 22u + 18);
  EXPECT_EQ(wmf[0], 0xD7);  // the placeable key 0x9AC6CDD7
  EXPECT_EQ(wmf[10] | wmf[11] << 8, 95);  // right: 955 / 10
  EXPECT_FALSE(std::filesystem::exists(pictures + "/bm2.bmp"));
  EXPECT_FALSE(std::filesystem::exists(pictures + "/bmx.bmp"));
}

// A document and pictures exported again over longer and shorter files of
// the same names, and over a link to a file elsewhere: each holds exactly
// what a fresh export writes.
TEST(Hlp2rtf, ExportingAgainReplacesWhatWasThere) {
  std::string manual = Halibut("manual.hlp");
  if (manual.empty()) GTEST_SKIP() << "left out: halibut made no help files";
  BitmapPicture bitmap = SmallBitmap();
  TopicFileRecipe recipe;
  recipe.records = {TopicHeader("Pictures"), TextParagraph("see the picture")};
  recipe.extraFiles = {{"|bm0", BuildBitmapShg(bitmap).bytes}};
  TempDir dir;
  std::string pictured = dir.Write("p.hlp", BuildTopicHelpFile(recipe).container.bytes);
  auto exportTo = [&](const std::string &help, const std::string &rtf, const std::string &pictures) {
    std::string args = " -o " + Quote(rtf) + " -p " + Quote(pictures) + " " + Quote(help);
    return RunCommand(ProgramPath("hlp2rtf") + args).exitCode;
  };
  ASSERT_EQ(exportTo(manual, dir.path() + "/fresh.rtf", dir.path() + "/fresh"), 0);
  ASSERT_EQ(exportTo(pictured, dir.path() + "/fresh-p.rtf", dir.path() + "/fresh"), 0);
  const Bytes document = ReadFileBytes(dir.path() + "/fresh.rtf");
  const Bytes picture = ReadFileBytes(dir.path() + "/fresh/bm0.bmp");
  ASSERT_GT(document.size(), 1000u);
  ASSERT_GT(picture.size(), 50u);

  std::filesystem::create_directory(dir.path() + "/again");
  struct Case {
    const char *what;
    size_t before;  // bytes in the files before the export
  } cases[] = {{"longer files", 3 * document.size()}, {"shorter files", 10}, {"empty files", 0}};
  for (const Case &c : cases) {
    dir.Write("again.rtf", Bytes(c.before, 'x'));
    dir.Write("again/bm0.bmp", Bytes(c.before, 'y'));
    ASSERT_EQ(exportTo(manual, dir.path() + "/again.rtf", dir.path() + "/again"), 0) << c.what;
    ASSERT_EQ(exportTo(pictured, dir.path() + "/again-p.rtf", dir.path() + "/again"), 0) << c.what;
    EXPECT_TRUE(ReadFileBytes(dir.path() + "/again.rtf") == document) << c.what;
    EXPECT_TRUE(ReadFileBytes(dir.path() + "/again/bm0.bmp") == picture) << c.what;
  }
  // A symbolic link is followed, as an emptying open follows it.
  std::string target = dir.Write("target.rtf", Bytes(5 * document.size(), 'z'));
  std::filesystem::create_symlink(target, dir.path() + "/link.rtf");
  ASSERT_EQ(exportTo(manual, dir.path() + "/link.rtf", dir.path() + "/again"), 0);
  EXPECT_TRUE(ReadFileBytes(target) == document);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.path() + "/link.rtf"));
}

TEST(Hlp2rtf, PicturesOfRealFiles) {
  std::string corpus = CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "left out: no shared corpus of real files on this machine";
  TempDir dir;
  // A 3.0 file's pictures are named bm0, bm1 ...; later files' |bm0 ...
  for (const char *name : {"oemdisplay-tandy__PROGMAN.HLP", "eudora-win__PureVoice.hlp"}) {
    std::string out = dir.path() + "/" + name;
    CommandResult result =
        RunCommand(ProgramPath("hlp2rtf") + " -p " + Quote(out) + " -o /dev/null " + Quote(corpus + "/hlp/" + name));
    EXPECT_EQ(result.exitCode, 0) << name;
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(out)) {
      Bytes bytes = ReadFileBytes(entry.path().string());
      ASSERT_GT(bytes.size(), 40u);
      uint8_t magic = entry.path().extension() == ".bmp" ? 'B' : 0xD7;
      EXPECT_EQ(bytes[0], magic) << entry.path();
      ++files;
    }
    EXPECT_GT(files, 3) << name;
  }
}

// ---- saldir ---------------------------------------------------------------------

std::string Saldir(const std::string &args, int *exitCode = nullptr) {
  CommandResult result = RunCommand(ProgramPath("saldir") + " " + args);
  if (exitCode) *exitCode = result.exitCode;
  return result.out;
}

TEST(Saldir, UsageAndFilesItCannotRead) {
  int code = -1;
  EXPECT_EQ(Saldir("only-one-argument", &code),
            "SALDIR: Simple example program to search for Topics containing as specific word\n"
            "          Enumerates the List of Topics (|TTLBTREE) contained in a"
            "          Help or Media Viewer File.Usage: SALDIR Filename Keyword\n");
  EXPECT_EQ(code, 0);
  TempDir dir;
  EXPECT_EQ(Saldir(dir.path() + "/missing.hlp word", &code), "File could not be opened\n");
  EXPECT_EQ(code, 0);
  std::string noTopic = dir.Write("n.hlp", BuildContainer({{"|SYSTEM", SystemFile(33, 0, {})}}).bytes);
  EXPECT_EQ(Saldir(noTopic + " word", &code),
            "Can't open TOPIC file, maybe this file is not a Windows Help ore Media Viewer file?\n");
  EXPECT_EQ(code, 0);
}

TEST(Saldir, FindsTheWordsOfTheSource) {
  std::string atlas = Halibut("atlas.hlp");
  if (atlas.empty()) GTEST_SKIP() << "left out: halibut made no help files";
  std::string lustav = RunCommand(ProgramPath("lustav") + " " + Quote(atlas)).out;
  auto line = [&](const std::string &title) {
    size_t at = lustav.find("\tTitle:\"" + title + "\"\n");
    EXPECT_NE(at, std::string::npos) << title;
    size_t start = lustav.rfind("TopicOffset:", at);
    return lustav.substr(start, lustav.find('\n', at) + 1 - start);
  };
  struct Case {
    std::string terms;
    std::vector<std::string> titles;
  } cases[] = {
      {"Baikal", {"Chapter 2: Lakes"}},
      {"baikal", {}},  // letter case matters
      {"Congo", {"Section 1.2: Rivers of Africa"}},
      {"Congo Baikal Geneva", {"Section 1.2: Rivers of Africa", "Chapter 2: Lakes", "Section 2.1: Lakes of Europe"}},
      {"disputed sources", {"Appendix A: Sources"}},
  };
  for (const Case &c : cases) {
    std::string expected;
    for (const std::string &title : c.titles) expected += line(title);
    // The listing follows the title index, which is in topic order.
    EXPECT_EQ(Saldir(Quote(atlas) + " " + c.terms), expected) << c.terms;
  }
}

TEST(Saldir, TheFileNameIsATermToo) {
  std::string manual = Halibut("manual.hlp");
  if (manual.empty()) GTEST_SKIP() << "left out: halibut made no help files";
  // Run where the file is, naming it as the text does.
  CommandResult result = RunCommand("cd " + Quote(HalibutDir()) + " && " + ProgramPath("saldir") + " manual.hlp zzzz");
  EXPECT_NE(result.out.find("Chapter 1: Daily duties"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find("The lamp"), std::string::npos);
}

// A word only in a title is not found: titles are not searched.
TEST(Saldir, TitlesAreNotSearched) {
  TopicFileRecipe recipe;
  recipe.records = {TopicHeader("Zebra"), TextParagraph("stripes")};
  BuiltHelpFile probe = BuildTopicHelpFile(recipe);
  recipe.extraFiles = {{"|TTLBTREE", TitleTree({{probe.topic.offsets[0], "Zebra"}}).bytes}};
  TempDir dir;
  std::string help = dir.Write("z.hlp", BuildTopicHelpFile(recipe).container.bytes);
  EXPECT_EQ(Saldir(help + " Zebra"), "");
  EXPECT_EQ(Saldir(help + " stripe"), "TopicOffset:00000000\tTitle:\"Zebra\"\n");
}

// An untitled topic sends no title event; the search of the topic before it
// ends at the untitled one's offset all the same.
TEST(Saldir, AnUntitledTopicEndsTheOneBefore) {
  TopicFileRecipe recipe;
  recipe.records = {TopicHeader("First"), TextParagraph("alpha"), TopicHeader(""), TextParagraph("beta"),
                  TopicHeader("Third"), TextParagraph("gamma")};
  BuiltHelpFile probe = BuildTopicHelpFile(recipe);
  const std::vector<uint32_t> &at = probe.topic.offsets;
  recipe.extraFiles = {{"|TTLBTREE", TitleTree({{at[0], "First"}, {at[2], ""}, {at[4], "Third"}}).bytes}};
  BuiltHelpFile built = BuildTopicHelpFile(recipe);
  TempDir dir;
  std::string help = dir.Write("u.hlp", built.container.bytes);
  char expected[128];
  std::snprintf(expected, sizeof expected, "TopicOffset:%08x\tTitle:\"\"\n", at[2]);
  EXPECT_EQ(Saldir(help + " beta"), expected);
  std::snprintf(expected, sizeof expected, "TopicOffset:%08x\tTitle:\"Third\"\n", at[4]);
  EXPECT_EQ(Saldir(help + " gamma"), expected);
}

}  // namespace
