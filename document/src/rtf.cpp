// The RTF writer.  What it writes, by piece of the model:
//   document   {\rtf1\ansi\ansicpgN\deff0\uc1 {\fonttbl ...}{\colortbl ...}{\info{\title T}} ... }
//   font i     {\fi\fswiss\fcharsetC Face;} and colour table entry i, its colour
//   paragraph  \pard\plain[\intbl] formats, its runs, then \par (\cell for the last of a cell)
//   run        {\fF\cfF\fsH\b\i\ul text}: every run a group, so nothing leaks into the next
//   row        \trowd\trgaphG\trleftL[\trqc]\cellxE... its cells in column order \row
//   hotspot    {\field{\*\fldinst HYPERLINK "url"}{\fldrslt runs}}, or \\l "bookmark"
//              (the instruction without a group of its own: Word and LibreOffice
//              read both forms, unrtf shows the runs only of this one)
//   position   {\*\bkmkstart qOFFSET}{\*\bkmkend qOFFSET} where a topic or context begins
// \uc1 with \'3f ("?") after every \uN: a reader without Unicode shows a
// question mark rather than some other byte's letter.  The fallback is
// written as a hex escape, as Word writes it, rather than a bare "?": unrtf
// takes text that follows a bare one for part of the control word and drops
// it ("\u1059?." loses the full stop).
#include "quillon/document/rtf.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

namespace quillon::document {

namespace {

// The next code point of UTF-8 text; invalid or cut sequences give U+FFFD
// and advance by one byte.
uint32_t NextCodePoint(std::string_view text, size_t &at) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at);
  if (lead < 0x80) {
    ++at;
    return lead;
  }
  size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || at + length > text.size()) {
    ++at;
    return 0xFFFD;
  }
  uint32_t value = lead & (0xFF >> (length + 1));
  for (size_t i = 1; i < length; ++i) {
    unsigned char next = byte(at + i);
    if ((next & 0xC0) != 0x80) {
      ++at;
      return 0xFFFD;
    }
    value = (value << 6) | (next & 0x3F);
  }
  static constexpr uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    ++at;
    return 0xFFFD;
  }
  at += length;
  return value;
}

void AppendUnicodeUnit(std::string &out, uint32_t unit) {
  // \uN takes a signed 16-bit number.
  int value = unit > 0x7FFF ? static_cast<int>(unit) - 0x10000 : static_cast<int>(unit);
  out += "\\u";
  out += std::to_string(value);
  out += "\\'3f";
}

// A URL inside a field instruction's quotes: percent-encoded beyond the
// characters a URL keeps, so that no quote, backslash or brace can end the
// instruction or the group.
void AppendFieldUrl(std::string &out, std::string_view url) {
  static constexpr char kKept[] = "-._~:/?#[]@!$&'()*+,;=%";
  for (unsigned char c : url) {
    bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                (c != 0 && std::find(kKept, kKept + sizeof kKept - 1, static_cast<char>(c)) != kKept + sizeof kKept - 1);
    if (kept) {
      out += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      out += escaped;
    }
  }
}

const char *FamilyWord(const std::string &family) {
  if (family == "roman") return "\\froman";
  if (family == "swiss") return "\\fswiss";
  if (family == "modern") return "\\fmodern";
  if (family == "script") return "\\fscript";
  if (family == "decor") return "\\fdecor";
  return "\\fnil";
}

void Number(std::string &out, const char *word, int value) {
  out += word;
  out += std::to_string(value);
}

// One topic's pieces into RTF.
class TopicWriter {
 public:
  TopicWriter(const FileInfo &info, const RtfOptions &options, const Topic &topic, std::string &out)
      : info_(info), options_(options), topic_(topic), out_(out) {}

  void Write() {
    // The topic's start and every context that names it.
    pending_.push_back(topic_.offset);
    Blocks(topic_.header);
    Blocks(topic_.body);
    if (!pending_.empty()) {  // a topic without text still holds its bookmarks
      out_ += "\\pard\\plain";
      Bookmarks();
      out_ += "\\par\n";
    }
  }

 private:
  void Blocks(const std::vector<Block> &blocks) {
    for (const Block &block : blocks) {
      if (const Paragraph *paragraph = std::get_if<Paragraph>(&block))
        ParagraphRtf(*paragraph, false, "\\par\n");
      else
        TableRtf(std::get<Table>(block));
    }
  }

  void AnchorsOf(const std::vector<std::string> &anchors) {
    for (const std::string &name : anchors)
      for (const Anchor &anchor : topic_.contexts)
        if (anchor.context == name) pending_.push_back(anchor.position);
  }

  void Bookmarks() {
    for (TopicOffset position : pending_) {
      if (!written_.insert(position).second) continue;
      std::string name = RtfBookmark(position);
      out_ += "{\\*\\bkmkstart " + name + "}{\\*\\bkmkend " + name + "}";
    }
    pending_.clear();
  }

  void Format(const ParagraphFormat &format) {
    switch (format.alignment) {
      case Alignment::Left: out_ += "\\ql"; break;
      case Alignment::Centre: out_ += "\\qc"; break;
      case Alignment::Right: out_ += "\\qr"; break;
    }
    if (format.spaceBefore) Number(out_, "\\sb", format.spaceBefore);
    if (format.spaceAfter) Number(out_, "\\sa", format.spaceAfter);
    if (format.lineSpacing) {
      Number(out_, "\\sl", format.lineSpacing);  // the same sign convention as the model's
      out_ += "\\slmult0";
    }
    if (format.leftIndent) Number(out_, "\\li", format.leftIndent);
    if (format.rightIndent) Number(out_, "\\ri", format.rightIndent);
    if (format.firstIndent) Number(out_, "\\fi", format.firstIndent);
    if (format.keepTogether) out_ += "\\keep";
    if (format.borders != 0) {
      const char *style = format.borderStyle == BorderStyle::Thick    ? "\\brdrth\\brdrw10"
                          : format.borderStyle == BorderStyle::Dotted ? "\\brdrdot\\brdrw10"
                                                                      : "\\brdrs\\brdrw10";
      if (format.borders & kBorderBox) {
        out_ += "\\box";
        out_ += style;
      } else {
        static constexpr std::pair<uint8_t, const char *> kSides[] = {
            {kBorderTop, "\\brdrt"}, {kBorderLeft, "\\brdrl"}, {kBorderBottom, "\\brdrb"}, {kBorderRight, "\\brdrr"}};
        for (const auto &[bit, word] : kSides)
          if (format.borders & bit) {
            out_ += word;
            out_ += style;
          }
      }
    }
    for (const TabStop &stop : format.tabs) {
      if (stop.kind == TabKind::Right) out_ += "\\tqr";
      if (stop.kind == TabKind::Centre) out_ += "\\tqc";
      Number(out_, "\\tx", stop.position);
    }
  }

  void ParagraphRtf(const Paragraph &paragraph, bool inTable, const char *end) {
    out_ += inTable ? "\\pard\\plain\\intbl" : "\\pard\\plain";
    Format(paragraph.format);
    AnchorsOf(paragraph.anchors);
    Bookmarks();
    Inlines(paragraph.content);
    out_ += end;
  }

  void TableRtf(const Table &table) {
    for (const Row &row : table.rows) {
      size_t columns = row.edges.size();
      for (const Cell &cell : row.cells) columns = std::max(columns, static_cast<size_t>(cell.column) + 1);
      out_ += "\\trowd";
      Number(out_, "\\trgaph", row.gap);
      Number(out_, "\\trleft", row.left);
      if (row.centred) out_ += "\\trqc";
      // Edges the row does not give (more cells than edges) follow an inch on.
      int edge = row.left;
      for (size_t c = 0; c < columns; ++c) {
        edge = c < row.edges.size() ? row.edges[c] : edge + 1440;
        Number(out_, "\\cellx", edge);
      }
      out_ += '\n';
      AnchorsOf(row.anchors);
      for (size_t c = 0; c < columns; ++c) {
        auto cell = std::find_if(row.cells.begin(), row.cells.end(),
                                 [&](const Cell &x) { return static_cast<size_t>(x.column) == c; });
        if (cell == row.cells.end() || cell->paragraphs.empty()) {
          out_ += "\\pard\\plain\\intbl";
          Bookmarks();
          out_ += "\\cell\n";
          continue;
        }
        for (size_t p = 0; p < cell->paragraphs.size(); ++p)
          ParagraphRtf(cell->paragraphs[p], true, p + 1 == cell->paragraphs.size() ? "\\cell\n" : "\\par\n");
      }
      out_ += "\\row\n";
    }
  }

  RtfLink LinkOf(int index) {
    if (index < 0 || static_cast<size_t>(index) >= topic_.links.size()) return {};
    const Link &link = topic_.links[static_cast<size_t>(index)];
    if (options_.link) return options_.link(link);
    RtfLink out;
    if (link.action == MacroAction::Url) {
      out.url = link.url;
    } else if (link.file.empty() && link.target != kNoTopic &&
               (link.kind != LinkKind::Macro || link.action == MacroAction::Jump ||
                link.action == MacroAction::Popup)) {
      out.bookmark = RtfBookmark(link.target);
    }
    return out;
  }

  void Inlines(const std::vector<Inline> &content) {
    int open = -1;       // the hotspot whose pieces are being written
    bool field = false;  // whether it is a field
    for (const Inline &piece : content) {
      if (piece.link != open) {
        if (field) out_ += "}}";
        open = piece.link;
        field = false;
        RtfLink link = LinkOf(open);
        if (!link.url.empty() || !link.bookmark.empty()) {
          field = true;
          out_ += "{\\field{\\*\\fldinst HYPERLINK ";
          if (!link.url.empty()) {
            out_ += '"';
            AppendFieldUrl(out_, link.url);
          } else {
            out_ += "\\\\l \"";
            AppendFieldUrl(out_, link.bookmark);
          }
          out_ += "\"}{\\fldrslt ";
        }
      }
      Piece(piece);
    }
    if (field) out_ += "}}";
  }

  void Run(const Style &style, std::string_view text) {
    out_ += '{';
    int font = style.font >= 0 && static_cast<size_t>(style.font) < info_.fonts.size() ? style.font : 0;
    Number(out_, "\\f", font);
    Number(out_, "\\cf", font);
    if (style.halfPoints > 0) Number(out_, "\\fs", style.halfPoints);
    if (style.bold) out_ += "\\b";
    if (style.italic) out_ += "\\i";
    if (style.underline) out_ += "\\ul";
    out_ += ' ';
    AppendRtfText(out_, text);
    out_ += '}';
  }

  void Piece(const Inline &piece) {
    switch (piece.kind) {
      case InlineKind::Text: Run(piece.style, piece.text); return;
      case InlineKind::LineBreak: out_ += "\\line "; return;
      case InlineKind::Tab: out_ += "\\tab "; return;
      case InlineKind::Button: Run(piece.style, "[" + piece.text + "]"); return;
      // Pictures, embedded windows and media clips have no text; the
      // document leaves them out rather than show a name instead.
      case InlineKind::Picture:
      case InlineKind::EmbeddedWindow:
      case InlineKind::MediaClip: return;
    }
  }

  const FileInfo &info_;
  const RtfOptions &options_;
  const Topic &topic_;
  std::string &out_;
  std::vector<TopicOffset> pending_;  // bookmarks for the next paragraph
  std::unordered_set<TopicOffset> written_;
};

}  // namespace

std::string RtfBookmark(TopicOffset position) {
  char name[16];
  std::snprintf(name, sizeof name, "q%08x", static_cast<unsigned>(position));
  return name;
}

void AppendRtfText(std::string &out, std::string_view utf8) {
  for (size_t at = 0; at < utf8.size();) {
    uint32_t c = NextCodePoint(utf8, at);
    switch (c) {
      case '\\': out += "\\\\"; continue;
      case '{': out += "\\{"; continue;
      case '}': out += "\\}"; continue;
      case '\t': out += "\\tab "; continue;
      case '\n': out += "\\line "; continue;
      default: break;
    }
    if (c < 0x20 || c == 0x7F) continue;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c <= 0xFFFF) {
      AppendUnicodeUnit(out, c);
    } else {
      c -= 0x10000;
      AppendUnicodeUnit(out, 0xD800 + (c >> 10));
      AppendUnicodeUnit(out, 0xDC00 + (c & 0x3FF));
    }
  }
}

RtfWriter::RtfWriter(const FileInfo &info, RtfOptions options) : info_(info), options_(std::move(options)) {}

std::string RtfWriter::Begin(std::string_view title) const {
  std::string out = "{\\rtf1\\ansi\\ansicpg" + std::to_string(info_.codePage) + "\\deff0\\uc1\n{\\fonttbl";
  std::string colours = "{\\colortbl";
  if (info_.fonts.empty()) {
    out += "{\\f0\\fswiss Arial;}";
    colours += "\\red0\\green0\\blue0;";
  }
  for (size_t i = 0; i < info_.fonts.size(); ++i) {
    const Font &font = info_.fonts[i];
    out += "\n{\\f" + std::to_string(i) + FamilyWord(font.family);
    if (font.charset >= 0 && font.charset <= 255) out += "\\fcharset" + std::to_string(font.charset);
    out += ' ';
    AppendRtfText(out, font.face);
    out += ";}";
    char colour[48];
    std::snprintf(colour, sizeof colour, "\\red%u\\green%u\\blue%u;", (font.colour >> 16) & 0xFF,
                  (font.colour >> 8) & 0xFF, font.colour & 0xFF);
    colours += colour;
  }
  out += "}\n" + colours + "}\n";
  if (!title.empty()) {
    out += "{\\info{\\title ";
    AppendRtfText(out, title);
    out += "}}\n";
  }
  return out;
}

void RtfWriter::AppendTopic(const Topic &topic, std::string &out) {
  if (topics_++ > 0) out += "\\page\n";
  TopicWriter(info_, options_, topic, out).Write();
}

std::string RtfWriter::Document(const Topic &topic) {
  std::string out = Begin(topic.title);
  AppendTopic(topic, out);
  out += End();
  return out;
}

}  // namespace quillon::document
