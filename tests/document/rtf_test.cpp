// The RTF writer: text escaping, and documents a real reader (unrtf) reads
// back with their letters, cells and links where the model has them.
#include <gtest/gtest.h>

#include <string>

#include "quillon/document/rtf.h"
#include "support/help_builder.h"

namespace {

using namespace quillon::document;
using fixture::RunCommand;

struct TextCase {
  const char *name;
  std::string utf8;
  std::string rtf;
};

class RtfText : public testing::TestWithParam<TextCase> {};

TEST_P(RtfText, Escapes) {
  std::string out;
  AppendRtfText(out, GetParam().utf8);
  EXPECT_EQ(out, GetParam().rtf);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RtfText,
    testing::Values(TextCase{"Ascii", "plain text.", "plain text."},
                    TextCase{"Syntax", "a{b}c\\d", "a\\{b\\}c\\\\d"},
                    TextCase{"Breaks", "a\tb\nc", "a\\tab b\\line c"},
                    TextCase{"ControlsDropped", std::string("a\x01\x1f\x7f" "b"), "ab"},
                    TextCase{"Latin", "caf\xC3\xA9", "caf\\u233\\'3f"},
                    TextCase{"Cyrillic", "\xD0\x96", "\\u1046\\'3f"},
                    // \uN is a signed 16-bit number: units from 0x8000 on are negative.
                    TextCase{"AboveSigned", "\xE2\x82\xAC\xEF\xBF\xBD", "\\u8364\\'3f\\u-3\\'3f"},
                    TextCase{"Surrogates", "\xF0\x9F\x98\x80", "\\u-10179\\'3f\\u-8704\\'3f"},
                    TextCase{"InvalidBytes", "a\xFF\xC3", "a\\u-3\\'3f\\u-3\\'3f"},
                    TextCase{"Overlong", "\xC0\xAF", "\\u-3\\'3f\\u-3\\'3f"},
                    TextCase{"EncodedSurrogate", "\xED\xA0\x80", "\\u-3\\'3f\\u-3\\'3f\\u-3\\'3f"}),
    [](const testing::TestParamInfo<TextCase> &info) { return std::string(info.param.name); });

Inline Text(std::string text, int link = -1, bool bold = false) {
  Inline piece;
  piece.text = std::move(text);
  piece.link = link;
  piece.style.bold = bold;
  return piece;
}

Paragraph Para(std::vector<Inline> content) {
  Paragraph p;
  p.content = std::move(content);
  p.ended = true;
  return p;
}

// A topic with formats, an anchor inside it, links to it and to the web and
// to a topic the document does not hold, and a table with an empty cell.
Topic SampleTopic() {
  Topic topic;
  topic.offset = 0x100;
  topic.title = "Sample";
  topic.contexts = {{"inside", 1, 0x180}};
  Link here;
  here.context = "inside";
  here.target = 0x180;
  Link web;
  web.kind = LinkKind::Macro;
  web.action = MacroAction::Url;
  web.url = "http://example.com/a b\"c";
  Link elsewhere;
  elsewhere.target = kNoTopic;
  topic.links = {here, web, elsewhere};
  topic.body.emplace_back(Para({Text("Bold \xD0\x96", -1, true), Text(" see "), Text("here", 0), Text(" and "),
                                Text("web", 1), Text(" or "), Text("nowhere", 2)}));
  Paragraph anchored = Para({Text("Anchored {text}")});
  anchored.anchors = {"inside"};
  anchored.format.alignment = Alignment::Centre;
  topic.body.emplace_back(anchored);
  Row row;
  row.edges = {1000, 2000, 3000};
  row.cells = {{0, {Para({Text("a1")})}}, {2, {Para({Text("c1")}), Para({Text("c1 again")})}}};
  Table table;
  table.rows = {row};
  topic.body.emplace_back(table);
  topic.body.emplace_back(Para({Text("after")}));
  return topic;
}

TEST(RtfWriter, DocumentOfOneTopic) {
  FileInfo info;
  info.codePage = 1251;
  info.fonts = {{"Arial", "swiss", 204, 0x123456}};
  std::string rtf = RtfWriter(info).Document(SampleTopic());
  EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1251\\deff0\\uc1", 0), 0u) << rtf;
  EXPECT_NE(rtf.find("{\\f0\\fswiss\\fcharset204 Arial;}"), std::string::npos) << rtf;
  EXPECT_NE(rtf.find("\\red18\\green52\\blue86;"), std::string::npos) << rtf;
  // Links: to the bookmark the anchored paragraph holds, to the web address
  // encoded so that its quote cannot end the instruction; the target the
  // model does not know stays text.
  EXPECT_NE(rtf.find("{\\*\\bkmkstart q00000180}"), std::string::npos) << rtf;
  EXPECT_NE(rtf.find("HYPERLINK \\\\l \"q00000180\""), std::string::npos) << rtf;
  EXPECT_NE(rtf.find("HYPERLINK \"http://example.com/a%20b%22c\""), std::string::npos) << rtf;
  EXPECT_EQ(rtf.find("HYPERLINK", rtf.find("nowhere") - 60), std::string::npos) << rtf;
  // Three cells for three edges, the empty column too.
  EXPECT_NE(rtf.find("\\cellx1000\\cellx2000\\cellx3000"), std::string::npos) << rtf;
  size_t row = rtf.find("\\trowd");
  size_t cells = 0;
  for (size_t at = rtf.find("\\cell\n", row); at != std::string::npos; at = rtf.find("\\cell\n", at + 1)) ++cells;
  EXPECT_EQ(cells, 3u);

  fixture::TempDir dir;
  std::string path = dir.Write("topic.rtf", fixture::Bytes(rtf.begin(), rtf.end()));
  fixture::CommandResult read = RunCommand("unrtf --html '" + path + "' 2>/dev/null");
  if (read.exitCode == 127) GTEST_SKIP() << "left out: unrtf is not installed (scripts/deps.sh installs it)";
  ASSERT_EQ(read.exitCode, 0);
  const std::string &html = read.out;
  EXPECT_NE(html.find("<b>Bold &#1046;</b>"), std::string::npos) << html;
  for (const char *text : {"here", "web", "nowhere", "Anchored {text}", "after"})
    EXPECT_NE(html.find(text), std::string::npos) << text << "\n" << html;
  size_t a1 = html.find("a1"), empty = html.find("<td></td>", a1), c1 = html.find("c1", a1);
  EXPECT_TRUE(a1 != std::string::npos && empty != std::string::npos && empty < c1) << html;
}

TEST(RtfWriter, DocumentOfManyTopicsLinksBetweenThem) {
  FileInfo info;  // no fonts: the document names one of its own
  Topic first = SampleTopic();
  Topic second;
  second.offset = 0x200;
  second.body.emplace_back(Para({Text("second")}));
  Link back;
  back.target = 0x100;
  second.links = {back};
  std::get<Paragraph>(second.body[0]).content.push_back(Text("back", 0));
  RtfWriter writer(info);
  std::string rtf = writer.Begin("Both");
  writer.AppendTopic(first, rtf);
  writer.AppendTopic(second, rtf);
  rtf += RtfWriter::End();
  EXPECT_NE(rtf.find("{\\fonttbl{\\f0\\fswiss Arial;}}"), std::string::npos) << rtf;
  EXPECT_NE(rtf.find("{\\info{\\title Both}}"), std::string::npos);
  EXPECT_NE(rtf.find("\\page\n"), std::string::npos);
  EXPECT_NE(rtf.find("{\\*\\bkmkstart q00000100}"), std::string::npos);
  EXPECT_NE(rtf.find("{\\*\\bkmkstart q00000200}"), std::string::npos);
  EXPECT_NE(rtf.find("HYPERLINK \\\\l \"q00000100\""), std::string::npos);
  // Braces balance: readers take the document whole.
  int depth = 0;
  for (size_t i = 0; i < rtf.size(); ++i) {
    if (rtf[i] == '\\') {
      ++i;
    } else if (rtf[i] == '{') {
      ++depth;
    } else if (rtf[i] == '}') {
      EXPECT_GE(--depth, 0);
    }
  }
  EXPECT_EQ(depth, 0);
}

}  // namespace
