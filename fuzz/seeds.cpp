// Writes the seed corpora of the fuzz targets.
//
//   fuzz_seeds OUT [SOURCE ...]
//
// OUT/hlp (container and topic targets), OUT/shg (SHG import) and
// OUT/shg_export (SHG export) receive small files made with the test
// fixture builders: help files of every format version, compression and
// phrase style with all indexes, SHG files of every packing method, DIBs with
// hotspot lists, and the inputs of the faults found (tests/regressions).  Each SOURCE (a file or a folder,
// searched to any depth) adds real files: .shg files go to OUT/shg, everything else to OUT/hlp, whole and,
// when it opens as a help file, rebuilt small (its pictures left out and its files cut, so that it stays a
// help file within libFuzzer's input length); the pictures of a help file (|bm0, |bm1 ...) go to OUT/shg.
#include <marlet/marlet.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "collection/zip_recipe.h"
#include "regressions/fixtures.h"
#include "support/help_builder.h"
#include "support/shg_builder.h"
#include "support/topic_builder.h"

namespace fs = std::filesystem;
using namespace fixture;

namespace {

// Within the 128 KiB that scripts/fuzz.sh lets the help-file targets read.
constexpr size_t kLargestWholeFile = 128 * 1024;
constexpr size_t kLargestKeptFile = 12 * 1024;
constexpr size_t kLargestOtherFile = 1024;
constexpr int kKeptTopicBlocks = 5;
constexpr size_t kLargestPicture = 96 * 1024;

fs::path g_out;
int g_written = 0;

void Write(const std::string &folder, const std::string &name, const Bytes &bytes) {
  fs::create_directories(g_out / folder);
  std::ofstream out(g_out / folder / name, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ++g_written;
}

// ---- Help files from the builders ------------------------------------------

SystemRecordRecipe Text(uint16_t type, const std::string &text) { return {type, CStringBytes(text)}; }

SystemRecordRecipe Window(const std::string &name) {
  Bytes data(90, 0);
  SetU16(data, 0, 0x0003);
  std::memcpy(data.data() + 12, name.data(), std::min<size_t>(9, name.size()));
  std::memcpy(data.data() + 21, "Caption", 7);
  return {6, data};
}

Bytes Hash(const char *context) { return U32Bytes(static_cast<uint32_t>(HlpGenerateHashValue(context))); }

// A 3.0 paragraph (type 0x01) has no offsetAdvance behind its first value.
void MakeVersion30(TopicRecord &record) {
  record.type = 0x01;
  size_t advanceBytes = record.advance <= 127 ? 1 : 2;
  record.format.erase(record.format.begin() + 2, record.format.begin() + 2 + static_cast<long>(advanceBytes));
}

// Paragraph command streams of every kind the renderers know.
std::vector<TopicRecord> Paragraphs(bool v30) {
  std::vector<TopicRecord> records;
  Bytes jump{0xE3};
  PutBytes(jump, Hash("contents"));
  PutBytes(jump, {0x89});
  Bytes popup{0xE6};
  PutBytes(popup, Hash("glossary"));
  PutBytes(popup, {0x89});
  Bytes longJump{0xEB, 0x07, 0x00, 0x04};
  PutBytes(longJump, Hash("index"));
  PutBytes(longJump, {0xAA, 0xBB, 0x89});
  Bytes macro{0xC8, 0x0C, 0x00};
  PutCString(macro, "Back()");
  PutBytes(macro, {0, 0, 0, 0, 0, 0x89});
  Bytes font{0x80, 0x01, 0x00};
  Bytes breaks{0x81, 0x83, 0x82};
  Bytes picture{0x86, 0x22};
  PutCompressedLong(picture, 0);
  PutCompressedUShort(picture, 0);
  PutU16(picture, 0);
  PutU16(picture, 3);
  Bytes window{0x87, 0x05};
  PutCompressedLong(window, 20);
  PutCompressedUShort(window, 0);
  PutU16(window, 0);
  PutU16(window, 0);
  PutU8(window, 0);
  PutCString(window, "viewer.dll,Window,42");
  Bytes clip{0x88, 0x05};
  PutCompressedLong(clip, 20);
  PutCompressedUShort(clip, 0);
  PutU16(clip, 0);
  PutU16(clip, 0);
  PutU8(clip, 0);
  PutCString(clip, "*10,3,+clip.avi");
  Bytes embeddedMacro{0x86, 0x05};
  PutCompressedLong(embeddedMacro, 20);
  PutCompressedUShort(embeddedMacro, 0);
  PutU16(embeddedMacro, 0);
  PutU16(embeddedMacro, 0);
  PutU8(embeddedMacro, 0);
  PutCString(embeddedMacro, "!About()");

  records.push_back(Paragraph({"Jump to ", "the contents", "."}, jump));
  records.push_back(Paragraph({"A ", "popup", " and a ", "long jump", ""}, [&] {
    Bytes c = popup;
    PutBytes(c, longJump);
    return c;
  }()));
  records.push_back(Paragraph({"Run ", "a macro", ""}, macro));
  // Spacing, indents, borders and tab stops.
  Bytes fields;
  PutCompressedShort(fields, 12);
  PutCompressedShort(fields, -6);
  PutCompressedShort(fields, 240);
  PutCompressedShort(fields, 360);
  PutBytes(fields, {0x9F, 0x00, 0x00});  // border: box, all sides, dotted
  PutU8(fields, 3 << 1);                 // three tab stops
  PutCompressedUShort(fields, 720);
  PutU16(fields, 0x8000 | (1440 * 2 + 1));
  PutU8(fields, 0x02);
  PutCompressedUShort(fields, 20);
  records.push_back(Paragraph(
      {"Bold", "line", "tab", "end", ""},
      [&] {
        Bytes c = font;
        PutBytes(c, breaks);
        return c;
      }(),
      0x0002 | 0x0010 | 0x0020 | 0x0040 | 0x0100 | 0x0200 | 0x1000 | 0x0800, fields));
  records.push_back(Paragraph({"", "", "", "", ""}, [&] {
    Bytes c = picture;
    PutBytes(c, window);
    PutBytes(c, clip);
    PutBytes(c, embeddedMacro);
    return c;
  }()));
  if (v30)
    for (TopicRecord &r : records) MakeVersion30(r);
  return records;
}

TopicRecord Table() {
  TopicRecord record;
  record.type = 0x23;
  PutRecordPrefix(record.format, 2);
  PutBytes(record.format, {2, 0});  // two columns, type 0
  PutU16(record.format, 16000);
  PutU16(record.format, 8000), PutU16(record.format, 200);
  PutU16(record.format, 8000), PutU16(record.format, 200);
  for (uint8_t column : {0, 1}) {
    PutBytes(record.format, {column, 0, 0, 0, 0});
    PutBytes(record.format, {0x00, 0x80, 0x00, 0x00});
    PutU16(record.format, 0);
    PutBytes(record.format, {0x82, 0xFF});
  }
  PutBytes(record.format, {0xFF, 0, 0, 0, 0});
  PutCString(record.text, "cell one");
  PutCString(record.text, "");
  PutCString(record.text, "cell two");
  PutCString(record.text, "");
  record.advance = 2;
  return record;
}

struct HelpRecipe {
  uint16_t minor = 33;
  uint16_t flags = 0;
  TopicLayout layout;
  int topics = 6;
  int phrases = 0;  // 0 none, 1 old style, 2 new style
  unsigned fontDescriptor = 11;
  uint16_t treePageSize = 256;
  uint16_t directoryPageSize = 1024;
  bool tables = true;
};

// Phrase-coded text of a paragraph with one paragraph end: stored codes
// that expand to "the " and "help " (and a space, old style), then the plain
// text and the two terminators.
void PutPhrasedText(TopicRecord &record, int style, const std::string &plain) {
  record.text.clear();
  if (style == 1) {
    PutBytes(record.text, {0x01, 0x00, 0x01, 0x03});
    PutCString(record.text, plain);
    PutCString(record.text, "");
    record.textLength = static_cast<int32_t>(4 + 5 + 1 + plain.size() + 2);
  } else {
    PutBytes(record.text, {0x00, 0x02});
    std::string literal = plain.substr(0, 30) + std::string(2, '\0');
    PutU8(record.text, static_cast<uint32_t>(((literal.size() - 1) << 3) | 3));
    PutText(record.text, literal);
    record.textLength = static_cast<int32_t>(4 + 5 + literal.size());
  }
}

Bytes BuildHelp(const HelpRecipe &recipe) {
  const bool v30 = recipe.minor == 15;
  std::vector<TopicRecord> records;
  std::vector<size_t> headers;
  for (int t = 0; t < recipe.topics; ++t) {
    headers.push_back(records.size());
    TopicRecord header = TopicHeader("Topic " + std::to_string(t));
    header.format = TopicHeaderFormat(0xFFFFFFFF, t % 3);
    if (v30) header.format.resize(24, 0), SetU32(header.format, 0, 0x100);
    if (t == 0) PutCString(header.text, "second string");
    records.push_back(header);
    std::vector<TopicRecord> paragraphs = Paragraphs(v30);
    records.insert(records.end(), paragraphs.begin(), paragraphs.end());
    if (recipe.tables && !v30) records.push_back(Table());
    TopicRecord text = TextParagraph("Plain text of topic " + std::to_string(t));
    if (recipe.phrases != 0) PutPhrasedText(text, recipe.phrases, "and more text");
    if (v30) MakeVersion30(text);
    records.push_back(text);
  }
  TopicLayout layout = recipe.layout;
  layout.version30 = v30;
  BuiltTopic topic = BuildTopic(records, layout);

  std::vector<InternalFile> files;
  files.push_back({"|SYSTEM", v30 ? System30File(recipe.flags, "Seed help 3.0")
                                  : SystemFile(recipe.minor, recipe.flags,
                                               {Text(1, "Seed help file"), Text(2, "(c) nobody, nowhere"),
                                                Text(8, "Cite as: seed"), Window("main"), Window("NINECHARS"),
                                                Text(13, "Group one"), Text(13, "Group two"), Text(4, "Macro()")})});
  files.push_back({"|TOPIC", topic.bytes});

  TreeShape shape;
  shape.pageSize = recipe.treePageSize;
  std::vector<TreeEntry> titles, contexts;
  struct Pair {
    int32_t hash;
    uint32_t offset;
  };
  std::vector<Pair> pairs;
  for (int t = 0; t < recipe.topics; ++t) {
    uint32_t offset = topic.offsets[headers[t]];
    titles.push_back({U32Bytes(offset), CStringBytes("Topic " + std::to_string(t))});
    pairs.push_back({HlpGenerateHashValue(("topic_" + std::to_string(t)).c_str()), offset});
    pairs.push_back(
        {HlpGenerateHashValue(("para_" + std::to_string(t)).c_str()), topic.offsets[headers[t] + 1]});
  }
  pairs.push_back({HlpGenerateHashValue("contents"), topic.offsets[0]});
  std::sort(pairs.begin(), pairs.end(), [](const Pair &a, const Pair &b) { return a.hash < b.hash; });
  for (const Pair &p : pairs)
    contexts.push_back({U32Bytes(static_cast<uint32_t>(p.hash)), U32Bytes(p.offset)});
  shape.structure = "Lz";
  files.push_back({"|TTLBTREE", BuildBTree(titles, shape).bytes});
  shape.structure = "L4";
  files.push_back({"|CONTEXT", BuildBTree(contexts, shape).bytes});

  for (const char *list : {"K", "A", "0K"}) {
    std::vector<std::string> words = {"alpha", "Beta",  "gamma", "Delta", "epsilon", "zeta",
                                      "Eta",   "theta", "iota",  "kappa", "lambda",  "Mu"};
    std::sort(words.begin(), words.end(),
              [](const std::string &a, const std::string &b) { return lstrcmpiA(a.c_str(), b.c_str()) < 0; });
    Bytes data;
    std::vector<TreeEntry> entries;
    for (size_t w = 0; w < words.size(); ++w) {
      uint32_t at = static_cast<uint32_t>(data.size());
      uint32_t count = 1 + w % 3;
      for (uint32_t k = 0; k < count; ++k)
        PutU32(data, topic.offsets[(w * 7 + k * 3) % topic.offsets.size()]);
      Bytes leaf;
      PutU16(leaf, count);
      PutU32(leaf, at);
      entries.push_back({CStringBytes(words[w] + " " + list), leaf});
    }
    shape.structure = "F24";
    files.push_back({std::string("|") + list + "WBTREE", BuildBTree(entries, shape).bytes});
    files.push_back({std::string("|") + list + "WDATA", data});
  }

  std::vector<FontRecipe> fonts(4);
  fonts[0].face = "Times New Roman";
  fonts[1].face = "Arial,Helvetica";
  fonts[1].attributes = 1;
  fonts[2].face = "Courier New";
  fonts[2].attributes = 6;
  fonts[2].family = 1;
  fonts[3].face = "Symbol";
  fonts[3].family = 5;
  fonts[3].text[0] = 255;
  files.push_back({"|FONT", FontFile(fonts, recipe.fontDescriptor == 42 ? 32 : 20, recipe.fontDescriptor)});

  const std::vector<std::string> phrases = {"the ", "help ", "topic ", "window "};
  if (recipe.phrases == 1) {
    files.push_back({"|Phrases", OldPhrases(phrases, (recipe.flags & 0x0C) != 0 && !v30)});
  } else if (recipe.phrases == 2) {
    NewPhraseFiles files2 = NewPhrases(phrases, 2, true);
    files.push_back({"|PhrIndex", files2.index});
    files.push_back({"|PhrImage", files2.image});
  }
  ContainerShape container;
  container.directory.pageSize = recipe.directoryPageSize;
  return BuildContainer(files, container).bytes;
}

void BuilderHelpFiles() {
  HelpRecipe recipe;
  Write("hlp", "built-95-plain.hlp", BuildHelp(recipe));

  recipe = {};
  recipe.minor = 15;
  recipe.phrases = 1;
  recipe.tables = false;
  Write("hlp", "built-30-phrases.hlp", BuildHelp(recipe));

  recipe = {};
  recipe.minor = 21;
  recipe.flags = 0x04;
  recipe.layout.compressed = true;
  recipe.phrases = 1;
  Write("hlp", "built-31-compressed-old-phrases.hlp", BuildHelp(recipe));

  recipe = {};
  recipe.flags = 0x08;
  recipe.layout.compressed = true;
  recipe.phrases = 2;
  recipe.fontDescriptor = 42;
  Write("hlp", "built-95-compressed-new-phrases.hlp", BuildHelp(recipe));

  recipe = {};
  recipe.topics = 40;
  recipe.treePageSize = 64;
  recipe.directoryPageSize = 128;
  Write("hlp", "built-95-deep-trees-straddling-records.hlp", BuildHelp(recipe));

  recipe = {};
  recipe.layout.blockFill = 700;
  recipe.topics = 8;
  Write("hlp", "built-95-short-blocks.hlp", BuildHelp(recipe));

  // Small and empty ones.
  Write("hlp", "system-only.hlp", BuildContainer({{"|SYSTEM", SystemFile(33, 0, {Text(1, "Only")})}}).bytes);
  Write("hlp", "empty-directory.hlp", BuildContainer({}).bytes);
  Bytes header{0x3F, 0x5F, 0x03, 0x00, 0x10, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x40, 0, 0, 0};
  Write("hlp", "header-only.hlp", header);
  Write("hlp", "empty.hlp", {});
}

// ---- SHG files from the builders -------------------------------------------

Bytes PackWith(unsigned method, const Bytes &raw) {
  switch (method) {
    case 1:
      return RleLiterals(raw);
    case 2:
      return Lz77Pack(raw);
    case 3:
      return Lz77Pack(RleLiterals(raw));
    default:
      return raw;
  }
}

std::vector<FileHotspot> SomeHotspots() {
  std::vector<FileHotspot> hotspots(4);
  hotspots[0] = {0x04E7, 1, 2, 10, 8, "jump", "contents", ""};
  hotspots[1] = {0x00E2, 20, 2, 5, 5, "popup", "glossary", ""};
  hotspots[2] = {0x04CC, 1, 20, 30, 4, "macro", "", "ExecProgram(`notepad')"};
  hotspots[3] = {0x00EA, 3, 3, 1, 1, "odd", "unknown", ""};
  return hotspots;
}

void BuilderShgFiles() {
  const struct {
    uint16_t bits;
    uint32_t width, height;
  } shapes[] = {{1, 33, 9}, {4, 17, 5}, {8, 12, 12}, {24, 7, 3}, {32, 2, 2}, {16, 5, 4}};
  for (unsigned method = 0; method <= 3; ++method) {
    for (const auto &s : shapes) {
      BitmapPicture p;
      p.method = static_cast<uint8_t>(method);
      p.bitCount = s.bits;
      p.width = s.width;
      p.height = s.height;
      if (s.bits <= 8) p.colours = RandomBytes(4u << (s.bits == 8 ? 4 : s.bits), s.bits);
      Bytes raw = RandomBytes(((s.bits * s.width + 31) / 32 * 4) * s.height, method * 100 + s.bits, 4);
      p.packed = PackWith(method, raw);
      if (s.bits == 8) p.hotspots = BuildHotspotData(SomeHotspots());
      p.longForms = s.bits == 24;
      Write("shg", "built-bitmap-" + std::to_string(s.bits) + "bit-method" + std::to_string(method) + ".shg",
            BuildBitmapShg(p).bytes);
    }
  }
  for (unsigned method = 0; method <= 2; ++method) {
    MetafilePicture p;
    p.method = static_cast<uint8_t>(method);
    p.width = 955;
    p.height = 427;
    Bytes raw = SmallMetafile(12);
    p.decompressedSize = static_cast<uint32_t>(raw.size());
    p.packed = PackWith(method, raw);
    p.hotspots = BuildHotspotData(SomeHotspots());
    FileShape shape;
    shape.magic = method == 1 ? "lP" : "lp";
    shape.pictureCount = static_cast<uint16_t>(method + 1);
    Write("shg", "built-metafile-method" + std::to_string(method) + ".shg", BuildMetafileShg(p, shape).bytes);
  }
  // Drawings for the picture layer, which checks each record before libwmf
  // plays it: a window, objects, shapes, text and a bitmap.
  auto join = [](Bytes a, const Bytes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  Bytes dib = DibBytes(8, 6, 4, RandomBytes(1024, 7), RandomBytes(32, 8));
  std::vector<MetafileRecord> drawing = {
      {0x0103, Words({8})},
      {0x020B, Words({0, 0})},
      {0x020C, Words({1000, 2000})},
      {0x02FA, Words({0, 3, 0, 0, 0})},
      {0x02FC, Words({0, 0x00FF, 0, 0})},
      {0x02FB, join(Words({-120, 0, 0, 0, 700, 0, 0, 0, 0}), {'A', 'r', 'i', 'a', 'l', 0})},
      {0x012D, Words({0})},
      {0x012D, Words({1})},
      {0x012D, Words({2})},
      {0x001E, {}},
      {0x0416, Words({900, 1900, 100, 100})},
      {0x041B, Words({500, 1000, 250, 500})},
      {0x0418, Words({900, 1900, 100, 100})},
      {0x0324, Words({3, 10, 10, 1500, 200, 700, 900})},
      {0x0538, Words({2, 3, 3, 0, 0, 100, 0, 0, 100, 500, 500, 600, 500, 500, 600})},
      {0x0521, join(Words({5}), {'H', 'e', 'l', 'l', 'o', 0, 0x2C, 0x01, 0xC8, 0x00})},
      {0x0A32, join(Words({400, 200, 3, 4, 0, 0, 50, 50}), {'<', '&', '>', 0})},
      {0x0127, Words({-1})},
      {0x0F43, join(Words({0x0020, 0x00CC, 0, 4, 6, 0, 0, 300, 600, 600, 1200}), dib)},
      {0x01F0, Words({2})},
      {0x0214, Words({0, 0})},
      {0x0213, Words({999, 1999})},
  };
  Write("shg", "built-metafile-drawing.shg", MetafileShg(MetafileOf(drawing), 5292, 2650).bytes);
  drawing.erase(drawing.begin() + 18);
  Write("shg", "built-metafile-vector.shg", MetafileShg(MetafileOf(drawing), 5292, 2650).bytes);
}

// ---- SHG export inputs -----------------------------------------------------

// The export target's input: flags, the DIB block's size and bytes, then the
// list block's bytes up to its end of used data.
Bytes ExportInput(const Bytes &dib, HGLOBAL list) {
  Bytes out;
  PutU8(out, list != nullptr ? 0x01 : 0x00);
  PutU32(out, static_cast<uint32_t>(dib.size()));
  PutBytes(out, dib);
  if (list != nullptr) {
    Bytes bytes = BytesOfGlobal(list);
    uint32_t end =
        bytes[520] | (bytes[521] << 8) | (bytes[522] << 16) | (static_cast<uint32_t>(bytes[523]) << 24);
    bytes.resize(std::min<size_t>(end, bytes.size()));
    PutBytes(out, bytes);
    GlobalFree(list);
  }
  return out;
}

void BuilderExportInputs() {
  std::vector<ListHotspot> hotspots = {{1, 2, 11, 10, 0, "contents", "jump"},
                                       {20, 2, 25, 7, 1, "glossary", "popup"},
                                       {1, 20, 31, 24, 2, "Back()", "macro"},
                                       {-5, -5, 3, 3, 3, "both", "popup and macro"}};
  const struct {
    uint16_t bits;
    int32_t width, height;
    int colours;
  } shapes[] = {{1, 40, 6, 2}, {4, 9, 9, 16}, {8, 16, 4, 0}, {8, 3, 3, 7},
                {24, 5, 5, 0}, {32, 3, 1, 0}, {16, 0, 0, 0}};
  int n = 0;
  for (const auto &s : shapes) {
    Bytes pixels = RandomBytes(((s.bits * s.width + 31) / 32 * 4) * s.height, 7 + n, 3);
    Bytes colours = RandomBytes(4 * (s.colours > 0 ? s.colours : (s.bits < 16 ? 1 << s.bits : 0)), n);
    Bytes dib = DibBytes(s.bits, s.width, s.height, colours, pixels,
                         s.colours > 0 ? std::optional<uint32_t>(s.colours) : std::optional<uint32_t>(0));
    std::string name = "built-dib-" + std::to_string(s.bits) + "bit-" + std::to_string(n++);
    Write("shg_export", name + ".bin", ExportInput(dib, nullptr));
    Write("shg_export", name + "-hotspots.bin", ExportInput(dib, MakeHotspotList(hotspots)));
  }
}

// ---- Collections -----------------------------------------------------------

// OUT/collection: archives of help files as the collection reader meets them:
// stored and deflated entries, names that climb, an archive inside an
// archive, a KWAJ file with its name.
void CollectionInputs() {
  HelpRecipe recipe;
  Bytes help = BuildHelp(recipe);
  std::string h(help.begin(), help.end());
  auto save = [](const std::string &name, const std::string &bytes) {
    Write("collection", name, Bytes(bytes.begin(), bytes.end()));
  };
  std::string inner = BuildZip({{"inner.hlp", h, true}, {"inner.cnt", ":Base inner.hlp\n1 Top=top\n"}});
  save("stored.zip", BuildZip({{"a.hlp", h}, {"a.cnt", ":Title A\n1 Start=top\n"}}));
  save("deflated.zip", BuildZip({{"dir/b.hlp", h, true}, {"../up.hlp", h}, {"/abs.hlp", h, true}}));
  save("nested.zip", BuildZip({{"inner.zip", inner}, {"readme.txt", "text"}}));
  std::string kwaj("KWAJ\x88\xF0\x27\xD1", 8);
  std::string headers;
  ZipU32(headers, static_cast<uint32_t>(h.size()));
  headers += std::string("KWAJHELP") + '\0' + "HLP" + '\0';
  ZipU16(kwaj, 0);
  ZipU16(kwaj, static_cast<uint32_t>(14 + headers.size()));
  ZipU16(kwaj, 0x19);
  save("kwaj.hl_", kwaj + headers + h);
}

// ---- Inputs of the faults found -------------------------------------------

void RegressionInputs() {
  for (const regression::Input &input : regression::BuiltInputs()) {
    const char *kind = input.target == "shg_import" || input.target == "pictures" ? "shg"
                       : input.target == "shg_export" ? "shg_export"
                       : input.target == "collection" ? "collection"
                                                      : "hlp";
    Write(kind, "regression-" + input.name, input.bytes);
  }
}

// ---- Real files ------------------------------------------------------------

Bytes ReadWhole(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Lower(std::string text) {
  for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

struct Listed {
  std::vector<std::string> names;
};

int32_t MARLET_API OnName(const char *name, int32_t, MarletUserData user) {
  reinterpret_cast<Listed *>(user)->names.push_back(name);
  return 1;
}

Bytes ReadInternal(IfsHandle help, const std::string &name, size_t limit) {
  Bytes bytes;
  IfsFileHandle file = IFSOpenFile(help, name.c_str());
  if (file == nullptr) return bytes;
  uint32_t size = IFSSeekFile(file, 0, 2);
  IFSSeekFile(file, 0, 0);
  bytes.resize(std::min<size_t>(size, limit));
  int32_t read = bytes.empty() ? 0 : IFSReadFile(file, bytes.data(), static_cast<uint32_t>(bytes.size()));
  bytes.resize(read > 0 ? static_cast<size_t>(read) : 0);
  IFSCloseFile(file);
  return bytes;
}

bool IsReadByLibrary(const std::string &name) {
  for (const char *known :
       {"|SYSTEM", "|TOPIC", "|FONT", "|CONTEXT", "|TTLBTREE", "|Phrases", "|PhrIndex", "|PhrImage"})
    if (name == known) return true;
  // Keyword lists: |xWBTREE and |xWDATA.
  return name.size() >= 7 && name[0] == '|' &&
         (name.compare(name.size() - 6, 6, "WBTREE") == 0 || name.compare(name.size() - 5, 5, "WDATA") == 0);
}

// A real help file rebuilt small: its pictures go to the SHG seeds, its
// topic text keeps its first blocks and every other file its first bytes.
void RebuildSmall(const fs::path &path, const std::string &stem) {
  IfsHandle help = IFSOpen(path.string().c_str());
  if (help == nullptr) return;
  HelpTitleInfo *info = HlpGetHelpTitle(help);
  const size_t blockSize = info != nullptr && info->minorVersion == 15 ? 2048 : 4096;
  HlpFreeHelpTitle(info);
  Listed listed;
  IFSEnumerateFiles(help, OnName, reinterpret_cast<MarletUserData>(&listed));
  std::vector<InternalFile> kept;
  for (const std::string &name : listed.names) {
    if (name.rfind("|bm", 0) == 0 || name.rfind("bm", 0) == 0) {
      Bytes picture = ReadInternal(help, name, kLargestPicture + 1);
      if (picture.size() <= kLargestPicture && picture.size() >= 2 && picture[0] == 'l' &&
          (picture[1] == 'p' || picture[1] == 'P'))
        Write("shg", "real-" + stem + "-" + name.substr(name[0] == '|' ? 1 : 0) + ".shg", picture);
      continue;
    }
    size_t limit = name == "|TOPIC" ? blockSize * kKeptTopicBlocks : kLargestKeptFile;
    if (!IsReadByLibrary(name)) {
      // The author's own files and those no call reads: kept when small.
      Bytes bytes = ReadInternal(help, name, kLargestOtherFile + 1);
      if (bytes.size() <= kLargestOtherFile) kept.push_back({name, bytes});
      continue;
    }
    kept.push_back({name, ReadInternal(help, name, limit)});
  }
  IFSClose(help);
  if (!kept.empty()) Write("hlp", "small-" + stem, BuildContainer(kept).bytes);
}

// Help files and SHG files by their first bytes; damaged ones by their
// names.
void AddReal(const fs::path &path) {
  const std::string name = path.filename().string();
  const std::string extension = Lower(path.extension().string());
  std::error_code error;
  uintmax_t size = fs::file_size(path, error);
  if (error) return;
  Bytes head = ReadWhole(path);
  bool help = head.size() >= 4 && head[0] == 0x3F && head[1] == 0x5F && head[2] == 0x03 && head[3] == 0x00;
  bool shg = head.size() >= 2 && head[0] == 'l' && (head[1] == 'p' || head[1] == 'P');
  if (shg || extension == ".shg") {
    if (size <= kLargestPicture) Write("shg", "real-" + name, head);
    return;
  }
  if (!help && extension != ".hlp" && extension != ".gid" && extension != ".mvb") return;
  if (size <= kLargestWholeFile) Write("hlp", "real-" + name, head);
  if (help) RebuildSmall(path, name);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT [SOURCE ...]\n", argv[0]);
    return 2;
  }
  g_out = argv[1];
  BuilderHelpFiles();
  BuilderShgFiles();
  BuilderExportInputs();
  RegressionInputs();
  CollectionInputs();
  for (int i = 2; i < argc; ++i) {
    std::error_code error;
    fs::path source = argv[i];
    if (fs::is_directory(source, error)) {
      std::vector<fs::path> files;
      for (const auto &entry : fs::recursive_directory_iterator(source, error))
        if (entry.is_regular_file()) files.push_back(entry.path());
      std::sort(files.begin(), files.end());
      for (const fs::path &file : files) AddReal(file);
    } else if (fs::is_regular_file(source, error)) {
      AddReal(source);
    }
  }
  std::printf("%d seed files in %s\n", g_written, g_out.string().c_str());
  return 0;
}
