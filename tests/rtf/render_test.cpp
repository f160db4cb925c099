// Paragraph, hotspot, object and table records as exact event sequences.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "rtf/render.h"
#include "support/help_builder.h"
#include "support/recorder.h"
#include "support/topic_builder.h"
#include "topic/topic_handle.h"

using namespace marlet;
using fixture::Recorder;

namespace {

using Bytes = fixture::Bytes;
using Lines = std::vector<std::string>;

// A topic handle with just what the renderers use: version, fonts, scale.
class Renderer {
 public:
  explicit Renderer(uint8_t minorVersion = 33, bool newFonts = false) {
    info_.minorVersion = minorVersion;
    topic_.titleInfo = &info_;
    topic_.newFontDescriptors = newFonts ? 1 : 0;
    table_ = static_cast<FontTable *>(std::calloc(1, sizeof(FontTable) + 3 * sizeof(FontEntry)));
    table_->count = 3;
    table_->entries = reinterpret_cast<FontEntry *>(table_ + 1);
    for (int i = 0; i < 3; ++i) table_->entries[i].halfPoints = 20;
    table_->entries[2].weight = 700;
    table_->entries[2].underline = 1;
    topic_.fonts = table_;
  }
  ~Renderer() {
    std::free(topic_.fontChanges);  // made by the renderer on first use
    std::free(table_);
  }

  // Renders one paragraph from format bytes (beginning with the six header
  // bytes) and zero-separated texts.
  Lines Paragraph(const Bytes &format, const std::vector<std::string> &texts, bool inTable = false,
                  size_t *formatLeft = nullptr, uint32_t *textLeft = nullptr, bool *heldBack = nullptr) {
    Recorder recorder;
    Sink sink{Recorder::Callback, recorder.user()};
    std::string text = Join(texts);
    TextCursor cursor(text.data(), static_cast<uint32_t>(text.size()));
    ByteCursor bytes(format.data(), format.size());
    bool held = RtfParagraph(topic_, sink, cursor, bytes, false, inTable);
    if (formatLeft) *formatLeft = bytes.remaining();
    if (textLeft) *textLeft = cursor.count();
    if (heldBack) *heldBack = held;
    return recorder.lines;
  }

  Lines Table(const Bytes &format, const std::vector<std::string> &texts) {
    Recorder recorder;
    Sink sink{Recorder::Callback, recorder.user()};
    std::string text = Join(texts);
    RtfTableRecord(topic_, sink, TextCursor(text.data(), static_cast<uint32_t>(text.size())),
                   ByteCursor(format.data(), format.size()), false);
    return recorder.lines;
  }

 private:
  static std::string Join(const std::vector<std::string> &texts) {
    std::string text;
    for (const std::string &t : texts) text += t + '\0';
    if (!text.empty()) text.pop_back();  // the cursor's own terminator closes the last
    return text;
  }
  HelpTitleInfo info_{};
  TopicHandleRecord topic_{};
  FontTable *table_;
};

// The six header bytes with the given paragraph-info bits, then more.
Bytes Format(uint16_t bits, const Bytes &rest) {
  Bytes format{0x00, 0x80, 0x00, 0x00};
  fixture::PutU16(format, bits);
  fixture::PutBytes(format, rest);
  return format;
}

std::string Hash(const char *context) {
  char buffer[32] = {};
  HlpCreateStringForHashValue(HlpGenerateHashValue(context), buffer);
  return buffer;
}

Bytes HashBytes(const char *context) { return fixture::U32Bytes(static_cast<uint32_t>(HlpGenerateHashValue(context))); }

TEST(Paragraph, TheWorkedExample) {
  Renderer r;
  Lines lines = r.Paragraph(Format(0x0802, {0x8C, 0x80, 0x01, 0x00, 0x82, 0xFF}), {"", "Hello", ""});
  EXPECT_EQ(lines, (Lines{"7\t\\pard\\s0", "7\t\\qc", "7\t\\sb60", "7\t ", "0\t", "7\t\\f1\\cf1\\fs20\\b0\\i0\\ul0 ",
                          "0\tHello", "7\t\\par ", "1\t\\n", "0\t"}));
}

TEST(Paragraph, PropertiesAndLayoutCommands) {
  struct Case {
    const char *what;
    uint16_t bits;
    Bytes rest;
    Lines expected;
    bool newFonts = false;
  } cases[] = {
      {"both alignment bits", 0x0C00, {0xFF}, {"7\t\\pard\\s0", "7\t\\qc", "7\t ", "0\ta"}},
      {"right alignment and keep", 0x1400, {0xFF}, {"7\t\\pard\\s0", "7\t\\keep", "7\t\\qr", "7\t ", "0\ta"}},
      {"negative space before, scale 10", 0x0002, {0x7C, 0xFF}, {"7\t\\pard\\s0", "7\t\\ql", "7\t\\sb-20", "7\t ", "0\ta"}},
      {"negative space before, scale 1", 0x0002, {0x7C, 0xFF}, {"7\t\\pard\\s0", "7\t\\ql", "7\t\\sb-2", "7\t ", "0\ta"}, true},
      {"all spacings in order; the two values of bit 1 are skipped",
       0x007F,
       {0x82, 0x84, 0x82, 0x84, 0x86, 0x88, 0x8A, 0x8C, 0xFF},
       {"7\t\\pard\\s0", "7\t\\ql", "7\t\\sb10", "7\t\\sa20", "7\t\\sl30", "7\t\\li40", "7\t\\ri50", "7\t\\fi60", "7\t ", "0\ta"}},
      {"a two-byte spacing", 0x0010, {0x03, 0x81, 0xFF}, {"7\t\\pard\\s0", "7\t\\ql", "7\t\\li1290", "7\t ", "0\ta"}},
      {"borders: dotted, with the extra left first",
       0x0100,
       {0x80 | 0x10 | 0x01, 0x00, 0x00, 0xFF},
       {"7\t\\pard\\s0", "7\t\\ql", "7\t\\brdrl", "7\t\\brdrr\\brdrdot", "7\t\\box\\brdrdot", "7\t ", "0\ta"}},
      {"borders: thick",
       0x0100,
       {0x20 | 0x08 | 0x04 | 0x02, 0x00, 0x00, 0xFF},
       {"7\t\\pard\\s0", "7\t\\ql", "7\t\\brdrb\\brdrth", "7\t\\brdrl\\brdrth", "7\t\\brdrt\\brdrth", "7\t ", "0\ta"}},
      {"borders: single", 0x0100, {0x40 | 0x02, 0x00, 0x00, 0xFF}, {"7\t\\pard\\s0", "7\t\\ql", "7\t\\brdrt\\brdrs", "7\t ", "0\ta"}},
      {"tab count 0x86: three stops",
       0x0200,
       {0x86, 0x14, 0x01, 0x80, 0x00, 0xFF, 0xFF, 0xFF},
       {"7\t\\pard\\s0", "7\t\\ql", "7\t\\tx100", "7\t\\tqc", "7\t\\tx163850", "7\t\\tx0", "7\t ", "0\ta"}},
      {"a stop of raw 0x8001 reads a type byte", 0x0200,
       {0x02, 0x01, 0x80, 0x02, 0xFF},
       {"7\t\\pard\\s0", "7\t\\ql", "7\t\\tqr", "7\t\\tx163850", "7\t ", "0\ta"}},
      {"tab count 0x80: none", 0x0200, {0x80, 0xFF}, {"7\t\\pard\\s0", "7\t\\ql", "7\t ", "0\ta"}},
      {"line break and tab", 0x0000, {0x81, 0x83, 0xFF},
       {"7\t\\pard\\s0", "7\t\\ql", "7\t ", "0\ta", "7\t\\line ", "1\t\\n", "0\tb", "7\t\\tab ", "1\t\\t", "0\tc"}},
      {"zero bytes before and between commands", 0x0000, {0x00, 0x00, 0x81, 0x00, 0x83, 0xFF},
       {"7\t\\pard\\s0", "7\t\\ql", "7\t ", "0\ta", "7\t\\line ", "1\t\\n", "0\tb", "7\t\\tab ", "1\t\\t", "0\tc"}},
      {"unknown commands consume nothing", 0x0000, {0x84, 0x8F, 0xFF}, {"7\t\\pard\\s0", "7\t\\ql", "7\t ", "0\ta", "0\tb", "0\tc"}},
      {"a font the table does not hold", 0x0000, {0x80, 0x09, 0x00, 0xFF}, {"7\t\\pard\\s0", "7\t\\ql", "7\t ", "0\ta", "0\tb"}},
  };
  for (const Case &c : cases) {
    Renderer r(33, c.newFonts);
    EXPECT_EQ(r.Paragraph(Format(c.bits, c.rest), {"a", "b", "c"}), c.expected) << c.what;
  }
}

TEST(Paragraph, TheFormatCountEndsTheCommandLoop) {
  Renderer r;
  size_t left = 99;
  uint32_t textLeft = 99;
  // No 0xFF: the loop ends when the data does; the last text run still comes.
  Lines lines = r.Paragraph(Format(0, {0x81}), {"x", "y", "z"}, false, &left, &textLeft);
  EXPECT_EQ(lines, (Lines{"7\t\\pard\\s0", "7\t\\ql", "7\t ", "0\tx", "7\t\\line ", "1\t\\n", "0\ty"}));
  EXPECT_EQ(left, 0u);
  EXPECT_EQ(textLeft, 1u);  // "z" is left for the caller
  // The cursors stop after the 0xFF, for the next paragraph of a record.
  r.Paragraph(Format(0, {0x82, 0xFF, 0x55, 0x66}), {"a", "b", "rest"}, false, &left, &textLeft);
  EXPECT_EQ(left, 2u);
  EXPECT_EQ(textLeft, 4u);
}

TEST(Paragraph, InsideATableAParagraphEndBeforeTheCloseIsHeldBack) {
  Renderer r;
  bool held = false;
  Lines lines = r.Paragraph(Format(0, {0x82, 0xFF}), {"cell", ""}, true, nullptr, nullptr, &held);
  EXPECT_EQ(lines, (Lines{"7\t\\pard\\s0", "7\t\\intbl", "7\t\\ql", "7\t ", "0\tcell", "0\t"}));
  EXPECT_TRUE(held);
  lines = r.Paragraph(Format(0, {0x82, 0x81, 0xFF}), {"a", "b", ""}, true, nullptr, nullptr, &held);
  EXPECT_EQ(lines, (Lines{"7\t\\pard\\s0", "7\t\\intbl", "7\t\\ql", "7\t ", "0\ta", "7\t\\par ", "1\t\\n", "0\tb",
                          "7\t\\line ", "1\t\\n", "0\t"}));
  EXPECT_FALSE(held);
}

TEST(Hotspots, JumpsPopupsAndMacros) {
  std::string contents = Hash("contents");
  Bytes longJump{0xEB, 0x07, 0x00, 0x04};  // L = 7: flags, hash, then two more bytes
  fixture::PutBytes(longJump, HashBytes("contents"));
  fixture::PutBytes(longJump, {0xAA, 0xBB, 0x89, 0xFF});
  Bytes popup{0xE6};
  fixture::PutBytes(popup, HashBytes("contents"));
  fixture::PutBytes(popup, {0x89, 0xFF});
  Bytes jump{0xE3};
  fixture::PutBytes(jump, HashBytes("contents"));
  fixture::PutBytes(jump, {0x89, 0xFF});
  Bytes shortPlain{0xE2};
  fixture::PutBytes(shortPlain, HashBytes("contents"));
  fixture::PutBytes(shortPlain, {0x89, 0xFF});
  struct Case {
    const char *what;
    Bytes commands;
    Lines expected;
  } cases[] = {
      {"a jump over the text Index", jump,
       {"0\tSee ", "7\t\\strike ", "15\t" + contents, "0\tIndex", "7\t\\strike0\\ul0{\\v " + contents + "}",
        "16\t" + contents, "0\t."}},
      {"a popup: % before the context string", popup,
       {"0\tSee ", "7\t\\ul ", "15\t%" + contents, "0\tIndex", "7\t\\strike0\\ul0{\\v %" + contents + "}",
        "16\t%" + contents, "0\t."}},
      {"the short form 0xE2 has no prefix", shortPlain,
       {"0\tSee ", "7\t\\ul ", "15\t" + contents, "0\tIndex", "7\t\\strike0\\ul0{\\v " + contents + "}",
        "16\t" + contents, "0\t."}},
      {"the long form steps over 2 + L bytes", longJump,
       {"0\tSee ", "7\t\\strike ", "15\t" + contents, "0\tIndex", "7\t\\strike0\\ul0{\\v " + contents + "}",
        "16\t" + contents, "0\t."}},
      {"macro hotspot 0xCC", {0xCC, 0x05, 0x00, 'M', '(', '1', ')', 0x00, 0x89, 0xFF},
       {"0\tSee ", "7\t\\strike ", "5\t%!M(1)", "0\tIndex", "7\t\\strike0\\ul0{\\v %!M(1)}", "16\t%!M(1)", "0\t."}},
      {"macro hotspot 0xC8", {0xC8, 0x05, 0x00, 'M', '(', '1', ')', 0x00, 0x89, 0xFF},
       {"0\tSee ", "7\t\\strike ", "5\t!M(1)", "0\tIndex", "7\t\\strike0\\ul0{\\v !M(1)}", "16\t!M(1)", "0\t."}},
      {"a macro of length 0 is nothing", {0xC8, 0x00, 0x00, 0x89, 0xFF}, {"0\tSee ", "0\tIndex", "0\t."}},
      {"an end without a start is nothing", {0x89, 0x89, 0xFF}, {"0\tSee ", "0\tIndex", "0\t."}},
  };
  for (const Case &c : cases) {
    Renderer r;
    Lines lines = r.Paragraph(Format(0, c.commands), {"See ", "Index", "."});
    lines.erase(lines.begin(), lines.begin() + 3);  // \pard\s0, \ql, the delimiter
    EXPECT_EQ(lines, c.expected) << c.what;
  }
}

TEST(Hotspots, OperandLengthsLowerTheCount) {
  Renderer r;
  size_t left = 0;
  Bytes longJump{0xEA, 0x07, 0x00, 0x01, 1, 2, 3, 4, 5, 6, 0xFF, 0x55};
  r.Paragraph(Format(0, longJump), {"", ""}, false, &left);
  EXPECT_EQ(left, 1u);  // the command, 9 operand bytes and the 0xFF
  Bytes macro{0xC8, 0x0C, 0x00};
  for (int i = 0; i < 12; ++i) macro.push_back(i == 3 ? 0 : 'x');
  macro.insert(macro.end(), {0xFF, 0x55});
  r.Paragraph(Format(0, macro), {"", ""}, false, &left);
  EXPECT_EQ(left, 1u);
}

TEST(Hotspots, AFontChangeInsideAHotspotKeepsItsUnderline) {
  Renderer r;
  Bytes commands{0xE2};
  fixture::PutBytes(commands, HashBytes("x"));
  fixture::PutBytes(commands, {0x80, 0x02, 0x00, 0x89, 0x80, 0x02, 0x00, 0xFF});
  Lines lines = r.Paragraph(Format(0, commands), {"", "a", "b", "c"});
  EXPECT_EQ(lines[7], "7\t\\f2\\cf2\\fs20\\b\\i0 ");
  EXPECT_EQ(lines[lines.size() - 3], "0\tc");
  EXPECT_EQ(lines[lines.size() - 2], "7\t\\f2\\cf2\\fs20\\b\\i0\\ul ");
}

Bytes Object(uint8_t command, uint8_t type, int32_t size, bool embedded, int picture, const Bytes &tail) {
  Bytes out{command, type};
  fixture::PutCompressedLong(out, size);
  if (type != 3) fixture::PutCompressedUShort(out, 0);
  fixture::PutU16(out, embedded ? 1 : 0);
  if (picture >= 0) fixture::PutU16(out, static_cast<uint32_t>(picture));
  fixture::PutBytes(out, tail);
  return out;
}

Bytes ObjectText(uint8_t command, const std::string &text) {
  Bytes tail{0x00};
  fixture::PutCString(tail, text);
  return Object(command, 5, 0, false, 0, tail);
}

TEST(Objects, PicturesWindowsMacrosAndClips) {
  struct Case {
    const char *what;
    uint8_t minor;
    Bytes commands;
    Lines expected;
  } cases[] = {
      {"a picture by number", 33, Object(0x86, 3, 10, false, 5, {}), {"10\t{bmc |bm5}"}},
      {"a 3.0 picture", 15, Object(0x87, 3, 10, false, 12, {}), {"10\t{bml bm12}"}},
      {"an embedded type-3 picture: its data is stepped over", 33, Object(0x88, 3, 6, true, 7, {1, 2, 3, 4}),
       {"10\t{bmr |bm7}"}},
      {"an embedded type-0x22 picture gives nothing", 33, Object(0x86, 0x22, 5, true, -1, {9, 9, 9}), {}},
      {"picture number 0xFFFF gives nothing", 33, Object(0x86, 3, 10, false, 0xFFFF, {}), {}},
      {"an unknown object type gives nothing", 33, Object(0x86, 9, 10, false, 3, {}), {}},
      {"an embedded macro", 33, ObjectText(0x86, "!M(2)"), {"12\tM(2)"}},
      {"an embedded window", 33, ObjectText(0x87, "dll,class,data"),
       {"7\t\\{ewl ", "9\tdll,class,data", "7\t\\}"}},
      {"a media clip with options", 33, ObjectText(0x86, "*8,3,+clip.avi"), {"11\t{mci  nomenu repeat play,clip.avi}"}},
      {"a media clip without a plus", 33, ObjectText(0x86, "*0,0,clip.avi"), {"11\t{mci  external,clip.avi}"}},
      {"a noplaybar clip with empty fields", 33, ObjectText(0x86, "*,,2,,0,dir+a+b.avi"), {"11\t{mci  noplaybar,a+b.avi}"}},
      {"a media clip with two fields gives nothing", 33, ObjectText(0x86, "*8,3"), {}},
  };
  for (const Case &c : cases) {
    Renderer r(c.minor);
    Bytes commands = c.commands;
    commands.push_back(0xFF);
    Lines lines = r.Paragraph(Format(0, commands), {"", ""});
    Lines middle(lines.begin() + 4, lines.end() - 1);  // between the text runs
    EXPECT_EQ(middle, c.expected) << c.what;
  }
}

// Malformed records: fields, skips and strings that claim more than the data
// holds end the paragraph without reading past it.
TEST(Paragraph, DamagedFormatDataEndsThere) {
  std::vector<Bytes> cases = {
      Format(0x0002, {}),                       // a spacing field cut off
      Format(0x0100, {0x10}),                   // a border cut off
      Format(0x0200, {0xFE, 0x01}),             // 63 stops announced
      Format(0x0000, {0x80, 0x01}),             // a font number cut off
      Format(0x0000, {0xE3, 0x01, 0x02}),       // a hash cut off
      Format(0x0000, {0xEA, 0xFF, 0x7F, 0x00}), // a long jump longer than the data
      Format(0x0000, {0xC8, 0xFF, 0x7F, 'a'}),  // a macro longer than the data, no terminator
      Format(0, Object(0x86, 3, 30000, true, 1, {1, 2})),  // picture data longer than the record
      Format(0, Object(0x86, 5, 0, false, 0, {0x00, 'n', 'o', ' ', 'e', 'n', 'd'})),
      Format(0x0000, {0x86, 0x05}),             // an object cut inside its fields
      {0x00},                                   // not even the header
      {},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    Renderer r;
    size_t left = 0;
    Lines lines = r.Paragraph(cases[i], {"a", "b", "c"}, false, &left);
    EXPECT_EQ(left, 0u) << i;
    ASSERT_FALSE(lines.empty()) << i;
  }
}

// ---- Tables -------------------------------------------------------------------

Bytes Columns(uint8_t type, const std::vector<std::pair<uint16_t, uint16_t>> &columns, int minimum = -1) {
  Bytes out{static_cast<uint8_t>(columns.size()), type};
  if (minimum >= 0) fixture::PutU16(out, static_cast<uint32_t>(minimum));
  for (auto [width, gap] : columns) {
    fixture::PutU16(out, width);
    fixture::PutU16(out, gap);
  }
  return out;
}

// A cell header and a one-text paragraph with the given commands.
void PutCell(Bytes &out, uint8_t column, const Bytes &commands) {
  fixture::PutBytes(out, {column, 0, 0, 0, 0});
  fixture::PutBytes(out, Format(0, commands));
}

TEST(Tables, RowDefinitions) {
  struct Case {
    const char *what;
    Bytes layout;
    Lines expected;
  } cases[] = {
      {"type 1, two columns", Columns(1, {{100, 10}, {200, 20}}),
       {"7\t{\\pard\\trowd\\intbl", "7\t\\trgaph200", "7\t\\trleft-100", "7\t\\cellx1200", "7\t\\cellx3400", "7\t "}},
      {"one column: no row gap", Columns(1, {{100, 30}}),
       {"7\t{\\pard\\trowd\\intbl", "7\t\\trleft300", "7\t\\cellx1300", "7\t "}},
      {"type 3: boundaries unscaled", Columns(3, {{100, 10}, {200, 20}}),
       {"7\t{\\pard\\trowd\\intbl", "7\t\\trgaph200", "7\t\\trleft-100", "7\t\\cellx120", "7\t\\cellx340", "7\t "}},
      {"type 0: a minimum width of 32767 changes nothing", Columns(0, {{100, 10}, {200, 20}}, 32767),
       {"7\t{\\pard\\trowd\\intbl", "7\t\\trqc", "7\t\\trgaph200", "7\t\\trleft-100", "7\t\\cellx1200", "7\t\\cellx3400",
        "7\t "}},
      {"type 0: a minimum width of 0 makes all 0", Columns(0, {{100, 10}, {200, 20}}, 0),
       {"7\t{\\pard\\trowd\\intbl", "7\t\\trqc", "7\t\\trgaph00", "7\t\\trleft00", "7\t\\cellx00", "7\t\\cellx00", "7\t "}},
      {"type 2: divided by ten", Columns(2, {{1005, 15}, {2000, 25}}, 32767),
       {"7\t{\\pard\\trowd\\intbl", "7\t\\trqc", "7\t\\trgaph20", "7\t\\trleft00", "7\t\\cellx1030", "7\t\\cellx3050",
        "7\t "}},
      {"type 0 scaled to half", Columns(0, {{32767, 0}, {16384, 100}}, 16384),
       {"7\t{\\pard\\trowd\\intbl", "7\t\\trqc", "7\t\\trgaph500", "7\t\\trleft-500", "7\t\\cellx164090",
        "7\t\\cellx246510", "7\t "}},
  };
  for (const Case &c : cases) {
    Renderer r;
    Bytes format = c.layout;
    format.insert(format.end(), {0xFF, 0, 0, 0, 0});  // the row ends at once
    for (int i = 0; i < 10; ++i) format.push_back(0);
    Lines lines = r.Table(format, {});
    Lines expected = c.expected;
    expected.insert(expected.end(), {"7\t\\cell\\row\\pard}", "1\t\\n"});
    EXPECT_EQ(lines, expected) << c.what;
  }
}

TEST(Tables, CellsAreToldApartByColumnNumber) {
  Renderer r;
  Bytes format = Columns(1, {{100, 10}, {200, 20}});
  PutCell(format, 0, {0x82, 0xFF});  // ends with a paragraph end
  PutCell(format, 0, {0xFF});
  PutCell(format, 1, {0x82, 0xFF});
  fixture::PutBytes(format, {0xFF, 0, 0, 0, 0});
  for (int i = 0; i < 10; ++i) format.push_back(0);
  Lines lines = r.Table(format, {"first", "", "second", "third", ""});
  Lines cells(lines.begin() + 6, lines.end());
  EXPECT_EQ(cells, (Lines{"7\t\\pard\\s0", "7\t\\intbl", "7\t\\ql", "7\t ", "0\tfirst", "0\t",
                          // the second paragraph of the same cell: the held-back end
                          "7\t\\par ", "1\t\\n",
                          "7\t\\pard\\s0", "7\t\\intbl", "7\t\\ql", "7\t ", "0\tsecond",
                          "7\t\\cell ", "1\t\\t",
                          "7\t\\pard\\s0", "7\t\\intbl", "7\t\\ql", "7\t ", "0\tthird", "0\t",
                          "7\t\\cell\\row\\pard}", "1\t\\n"}));
}

TEST(Tables, TypesAboveThreeAndDamage) {
  Renderer r;
  EXPECT_EQ(r.Table(Columns(4, {{1, 1}}), {}), (Lines{"7\t{\\pard\\trowd\\intbl"}));
  // A column count past the data, and cells that run out.
  Bytes many{200, 1, 1, 2};
  Lines lines = r.Table(many, {"x"});
  EXPECT_EQ(lines.back(), "1\t\\n");
  Bytes cut = Columns(1, {{100, 10}});
  PutCell(cut, 0, {0x82});
  cut.resize(cut.size() + 8, 0);
  lines = r.Table(cut, {"a", "b"});
  EXPECT_EQ(lines.back(), "1\t\\n");
}

}  // namespace
