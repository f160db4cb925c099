// The document layer: the model a help file reads into, on real files, on
// files halibut wrote from known sources, and on built files that hold each
// kind of hotspot, picture, table and code page.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <marlet/marlet.h>

#include "quillon/document/code_page.h"
#include "quillon/document/contents.h"
#include "quillon/document/help_file.h"
#include "quillon/document/macros.h"
#include "quillon/document/plain_text.h"
#include "support/document_builder.h"
#include "support/help_builder.h"

using namespace quillon::document;
namespace fs = std::filesystem;

namespace {

std::unique_ptr<HelpFile> OpenBytes(const fixture::TempDir &dir, const fixture::Bytes &bytes,
                                    const std::string &name = "test.hlp") {
  std::string why;
  std::unique_ptr<HelpFile> file = HelpFile::Open(dir.Write(name, bytes), &why);
  EXPECT_NE(file, nullptr) << why;
  return file;
}

std::vector<Topic> AllTopics(HelpFile &file) {
  std::vector<Topic> topics;
  file.ReadAll([&](Topic &topic) {
    topics.push_back(std::move(topic));
    return true;
  });
  return topics;
}

std::string ReadText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The whole file as the corpus's expected texts have it: "== TITLE" on a
// line of its own at each topic, then the topic's text.
std::string WholeText(HelpFile &file) {
  std::string out;
  file.ReadAll([&](Topic &topic) {
    if (!out.empty() && out.back() != '\n') out += '\n';
    out += "== " + topic.title + "\n";
    out += PlainText(topic);
    return true;
  });
  return out;
}

const Paragraph &FirstParagraph(const Topic &topic) { return std::get<Paragraph>(topic.body.at(0)); }

std::string TextOf(const Paragraph &paragraph) {
  std::string out;
  for (const Inline &piece : paragraph.content)
    if (piece.kind == InlineKind::Text) out += piece.text;
  return out;
}

// ---- Real files -----------------------------------------------------------------

// Every topic's text, in UTF-8, equals the independent reading of the corpus
// (converted from the file's code page).
TEST(RealFiles, TopicTextsEqualTheIndependentReading) {
  std::string corpus = fixture::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the shared corpus is not on this machine";
  size_t files = 0;
  for (const auto &entry : fs::directory_iterator(corpus + "/hlp")) {
    std::string name = entry.path().filename().string();
    std::string expectedPath = corpus + "/expected/" + name + ".text";
    if (!fs::exists(expectedPath)) continue;
    std::string why;
    OpenOptions bytewise;
    bytewise.symbolFonts = false;  // the independent reading keeps symbol fonts' bytes
    std::unique_ptr<HelpFile> file = HelpFile::Open(entry.path().string(), &why, bytewise);
    ASSERT_NE(file, nullptr) << name << ": " << why;
    CodePage page(file->info().codePage);
    EXPECT_EQ(WholeText(*file), page.ToUtf8(ReadText(expectedPath))) << name;
    ++files;
  }
  EXPECT_GE(files, 25u);
}

// The model's structure agrees with the indexes: a topic at every start the
// title index (in 3.0 files also |TOMAP) knows, in file order; each topic's
// contexts are the ones |CONTEXT places inside it; every jump whose hash the
// file knows is resolved to that place.
TEST(RealFiles, TopicsLinksAndContextsAgreeWithTheIndexes) {
  std::string corpus = fixture::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the shared corpus is not on this machine";
  for (const auto &entry : fs::directory_iterator(corpus + "/hlp")) {
    std::string name = entry.path().filename().string();
    std::unique_ptr<HelpFile> file = HelpFile::Open(entry.path().string());
    ASSERT_NE(file, nullptr) << name;
    std::vector<TopicOffset> starts;
    size_t jumps = 0, resolved = 0;
    ReadReport report = file->ReadAll([&](Topic &topic) {
      starts.push_back(topic.offset);
      for (const Anchor &anchor : topic.contexts) {
        EXPECT_EQ(file->Resolve(anchor.hash), anchor.position) << name;
        EXPECT_EQ(file->TopicStartOf(anchor.position), topic.offset) << name << " " << anchor.context;
      }
      for (const Link &link : topic.links) {
        if (link.kind == LinkKind::Macro || !link.file.empty()) continue;
        ++jumps;
        EXPECT_EQ(link.target, file->Resolve(link.hash)) << name << " " << link.context;
        if (link.target != kNoTopic) ++resolved;
      }
      return true;
    });
    EXPECT_FALSE(report.endedEarly) << name;
    EXPECT_EQ(starts, file->TopicStarts()) << name;
    // Real files' jumps lead somewhere (the 3.0 ones through |TOMAP).
    if (jumps > 0) {
      EXPECT_GT(resolved * 10, jumps * 9) << name << ": " << resolved << " of " << jumps;
    }
  }
}

// Reading a topic at a time gives the same topics as reading them all.
TEST(RealFiles, TopicAtATimeEqualsTheWholeRead) {
  std::string corpus = fixture::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the shared corpus is not on this machine";
  for (const char *name : {"oemdisplay-tandy__PROGMAN.HLP", "eudora-win__PureVoice.hlp", "AsyncPro__AproFAQ.hlp"}) {
    std::unique_ptr<HelpFile> file = HelpFile::Open(corpus + "/hlp/" + name);
    ASSERT_NE(file, nullptr) << name;
    std::vector<Topic> whole = AllTopics(*file);
    TopicOffset at = file->FirstTopic();
    size_t i = 0;
    for (; at != kNoTopic && i < whole.size(); ++i) {
      TopicOffset next = kNoTopic;
      std::optional<Topic> topic = i == 0 ? file->ReadTopic(whole[0].offset) : file->ReadTopicAt(at, &next);
      if (i == 0) file->ReadTopicAt(whole[0].offset, &next);
      ASSERT_TRUE(topic) << name << " topic " << i;
      EXPECT_EQ(topic->offset, whole[i].offset) << name;
      EXPECT_EQ(topic->title, whole[i].title) << name;
      EXPECT_EQ(PlainText(*topic), PlainText(whole[i])) << name << " " << topic->title;
      at = next;
    }
    EXPECT_EQ(i, whole.size()) << name;
  }
}

// ---- Halibut -------------------------------------------------------------------------

TEST(Halibut, TheManualsHeadingsEmphasisListsReferencesAndIndexTerms) {
  std::string path = fixture::HalibutDir() + "/manual.hlp";
  if (!fs::exists(path)) GTEST_SKIP() << "halibut is not on this machine";
  std::unique_ptr<HelpFile> file = HelpFile::Open(path);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->info().title, "Field Manual for the Lighthouse Keeper");
  EXPECT_EQ(file->info().copyright, "Copyright 2026 The Quillon test authors");
  std::vector<Topic> topics = AllTopics(*file);
  std::vector<std::string> titles;
  for (const Topic &t : topics) titles.push_back(t.title);
  // \C, \H, \S and \A headings, in document order, after the contents topic.
  std::vector<std::string> expected = {"Contents", "Chapter 1: Daily duties", "Section 1.1: The lamp",
                                       "Section 1.1.1: The lens", "Section 1.2: Fog signals",
                                       "Chapter 2: Records and reports", "Appendix A: Glossary"};
  ASSERT_GE(titles.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(titles.begin(), titles.begin() + 7), expected);
  auto topicTitled = [&](const std::string &title) -> const Topic & {
    return *std::find_if(topics.begin(), topics.end(), [&](const Topic &t) { return t.title == title; });
  };

  // The heading sits in the non-scrolling region, bold.
  const Topic &duties = topicTitled("Chapter 1: Daily duties");
  ASSERT_EQ(duties.header.size(), 1u);
  const Paragraph &heading = std::get<Paragraph>(duties.header[0]);
  EXPECT_EQ(TextOf(heading), "Chapter 1: Daily duties");
  EXPECT_TRUE(heading.content[0].style.bold);
  // \e{trims the wick} is emphasised; the run around it is not.
  const Paragraph &first = FirstParagraph(duties);
  auto wick = std::find_if(first.content.begin(), first.content.end(),
                           [](const Inline &i) { return i.text == "trims the wick"; });
  ASSERT_NE(wick, first.content.end());
  EXPECT_TRUE(wick->style.italic);
  EXPECT_FALSE(first.content[0].style.italic);
  // \k{lamp} and \k{signals} are jumps to those sections.
  std::vector<std::string> targets;
  for (const Inline &piece : first.content)
    if (piece.link >= 0) {
      const Link &link = duties.links[static_cast<size_t>(piece.link)];
      EXPECT_EQ(link.kind, LinkKind::Jump);
      auto target = std::find_if(topics.begin(), topics.end(), [&](const Topic &t) { return t.offset == link.target; });
      ASSERT_NE(target, topics.end()) << piece.text;
      targets.push_back(piece.text + " -> " + target->title);
    }
  EXPECT_EQ(targets, (std::vector<std::string>{"section 1.1 -> Section 1.1: The lamp",
                                               "section 1.2 -> Section 1.2: Fog signals"}));
  // \b bullets: a hanging indent with a tab after the bullet.
  const Paragraph &bullet = std::get<Paragraph>(duties.body.at(1));
  EXPECT_LT(bullet.format.firstIndent, 0);
  EXPECT_GT(bullet.format.leftIndent, 0);
  ASSERT_GE(bullet.content.size(), 3u);
  EXPECT_EQ(bullet.content[1].kind, InlineKind::Tab);
  EXPECT_EQ(bullet.content[2].text, "Trim the wick.");
  // \i{...} index terms are keywords of their topics, and of the K list.
  auto keywordsOf = [&](const Topic &t) {
    std::vector<std::string> words;
    for (const Keyword &k : t.keywords) words.push_back(k.list + ":" + k.text);
    std::sort(words.begin(), words.end());
    return words;
  };
  EXPECT_EQ(keywordsOf(duties), (std::vector<std::string>{"K:clockwork", "K:lens"}));
  EXPECT_EQ(keywordsOf(topicTitled("Section 1.1: The lamp")), (std::vector<std::string>{"K:paraffin"}));
  std::vector<KeywordEntry> list = file->Keywords("K");
  auto logbook = std::find_if(list.begin(), list.end(), [](const KeywordEntry &k) { return k.keyword == "logbook"; });
  ASSERT_NE(logbook, list.end());
  EXPECT_EQ(logbook->topics, std::vector<TopicOffset>{topicTitled("Chapter 2: Records and reports").offset});
  // Browse sequence: each topic leads to the next.
  EXPECT_EQ(duties.browseForward, topicTitled("Section 1.1: The lamp").offset);
  EXPECT_EQ(topicTitled("Section 1.1: The lamp").browseBack, duties.offset);
  // Halibut writes a contents file beside the help file.
  std::optional<Contents> contents = file->ContentsFile();
  ASSERT_TRUE(contents);
  ASSERT_FALSE(contents->entries.empty());
  EXPECT_EQ(file->Resolve(static_cast<uint32_t>(HlpGenerateHashValue(contents->entries.back().context.c_str()))) !=
                kNoTopic,
            true);
}

// ---- Built files ------------------------------------------------------------------------

// One file with a jump, a popup, macro hotspots, a jump into another file, a
// picture, an embedded window and a macro button.
fixture::DocRecipe Hotspots() {
  using namespace fixture;
  DocRecipe recipe;
  Bytes commands = JumpTo("second");
  PutBytes(commands, HotspotEnd());
  PutBytes(commands, PopupTo("note"));
  PutBytes(commands, HotspotEnd());
  PutBytes(commands, MacroHotspot("JumpId(`',`second')"));
  PutBytes(commands, HotspotEnd());
  PutBytes(commands, MacroHotspot("ExecFile(\"start http://example.org/x?a=1\",`',1)"));
  PutBytes(commands, HotspotEnd());
  PutBytes(commands, JumpElsewhere("elsewhere", "OTHER.HLP", "glossary"));
  PutBytes(commands, HotspotEnd());
  PutBytes(commands, MacroHotspot("Beep()"));
  PutBytes(commands, HotspotEnd());
  PutBytes(commands, PictureRef(0, 0x87));
  PutBytes(commands, EmbeddedObject("!&Top,JI(`',`second')"));
  PutBytes(commands, EmbeddedObject("mci.dll,Player,clip"));
  PutBytes(commands, JumpTo("nowhere"));
  PutBytes(commands, HotspotEnd());
  PutBytes(commands, {0x82});
  recipe.topics = {
      {"First", {"first"}, {"hot"}, {fixture::Paragraph({"Go ", "second", " ", "note", " ", "macro", " ", "web", " ", "other",
                                                " ", "beep", " ", "", "", "", "gone", "", ""},
                                               commands)}},
      {"Second", {"second"}, {}, {TextParagraph("The second topic.")}},
      {"", {"note"}, {}, {TextParagraph("A note in a popup.")}},
  };
  return recipe;
}

TEST(BuiltFiles, EveryKindOfHotspot) {
  fixture::TempDir dir;
  fixture::BuiltDoc doc = fixture::BuildDocument(Hotspots());
  std::unique_ptr<HelpFile> file = OpenBytes(dir, doc.bytes);
  ASSERT_NE(file, nullptr);
  std::vector<Topic> topics = AllTopics(*file);
  ASSERT_EQ(topics.size(), 3u);
  const Topic &first = topics[0];
  struct Expected {
    std::string text;  // the hotspot's text, or the piece's own for objects
    LinkKind kind;
    MacroAction action;
    TopicOffset target;
    std::string file, window, url;
  } expected[] = {
      {"second", LinkKind::Jump, MacroAction::None, doc.topicOffsets[1], "", "", ""},
      {"note", LinkKind::Popup, MacroAction::None, doc.topicOffsets[2], "", "", ""},
      {"macro", LinkKind::Macro, MacroAction::Jump, doc.topicOffsets[1], "", "", ""},
      {"web", LinkKind::Macro, MacroAction::Url, kNoTopic, "", "", "http://example.org/x?a=1"},
      {"other", LinkKind::Jump, MacroAction::None, kNoTopic, "OTHER.HLP", "glossary", ""},
      {"beep", LinkKind::Macro, MacroAction::None, kNoTopic, "", "", ""},
      {"Top", LinkKind::Macro, MacroAction::Jump, doc.topicOffsets[1], "", "", ""},
      {"gone", LinkKind::Jump, MacroAction::None, kNoTopic, "", "", ""},
  };
  std::vector<const Inline *> hot;
  const Paragraph &paragraph = FirstParagraph(first);
  for (const Inline &piece : paragraph.content)
    if (piece.link >= 0) hot.push_back(&piece);
  ASSERT_EQ(hot.size(), std::size(expected));
  for (size_t i = 0; i < hot.size(); ++i) {
    const Link &link = first.links.at(static_cast<size_t>(hot[i]->link));
    const Expected &e = expected[i];
    EXPECT_EQ(hot[i]->text, e.text) << i;
    EXPECT_EQ(link.kind, e.kind) << e.text;
    EXPECT_EQ(link.action, e.action) << e.text;
    EXPECT_EQ(link.target, e.target) << e.text;
    EXPECT_EQ(link.file, e.file) << e.text;
    EXPECT_EQ(link.window, e.window) << e.text;
    EXPECT_EQ(link.url, e.url) << e.text;
  }
  // The button is a piece of its own; the picture and the embedded window too.
  auto kindAt = [&](InlineKind kind) {
    return std::find_if(paragraph.content.begin(), paragraph.content.end(),
                        [&](const Inline &i) { return i.kind == kind; });
  };
  ASSERT_NE(kindAt(InlineKind::Button), paragraph.content.end());
  ASSERT_NE(kindAt(InlineKind::Picture), paragraph.content.end());
  EXPECT_EQ(kindAt(InlineKind::Picture)->text, "|bm0");
  EXPECT_EQ(kindAt(InlineKind::Picture)->placement, Placement::Left);
  ASSERT_NE(kindAt(InlineKind::EmbeddedWindow), paragraph.content.end());
  EXPECT_EQ(kindAt(InlineKind::EmbeddedWindow)->text, "mci.dll,Player,clip");
  // Keywords and the untitled popup topic.
  EXPECT_EQ(first.keywords.size(), 1u);
  EXPECT_EQ(topics[2].title, "");
  EXPECT_EQ(PlainText(topics[2]), "A note in a popup.\n");
  EXPECT_EQ(file->ReadTopic(doc.topicOffsets[2])->title, "");
}

// In 3.0 files a jump names its target by topic number, and |TOMAP gives the
// topic; browse neighbours are topic numbers too.
TEST(BuiltFiles, Windows30JumpsGoThroughTheTopicMap) {
  using namespace fixture;
  DocRecipe recipe;
  recipe.minor = kMinorWindows30;
  Bytes commands = JumpToNumber(17);
  PutBytes(commands, HotspotEnd());
  PutBytes(commands, PopupTo("x"));  // a number no topic has
  PutBytes(commands, HotspotEnd());
  recipe.topics = {{"One", {}, {}, {fixture::Paragraph({"", "two", " ", "none", ""}, commands)}},
                   {"Two", {}, {}, {TextParagraph("second")}},
                   {"", {}, {}, {TextParagraph("untitled")}}};
  TempDir dir;
  BuiltDoc doc = BuildDocument(recipe);
  std::unique_ptr<HelpFile> file = OpenBytes(dir, doc.bytes);
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(file->info().Version30());
  std::vector<Topic> topics = AllTopics(*file);
  ASSERT_EQ(topics.size(), 3u);
  ASSERT_EQ(topics[0].links.size(), 2u);
  EXPECT_EQ(topics[0].links[0].target, doc.topicOffsets[1]);
  EXPECT_EQ(topics[0].links[1].target, kNoTopic);
  EXPECT_EQ(topics[0].number, 16u);
  EXPECT_EQ(topics[0].browseForward, doc.topicOffsets[1]);
  EXPECT_EQ(topics[1].browseBack, doc.topicOffsets[0]);
  EXPECT_EQ(topics[2].title, "");
  // The untitled topic is a start although the title index lacks it.
  EXPECT_EQ(file->TopicStarts().size(), 3u);
}

TEST(BuiltFiles, ATable) {
  using namespace fixture;
  // Two rows of two columns; the second row's first cell is empty.
  auto row = [](const std::vector<std::pair<int, std::string>> &cells) {
    TopicRecord record;
    record.type = 0x23;
    PutRecordPrefix(record.format, 0);
    PutU8(record.format, 2);  // columns
    PutU8(record.format, 1);  // table type 1: no scaling
    for (int i = 0; i < 2; ++i) {
      PutU16(record.format, 1440);  // width
      PutU16(record.format, 100);   // gap
    }
    for (const auto &[column, text] : cells) {
      PutU8(record.format, static_cast<uint32_t>(column));
      PutBytes(record.format, {0, 0, 0, 0});
      PutBytes(record.format, {0x00, 0x80, 0, 0, 0, 0});  // paragraph header, no bits
      PutBytes(record.format, {0x82, 0xFF});
      PutCString(record.text, text);
      PutCString(record.text, "");
    }
    PutBytes(record.format, {0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    record.advance = static_cast<uint16_t>(record.text.size());
    return record;
  };
  DocRecipe recipe;
  recipe.topics = {{"Table", {}, {}, {TextParagraph("Before"), row({{0, "a1"}, {1, "b1"}}), row({{1, "b2"}}),
                                       TextParagraph("After")}}};
  TempDir dir;
  std::unique_ptr<HelpFile> file = OpenBytes(dir, BuildDocument(recipe).bytes);
  ASSERT_NE(file, nullptr);
  std::vector<Topic> topics = AllTopics(*file);
  ASSERT_EQ(topics.size(), 1u);
  ASSERT_EQ(topics[0].body.size(), 3u);
  const Table &table = std::get<Table>(topics[0].body[1]);
  ASSERT_EQ(table.rows.size(), 2u);
  EXPECT_EQ(table.rows[0].edges.size(), 2u);
  ASSERT_EQ(table.rows[0].cells.size(), 2u);
  EXPECT_EQ(TextOf(table.rows[0].cells[1].paragraphs.at(0)), "b1");
  ASSERT_EQ(table.rows[1].cells.size(), 2u);
  EXPECT_TRUE(table.rows[1].cells[0].paragraphs.empty());
  EXPECT_EQ(TextOf(table.rows[1].cells[1].paragraphs.at(0)), "b2");
  EXPECT_EQ(PlainText(topics[0]), "Before\na1\tb1\n\tb2\nAfter\n");
}

// A Russian file: the language record says 1251; titles, text and keywords
// arrive as UTF-8.  A font with its own character set converts by that.
TEST(BuiltFiles, CodePageFromTheLanguageAndTheFonts) {
  using namespace fixture;
  DocRecipe recipe;
  recipe.language = 0x0419;
  FontRecipe greek{"Greek"};
  greek.charset = 161;
  recipe.fonts = {{"Arial"}, greek};
  const std::string privet = "\xCF\xF0\xE8\xE2\xE5\xF2";  // "Привет" in 1251
  Bytes commands{0x80, 1, 0};                           // to font 1 (Greek)
  PutBytes(commands, {0x82});
  recipe.title = privet;
  recipe.topics = {{privet, {"ru"}, {privet}, {fixture::Paragraph({privet + " ", "\xE1\xE2", ""}, commands)}}};
  TempDir dir;
  std::unique_ptr<HelpFile> file = OpenBytes(dir, BuildDocument(recipe).bytes);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->info().codePage, 1251);
  EXPECT_EQ(file->info().title, "Привет");
  std::vector<Topic> topics = AllTopics(*file);
  ASSERT_EQ(topics.size(), 1u);
  EXPECT_EQ(topics[0].title, "Привет");
  ASSERT_EQ(topics[0].keywords.size(), 1u);
  EXPECT_EQ(topics[0].keywords[0].text, "Привет");
  EXPECT_EQ(PlainText(topics[0]), "Привет αβ\n");
}

// ---- Code pages, macros, contents files -------------------------------------------------

TEST(CodePages, ChosenAndConverted) {
  struct Case {
    int codePage;
    std::string bytes, utf8;
  } cases[] = {
      {1252, "caf\xE9 \x80 \x93x\x94", "café € “x”"},
      {1252, "\x81", "\xEF\xBF\xBD"},  // 1252 leaves 0x81 undefined
      {1251, "\xC0\xE1\xE2", "Абв"},
      {1250, "\x8A\xE8", "Šč"},
      {1253, "\xC1\xE2", "Αβ"},
      {932, "\x93\xfa\x96\x7b", "日本"},
      {932, "ab\x93", "ab\xEF\xBF\xBD"},  // a lead byte cut by the end
      {1258, "Vi\xD2\xEAt", "V\xE1\xBB\x89\xC3\xAAt"},  // a combining mark joins its letter: "ỉ"
      {99999, "caf\xE9", "café"},  // unknown: 1252
  };
  for (const Case &c : cases) EXPECT_EQ(CodePage(c.codePage).ToUtf8(c.bytes), c.utf8) << c.codePage;
  EXPECT_EQ(CodePageOfLanguage(0x0419), 1251);
  EXPECT_EQ(CodePageOfLanguage(0x0409), 1252);
  EXPECT_EQ(CodePageOfLanguage(0x0804), 936);
  EXPECT_EQ(CodePageOfLanguage(0x0404), 950);
  EXPECT_EQ(CodePageOfLanguage(0x041A), 1250);
  EXPECT_EQ(CodePageOfLanguage(0x0C1A), 1251);
  EXPECT_EQ(CodePageOfLanguage(0), 0);
  EXPECT_EQ(CodePageOfCharset(204), 1251);
  EXPECT_EQ(CodePageOfCharset(0), 0);
  EXPECT_EQ(CodePageOfCharset(2), 0);  // symbol fonts follow the file
  // Fonts that draw symbols: their bytes are glyphs.
  std::optional<CodePage> symbol = CodePage::ForSymbolFont("Symbol");
  ASSERT_TRUE(symbol);
  EXPECT_EQ(symbol->ToUtf8("a\xB7\xAE\xBE 1"), "α•→— 1");
  std::optional<CodePage> wingdings = CodePage::ForSymbolFont("WINGDINGS");
  ASSERT_TRUE(wingdings);
  EXPECT_EQ(wingdings->ToUtf8("l\xA7\xFC\x43"), "●▪✔👍");
  EXPECT_FALSE(CodePage::ForSymbolFont("Arial"));
}

// On a real file: EUDORA writes its bullets in Wingdings and its dashes in
// Symbol; they read as the glyphs, and the same text read bytewise as 1252.
TEST(RealFiles, SymbolFontsReadAsTheirGlyphs) {
  std::string corpus = fixture::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the shared corpus is not on this machine";
  std::unique_ptr<HelpFile> file = HelpFile::Open(corpus + "/hlp/eudora-win__EUDORA.HLP");
  OpenOptions bytewise;
  bytewise.symbolFonts = false;
  std::unique_ptr<HelpFile> raw = HelpFile::Open(corpus + "/hlp/eudora-win__EUDORA.HLP", nullptr, bytewise);
  ASSERT_TRUE(file && raw);
  std::string text = WholeText(*file), rawText = WholeText(*raw);
  EXPECT_EQ(rawText.find("\u25AA"), std::string::npos);
  EXPECT_NE(text.find("\u25AA"), std::string::npos);  // Wingdings 0xA7, a small square
  EXPECT_NE(text.find("\u2014"), std::string::npos);  // Symbol 0xBE, a long dash
  EXPECT_LT(text.size(), rawText.size() + rawText.size() / 10);
}

TEST(Macros, WhatAReaderCanFollow) {
  struct Case {
    const char *macro;
    MacroAction action;
    const char *file, *context, *url, *keyword;
  } cases[] = {
      {"JumpId(`',`IDH_TOP')", MacroAction::Jump, "", "IDH_TOP", "", ""},
      {"JI(\"other.hlp>win\",\"ctx\")", MacroAction::Jump, "other.hlp", "ctx", "", ""},
      {"PI(`', `note')", MacroAction::Popup, "", "note", "", ""},
      {"PopupId(\"\",\"a b\")", MacroAction::Popup, "", "a b", "", ""},
      {"JK(`',`word')", MacroAction::Keyword, "", "", "", "word"},
      {"KL(`one;two',1)", MacroAction::Keyword, "", "", "", "one;two"},
      {"ALink(`group')", MacroAction::Keyword, "", "", "", "group"},
      {"EF(`http://x.org/',`',1)", MacroAction::Url, "", "", "http://x.org/", ""},
      {"ExecProgram(\"start http://www.sierra.com\" ,1)", MacroAction::Url, "", "", "http://www.sierra.com", ""},
      {"EF(`www.eudora.com/a',`',1)", MacroAction::Url, "", "", "http://www.eudora.com/a", ""},
      {"EF(\"mailto:a@b.c\",`',1)", MacroAction::Url, "", "", "mailto:a@b.c", ""},
      {"EF(\"javascript:alert(1)\",`',1)", MacroAction::None, "", "", "", ""},
      {"EF(\"notepad.exe\",`',1)", MacroAction::None, "", "", "", ""},
      {"Beep():JI(`',`after')", MacroAction::Jump, "", "after", "", ""},
      {"Contents()", MacroAction::Contents, "", "", "", ""},
      {"JI(`',`unterminated", MacroAction::None, "", "", "", ""},
      {"", MacroAction::None, "", "", "", ""},
  };
  for (const Case &c : cases) {
    MacroMeaning m = InterpretMacro(c.macro);
    EXPECT_EQ(m.action, c.action) << c.macro;
    EXPECT_EQ(m.file, c.file) << c.macro;
    EXPECT_EQ(m.context, c.context) << c.macro;
    EXPECT_EQ(m.url, c.url) << c.macro;
    EXPECT_EQ(m.keyword, c.keyword) << c.macro;
  }
  EXPECT_EQ(InterpretMacro("JumpContext(`',42)").contextNumber, 42);
}

TEST(ContentsFiles, RealAndOdd) {
  CodePage page(1252);
  Contents odd = ParseContents(
      ":Base Help.hlp\r\n:Title My help\r\n1 Book\r\n2 Topic=ctx@other.hlp>win\r\n9 Deep=deep\r\n"
      "2 Run=!JI(`',`x')\r\n; a comment\r\nnot a line\r\n0 zero=z\r\n1 Last=last\r\n",
      page);
  EXPECT_EQ(odd.base, "Help.hlp");
  EXPECT_EQ(odd.title, "My help");
  ASSERT_EQ(odd.entries.size(), 5u);
  EXPECT_TRUE(odd.entries[0].heading);
  EXPECT_EQ(odd.entries[1].context, "ctx");
  EXPECT_EQ(odd.entries[1].file, "other.hlp");
  EXPECT_EQ(odd.entries[1].window, "win");
  EXPECT_EQ(odd.entries[2].level, 3);  // never deeper than one below the line before
  EXPECT_EQ(odd.entries[3].macro, "JI(`',`x')");
  EXPECT_EQ(odd.entries[4].level, 1);

  std::string corpus = fixture::CorpusDir();
  if (corpus.empty()) return;
  // The real contents file names topics by the author's context strings: most
  // name topics of their help file.
  std::unique_ptr<HelpFile> file = HelpFile::Open(corpus + "/hlp/eudora-win__PureVoice.hlp");
  ASSERT_NE(file, nullptr);
  Contents real = ParseContents(ReadText(corpus + "/cnt/eudora-win__PureVoice.cnt"), page);
  EXPECT_EQ(real.base, "PureVoice.hlp");
  size_t found = 0, topics = 0;
  for (const ContentsEntry &entry : real.entries) {
    if (entry.heading) continue;
    ++topics;
    if (file->Find(entry.context) != kNoTopic) ++found;
  }
  EXPECT_GT(topics, 20u);
  EXPECT_GT(found * 10, topics * 9);
}

// ---- Damage ---------------------------------------------------------------------------------

TEST(Damage, OpeningFailsWithAReason) {
  fixture::TempDir dir;
  struct Case {
    const char *what;
    fixture::Bytes bytes;
  } cases[] = {
      {"empty", {}},
      {"not a container", fixture::Bytes(100, 'x')},
      {"no |SYSTEM", fixture::BuildContainer({{"|TOPIC", fixture::Bytes(100, 0)}}).bytes},
      {"no |TOPIC", fixture::BuildContainer({{"|SYSTEM", fixture::SystemFile(33, 0, {})}}).bytes},
  };
  for (const Case &c : cases) {
    std::string why;
    EXPECT_EQ(HelpFile::Open(dir.Write("bad.hlp", c.bytes), &why), nullptr) << c.what;
    EXPECT_FALSE(why.empty()) << c.what;
  }
  std::string why;
  EXPECT_EQ(HelpFile::Open(dir.path() + "/missing.hlp", &why), nullptr);
  EXPECT_FALSE(why.empty());
}

// A file cut anywhere reads as far as it goes, and never crashes.
TEST(Damage, CutFilesReadAsFarAsTheyGo) {
  fixture::TempDir dir;
  fixture::Bytes whole = fixture::BuildDocument(Hotspots()).bytes;
  for (size_t size = 0; size < whole.size(); size += 7) {
    fixture::Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    std::unique_ptr<HelpFile> file = HelpFile::Open(dir.Write("cut.hlp", cut));
    if (!file) continue;
    size_t topics = 0;
    file->ReadAll([&](Topic &topic) {
      ++topics;
      PlainText(topic);
      return true;
    });
    EXPECT_LE(topics, 3u);
  }
}

}  // namespace
