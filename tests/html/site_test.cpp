// The HTML site: escaping, names from data, a hostile help file, and every
// real file converted whole and checked the way a reader would find it: every
// link and picture leads somewhere, every page holds its topic's text.
#include <gtest/gtest.h>

#include <marlet/marlet.h>

#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "escape.h"
#include "quillon/document/help_file.h"
#include "quillon/document/plain_text.h"
#include "quillon/html/site.h"
#include "support/document_builder.h"
#include "support/help_builder.h"
#include "support/link_check.h"

using namespace quillon;
namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// ---- Escaping ---------------------------------------------------------------------

TEST(Escaping, EveryContextHasItsOwn) {
  struct Case {
    const char *input, *text, *attribute, *script;
  } cases[] = {
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;",
       "&lt;script&gt;alert(1)&lt;/script&gt;", "\\u003Cscript>alert(1)\\u003C/script>"},
      {"\"><img src=x onerror=alert(1)>", "\"&gt;&lt;img src=x onerror=alert(1)&gt;",
       "&quot;&gt;&lt;img src=x onerror=alert(1)&gt;", "\\u0022>\\u003Cimg src=x onerror=alert(1)>"},
      {"a & b 'c' \\", "a &amp; b 'c' \\", "a &amp; b &#39;c&#39; \\", "a & b 'c' \\u005C"},
      {"bell\x07 nul-free\x1f", "bell nul-free", "bell nul-free", "bell\\u0007 nul-free\\u001F"},
      {"tab\tline\n", "tab\tline\n", "tab&#9;line&#10;", "tab\\u0009line\\u000A"},
      {"c1 \xC2\x85 end", "c1  end", "c1  end", "c1 \xC2\x85 end"},
      {"sep\xE2\x80\xA8", "sep\xE2\x80\xA8", "sep\xE2\x80\xA8", "sep\\u2028"},
  };
  for (const Case &c : cases) {
    std::string text, attribute, script;
    html::AppendText(text, c.input);
    html::AppendAttribute(attribute, c.input);
    html::AppendScriptString(script, c.input);
    EXPECT_EQ(text, c.text) << c.input;
    EXPECT_EQ(attribute, c.attribute) << c.input;
    EXPECT_EQ(script, c.script) << c.input;
  }
  std::string url;
  html::AppendUrl(url, "http://x.org/a b\"<>?q=1&r='2'");
  EXPECT_EQ(url, "http://x.org/a%20b%22%3C%3E?q=1&amp;r=&#39;2&#39;");
}

TEST(Escaping, NamesFromDataStayInTheFolder) {
  struct Case {
    const char *input, *name;
  } cases[] = {
      {"Indl3tao3", "indl3tao3"}, {"../../etc/passwd", "_._.._etc_passwd"}, {"/abs", "_abs"},
      {"..", "_."},              {"", "_"},                                 {"a\\b:c", "a_b_c"},
      {".hidden", "_hidden"},     {"\xC3\xA9t\xC3\xA9", "__t__"},
  };
  for (const Case &c : cases) EXPECT_EQ(html::SafeName(c.input), c.name) << c.input;
  EXPECT_EQ(html::SafeName(std::string(500, 'a')).size(), 64u);
}

// ---- Checking a site as a reader finds it -------------------------------------------------

// A PNG whose header and image data libpng reads whole, or an SVG document
// in the SVG namespace with its size.
bool PictureReadsBack(const fs::path &path) {
  std::string bytes = ReadText(path);
  if (path.extension() == ".svg")
    return bytes.find("xmlns=\"http://www.w3.org/2000/svg\"") != std::string::npos &&
           bytes.find("width=") != std::string::npos && bytes.find("</svg>") != std::string::npos;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  bool ok = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return ok && image.width > 0 && image.height > 0;
}

// Every link of a site leads somewhere, and its pictures read back.
fixture::LinkCheck CheckSite(const fs::path &root) {
  fixture::LinkCheckOptions options;
  options.pictureReadsBack = PictureReadsBack;
  return fixture::CheckLinks(root, options);
}

// The text a reader sees of a page's topic: its non-scrolling region and its
// main text, tags dropped, references read, white space folded.
std::string Fold(const std::string &text) {
  std::string out;
  bool space = false;
  for (unsigned char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      space = true;
      continue;
    }
    if (space && !out.empty()) out += ' ';
    space = false;
    out += static_cast<char>(c);
  }
  return out;
}

std::string PageText(const std::string &page) {
  std::string regions;
  for (const char *tag : {"header class=\"nsr\"", "main"}) {
    size_t start = page.find(std::string("<") + tag + ">");
    if (start == std::string::npos) continue;
    std::string close = std::string("</") + std::string(tag).substr(0, std::string(tag).find(' ')) + ">";
    size_t end = page.find(close, start);
    regions += page.substr(start, end - start) + " ";
  }
  std::string text;
  for (size_t i = 0; i < regions.size(); ++i) {
    if (regions[i] == '<') {
      size_t end = regions.find('>', i);
      if (end == std::string::npos) break;
      // Block ends and line breaks separate words; inline elements do not.
      std::string element = regions.substr(i + 1, end - i - 1);
      element = element.substr(0, element.find(' '));
      static const std::set<std::string> separating = {"br", "p", "/p", "td", "/td", "tr", "/tr", "table",
                                                       "/table", "main", "header"};
      if (separating.count(element)) text += ' ';
      i = end;
      continue;
    }
    text += regions[i];
  }
  const std::pair<const char *, const char *> entities[] = {{"&lt;", "<"},   {"&gt;", ">"},    {"&quot;", "\""},
                                                            {"&#39;", "'"},  {"&#9;", "\t"},   {"&#10;", "\n"},
                                                            {"&amp;", "&"}};
  for (const auto &[entity, character] : entities)
    for (size_t at; (at = text.find(entity)) != std::string::npos;) text.replace(at, std::strlen(entity), character);
  return Fold(text);
}

// The corpus's contents files lie in cnt/ under the help file's prefix:
// cnt/eudora-win__EUDORA.CNT for hlp/eudora-win__EUDORA.HLP's "Eudora.cnt".
html::SiteOptions CorpusOptions(const std::string &corpus, const std::string &helpName) {
  html::SiteOptions options;
  std::string prefix = helpName.substr(0, helpName.find("__") + 2);
  options.open.companion = [corpus, prefix](std::string_view name) -> std::optional<std::string> {
    std::string wanted = prefix + std::string(name);
    std::transform(wanted.begin(), wanted.end(), wanted.begin(), ::tolower);
    for (const auto &entry : fs::directory_iterator(corpus + "/cnt")) {
      std::string candidate = entry.path().filename().string();
      std::transform(candidate.begin(), candidate.end(), candidate.begin(), ::tolower);
      if (candidate == wanted) return ReadText(entry.path());
    }
    return std::nullopt;
  };
  return options;
}

TEST(RealFiles, EverySiteIsWholeAndHoldsItsTopicsText) {
  std::string corpus = fixture::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the shared corpus is not on this machine";
  fixture::TempDir dir;
  size_t files = 0, totalLinks = 0;
  for (const auto &entry : fs::directory_iterator(corpus + "/hlp")) {
    std::string name = entry.path().filename().string();
    fs::path out = fs::path(dir.path()) / name;
    html::SiteReport report = html::WriteSite(entry.path().string(), out.string(), CorpusOptions(corpus, name));
    ASSERT_TRUE(report.opened) << name << ": " << report.why;
    EXPECT_FALSE(report.endedEarly) << name;
    EXPECT_EQ(report.topics, report.topicsExpected) << name;
    EXPECT_EQ(report.filesFailed, 0u) << name;
    fixture::LinkCheck check = CheckSite(out);
    EXPECT_TRUE(check.broken.empty()) << name << ": " << check.broken.size() << " broken, first "
                                      << (check.broken.empty() ? "" : check.broken.front());
    totalLinks += check.links;

    // Each page holds its topic's text; each jump the file can resolve is a
    // working link on it (the link checker above saw that it leads somewhere).
    std::unique_ptr<document::HelpFile> file = document::HelpFile::Open(entry.path().string());
    ASSERT_NE(file, nullptr);
    html::TopicHtml pages(*file);
    size_t checked = 0;
    file->ReadAll([&](document::Topic &topic) {
      std::string page = pages.Page(topic);
      EXPECT_EQ(PageText(page), Fold(document::PlainText(topic))) << name << " " << topic.title;
      size_t resolvable = 0, hot = 0;
      for (const document::Link &link : topic.links)
        if (link.kind != document::LinkKind::Macro && link.file.empty() && link.target != document::kNoTopic)
          ++resolvable;
      for (size_t at = 0; (at = page.find("class=\"hot", at)) != std::string::npos; ++at) ++hot;
      EXPECT_GE(hot, resolvable > 0 ? 1u : 0u) << name << " " << topic.title;
      EXPECT_EQ(page.find("class=\"dangling\""), std::string::npos) << name << " " << topic.title;
      ++checked;
      return true;
    });
    EXPECT_EQ(checked, report.topics) << name;
    ++files;
  }
  EXPECT_GE(files, 25u);
  EXPECT_GT(totalLinks, 10000u);
}

// A file whose every text is an attempt at markup.
TEST(HostileFiles, TextNeverBecomesMarkup) {
  using namespace fixture;
  const std::string script = "<script>alert(1)</script>";
  const std::string attribute = "\"><img src=x onerror=alert(2)>";
  DocRecipe recipe;
  recipe.title = script;
  recipe.copyright = attribute;
  Bytes commands{0x80, 0, 0};  // the hostile font
  PutBytes(commands, MacroHotspot("EF(\"javascript:alert(3)\",`',1)"));
  PutBytes(commands, HotspotEnd());
  PutBytes(commands, MacroHotspot("JI(`" + attribute + "',`x')"));
  PutBytes(commands, HotspotEnd());
  PutBytes(commands, EmbeddedObject(attribute));
  PutBytes(commands, EmbeddedObject("!" + attribute + ",EF(`javascript:alert(4)')"));
  PutBytes(commands, JumpElsewhere("x", "../../" + attribute + ".hlp"));
  PutBytes(commands, HotspotEnd());
  PutBytes(commands, {0x82});
  recipe.fonts = {{"A\"}*{color:red}"}};  // a face name fits 19 bytes
  recipe.topics = {{script, {"<b>"}, {script, attribute},
                    {Paragraph({"", script + " javascript:alert(6) ", attribute, "", "", "", "", "", ""}, commands)}}};
  TempDir dir;
  std::string help = dir.Write("hostile.hlp", BuildDocument(recipe).bytes);
  const std::string contents = ":Title " + script + "\n1 " + script + "=../../etc/passwd\n1 " + attribute +
                               "=x@../../evil.hlp\n";
  dir.Write("hostile.cnt", Bytes(contents.begin(), contents.end()));
  fs::path out = fs::path(dir.path()) / "site";
  html::SiteReport report = html::WriteSite(help, out.string());
  ASSERT_TRUE(report.opened) << report.why;
  // Nothing lies outside the output folder but what the test wrote.
  std::set<std::string> outside;
  for (const auto &entry : fs::directory_iterator(dir.path())) outside.insert(entry.path().filename().string());
  EXPECT_EQ(outside, (std::set<std::string>{"hostile.hlp", "hostile.cnt", "site"}));
  const std::set<std::string> allowedAttributes = {"charset", "name", "content", "rel", "href", "class", "id",
                                                   "style", "src", "width", "height", "alt", "type", "popover",
                                                   "popovertarget", "title", "data-label", "aria-label",
                                                   "data-window", "disabled", "usemap", "shape", "coords",
                                                   "size", "placeholder", "autofocus", "http-equiv"};
  for (const auto &entry : fs::recursive_directory_iterator(out)) {
    if (!entry.is_regular_file()) continue;
    std::string name = entry.path().filename().string();
    std::string content = ReadText(entry.path());
    if (entry.path().extension() == ".js") {
      EXPECT_EQ(content.find("</script"), std::string::npos) << name;
      EXPECT_EQ(content.find("<script"), std::string::npos) << name;
      continue;
    }
    if (entry.path().extension() == ".css") {
      // The face name stays inside its CSS string: its quote is escaped.
      EXPECT_EQ(content.find("A\"}"), std::string::npos) << name;
      EXPECT_NE(content.find("\"A\\22 }*{color:red}\""), std::string::npos) << name;
      continue;
    }
    // Tags: only our own; scripts only the search page's two.
    size_t scripts = 0;
    for (const fixture::Tag &tag : fixture::Tags(content)) {
      EXPECT_NE(tag.name, "img") << name;  // the file has no pictures: every <img would be its text
      if (tag.name == "script") ++scripts;
      for (const auto &[attributeName, value] : tag.attributes) {
        EXPECT_TRUE(allowedAttributes.count(attributeName)) << name << ": " << attributeName;
        if (attributeName == "href" || attributeName == "src") {
          std::string lower = value;
          std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
          EXPECT_EQ(lower.find("javascript"), std::string::npos) << name << ": " << value;
          EXPECT_EQ(lower.find("../../"), std::string::npos) << name << ": " << value;
        }
      }
    }
    EXPECT_EQ(scripts, name == "search.html" ? 2u : 0u) << name;
    // The hostile text is there, as text.
    if (name == "index.html") {
      EXPECT_NE(content.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    }
  }
  EXPECT_TRUE(CheckSite(out).broken.empty());
}

// An output folder with links and a FIFO planted where the site's files go:
// the site replaces them, and nothing outside the folder changes.
TEST(HostileFiles, LinksPlantedInTheOutputFolderAreNotFollowed) {
  std::string help = fixture::HalibutDir() + "/manual.hlp";
  if (!fs::exists(help)) GTEST_SKIP() << "halibut is not on this machine";
  fixture::TempDir dir;
  fs::path out = fs::path(dir.path()) / "site";
  fs::create_directories(out);
  std::string secret = dir.Write("secret.txt", fixture::Bytes{'k', 'e', 'e', 'p'});
  fs::create_symlink(secret, out / "index.html");
  fs::create_hard_link(secret, out / "keywords.html");
  ASSERT_EQ(::mkfifo((out / "search.html").c_str(), 0644), 0);
  std::ofstream(out / "style.css") << std::string(100000, 'x');  // longer than the site's
  html::SiteReport report = html::WriteSite(help, out.string());
  ASSERT_TRUE(report.opened);
  EXPECT_EQ(report.filesFailed, 0u);
  EXPECT_EQ(ReadText(secret), "keep");
  for (const char *name : {"index.html", "keywords.html", "search.html"}) {
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out / name))) << name;
    EXPECT_EQ(fs::hard_link_count(out / name), 1u) << name;
  }
  EXPECT_TRUE(CheckSite(out).broken.empty());
  EXPECT_EQ(ReadText(out / "style.css").find("xxxx"), std::string::npos);  // cut to its new length
  // A second run writes over its own files in place, shorter or longer.
  html::SiteReport again = html::WriteSite(help, out.string());
  EXPECT_EQ(again.filesFailed, 0u);
  EXPECT_TRUE(CheckSite(out).broken.empty());
}

}  // namespace
