// The topic stream, interpreted.
//
// The library delivers a topic as RTF pieces, each marked with its event.  The
// control text (event 7) is a closed set of words:
//   \pard \keepn\s1 (non-scrolling) \s0 \intbl \keep \ql \qc \qr
//   \sbN \saN \slN \liN \riN \fiN          spacing and indents, twips
//   \brdrs \brdrth \brdrdot \brdrt \brdrl \brdrb \brdrr \box   borders
//   \tqr \tqc \txN                          tab stops
//   \fN\cfN\fsN\b(0)\i(0)\ul(0)             a font change (no \ul part inside a hotspot)
//   \line \tab \par                         breaks
//   "\ul " or "\strike " right before a jump's target (event 15): a popup or a
//   jump; "\strike " before a macro's (event 5); "\strike0\ul0{\v TARGET}"
//   at a hotspot's end (event 16 follows)
//   \{ewX \}                                around an embedded window (event 9)
//   {\pard\trowd\intbl \trqc \trgaphN \trleftN \cellxN   a table row begins
//   \cell                                   the next cell
//   \cell\row\pard}                         the row ends
// A paragraph's properties hold until the next \pard, over any number of
// \par, as in RTF.  Each table record is one row; rows that follow each other
// make one table.
#include <marlet/marlet.h>

#include <algorithm>
#include <charconv>
#include <cstring>

#include "help_file_impl.h"
#include "quillon/document/macros.h"

namespace quillon::document {

namespace {

constexpr size_t kMaxInlinesPerParagraph = 1 << 20;  // a damaged stream cannot grow a paragraph without end

Placement PlacementOf(char letter) {
  switch (letter) {
    case 'l': return Placement::Left;
    case 'r': return Placement::Right;
    default: return Placement::Inline;
  }
}

uint32_t HexField(std::string_view text) {
  uint32_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return value;
}

}  // namespace

int32_t MARLET_API Assembler::Callback(const char *text, TopicOffset at, int32_t event, MarletUserData user) {
  return reinterpret_cast<Assembler *>(user)->Event(text, at, event) ? 1 : 0;
}

bool Assembler::Event(const char *text, TopicOffset at, int32_t event) {
  if (event == TopicEventRtfHeader) {
    if (file_.info.fonts.empty()) file_.info.fonts = ParseFontTable(text, file_.codePage);
    return true;
  }
  if (event == TopicEventRtfEnd) return true;
  if (!sawContent_) {
    sawContent_ = true;
    startedWithHeader_ = event == TopicEventTopicHeader;
  }
  if (event == TopicEventTopicHeader) {
    if (topic_ && mode_ == Mode::Single) {
      next_ = at;
      return false;
    }
    if (topic_ && !EndTopic(at)) return false;
    BeginTopic(text, at);
    return true;
  }
  EnsureTopic(at);
  if (at != position_) {
    if (position_ != kNoTopic && at > position_) AttachInside(position_, at);
    position_ = at;
  }
  Topic &topic = *topic_;
  switch (event) {
    case TopicEventText:
      AddText(text);
      break;
    case TopicEventControl:
      Controls(text);
      break;
    case TopicEventTitle:
      topic.title = file_.codePage.ToUtf8(text);
      break;
    case TopicEventGroup:
      topic.group = file_.codePage.ToUtf8(text);
      break;
    case TopicEventContext: {
      // The stream names one context string per position; the index may hold
      // more for the same place, and each is a name jumps use.
      std::vector<uint32_t> hashes = file_.HashesAt(at);
      if (hashes.empty()) hashes.push_back(static_cast<uint32_t>(HlpGenerateHashValue(text)));
      for (uint32_t hash : hashes) {
        bool known = std::any_of(topic.contexts.begin(), topic.contexts.end(),
                                 [&](const Anchor &a) { return a.hash == hash; });
        if (known) continue;
        std::string name = file_.ContextString(hash);
        topic.contexts.push_back({name, hash, at});
        if (at != topic.offset) pendingAnchors_.push_back(std::move(name));
      }
      break;
    }
    case TopicEventKeyword: {
      const char *tab = std::strchr(text, '\t');
      if (tab == nullptr) break;
      Keyword keyword{std::string(text, tab), file_.codePage.ToUtf8(tab + 1)};
      bool known = std::any_of(topic.keywords.begin(), topic.keywords.end(), [&](const Keyword &k) {
        return k.list == keyword.list && k.text == keyword.text;
      });
      if (!known) topic.keywords.push_back(std::move(keyword));
      break;
    }
    case TopicEventJumpTarget: {
      Link link;
      link.kind = hotspotAttribute_ == 'u' ? LinkKind::Popup : LinkKind::Jump;
      const char *target = text;
      if (*target == '%') {
        link.invisible = true;
        ++target;
      }
      link.context = target;
      link.hash = static_cast<uint32_t>(HlpGenerateHashValue(target));
      hotspotAttribute_ = 0;
      link_ = StartLink(std::move(link));
      break;
    }
    case TopicEventJumpPlace: {
      if (link_ < 0) break;
      Link &link = topic.links[static_cast<size_t>(link_)];
      std::string_view place(text);
      size_t split = place.find('>');
      std::string other(place.substr(0, split));
      link.window = split == std::string_view::npos ? "" : file_.codePage.ToUtf8(place.substr(split + 1));
      link.file = other.empty() || file_.key == HelpFileKey(other) ? "" : file_.codePage.ToUtf8(other);
      link.target = link.file.empty() ? file_.Resolve(link.hash) : kNoTopic;
      break;
    }
    case TopicEventMacroTarget: {
      Link link;
      link.kind = LinkKind::Macro;
      const char *macro = text;
      if (*macro == '%') {
        link.invisible = true;
        ++macro;
      }
      if (*macro == '!') ++macro;
      link.macro = file_.codePage.ToUtf8(macro);
      hotspotAttribute_ = 0;
      link_ = StartLink(std::move(link));
      break;
    }
    case TopicEventHotspotEnd:
      link_ = -1;
      break;
    case TopicEventBitmap: {
      // "{bmX NAME}": X is the placement letter.
      std::string_view reference(text);
      if (reference.size() < 6 || reference.substr(0, 3) != "{bm") break;
      Inline picture;
      picture.kind = InlineKind::Picture;
      picture.placement = PlacementOf(reference[3]);
      picture.text = std::string(reference.substr(5, reference.size() - 6));
      AddInline(std::move(picture));
      break;
    }
    case TopicEventEmbeddedWindow: {
      Inline window;
      window.kind = InlineKind::EmbeddedWindow;
      window.placement = windowPlacement_;
      window.text = file_.codePage.ToUtf8(text);
      AddInline(std::move(window));
      break;
    }
    case TopicEventMediaClip: {
      Inline clip;
      clip.kind = InlineKind::MediaClip;
      clip.text = file_.codePage.ToUtf8(text);
      AddInline(std::move(clip));
      break;
    }
    case TopicEventEmbeddedMacro: {
      // A macro button: its label (with "&" before the key letter), a comma,
      // the macro; "button " in front where the author wrote it so.
      std::string macro = file_.codePage.ToUtf8(text);
      if (macro.size() > 7 && (macro.compare(0, 7, "button ") == 0 || macro.compare(0, 7, "Button ") == 0))
        macro.erase(0, 7);
      std::string label;
      size_t comma = macro.find(',');
      if (comma != std::string::npos) {
        label = macro.substr(0, comma);
        macro.erase(0, comma + 1);
      }
      label.erase(std::remove(label.begin(), label.end(), '&'), label.end());
      Link link;
      link.kind = LinkKind::Macro;
      link.macro = macro;
      int saved = link_;
      int index = StartLink(std::move(link));
      Inline button;
      button.kind = InlineKind::Button;
      button.text = label;
      button.link = index;
      link_ = -1;
      AddInline(std::move(button));
      link_ = saved;
      break;
    }
    default:
      break;  // plain-text equivalents (1), the string after the title (4)
  }
  return true;
}

void Assembler::BeginTopic(const char *fields, TopicOffset at) {
  topic_.emplace();
  Topic &topic = *topic_;
  topic.offset = at;
  std::string_view text(fields);
  if (text.size() >= 26) {
    uint32_t back = HexField(text.substr(0, 8)), forward = HexField(text.substr(9, 8));
    uint32_t number = HexField(text.substr(18, 8));
    if (file_.info.Version30()) {
      // Browse neighbours by topic number; |TOMAP gives their offsets.
      const std::vector<TopicOffset> &map = file_.TopicMap();
      auto offsetOf = [&](uint32_t n) { return n < map.size() && map[n] != 0 ? map[n] : kNoTopic; };
      topic.browseBack = offsetOf(back);
      topic.browseForward = offsetOf(forward);
      topic.number = file_.TopicNumberOf(at);
    } else {
      topic.browseBack = back;
      topic.browseForward = forward;
      topic.number = number;
    }
  }
  // Everything of the topic before starts afresh.
  format_ = {};
  nonScrolling_ = inTable_ = false;
  style_ = {};
  paragraphOpen_ = false;
  paragraph_ = {};
  pendingAnchors_.clear();
  inRow_ = false;
  row_ = {};
  lastBlockIsTable_[0] = lastBlockIsTable_[1] = false;
  link_ = -1;
  hotspotAttribute_ = 0;
  position_ = at;
  slotPosition_ = kNoTopic;
}

void Assembler::EnsureTopic(TopicOffset at) {
  if (!topic_) BeginTopic("", at);  // records before the first topic header
}

bool Assembler::EndTopic(TopicOffset next) {
  if (inRow_) EndRow();
  FlushParagraph();
  AttachInside(position_, next);
  Topic &topic = *topic_;
  for (Link &link : topic.links) file_.ResolveLink(link);
  if (mode_ == Mode::Single) {
    single_ = std::move(topic_);
    topic_.reset();
    return true;
  }
  ++delivered_;
  bool go = each_ == nullptr || (*each_)(topic);
  topic_.reset();
  if (!go) stopped_ = true;
  return go;
}

void Assembler::Finish() {
  if (topic_) EndTopic(next_);
}

// A context may point inside a record (a jump to the middle of a paragraph):
// the stream names only record starts, so such a context is found between
// one record's position and the next, and is placed on the first block the
// record made.
void Assembler::AttachInside(TopicOffset low, TopicOffset high) {
  if (low == kNoTopic || high <= low + 1) return;
  std::vector<ContextEntry> inside = file_.ContextsBetween(low, high);
  if (inside.empty()) return;
  Topic &topic = *topic_;
  std::vector<std::string> *anchors = SlotAnchors();
  for (const ContextEntry &entry : inside) {
    bool known = std::any_of(topic.contexts.begin(), topic.contexts.end(),
                             [&](const Anchor &a) { return a.hash == entry.hash; });
    if (known) continue;
    std::string name = file_.ContextString(entry.hash);
    topic.contexts.push_back({name, entry.hash, entry.offset});
    anchors->push_back(std::move(name));
  }
}

std::vector<std::string> *Assembler::SlotAnchors() {
  if (slotPosition_ == position_) {
    std::vector<Block> &blocks = Region(slot_.header);
    if (slot_.block < blocks.size()) {
      Block &block = blocks[slot_.block];
      if (!slot_.row) {
        if (Paragraph *paragraph = std::get_if<Paragraph>(&block)) return &paragraph->anchors;
      } else if (Table *table = std::get_if<Table>(&block); table && slot_.rowIndex < table->rows.size()) {
        return &table->rows[slot_.rowIndex].anchors;
      }
    }
  }
  if (paragraphOpen_) return &paragraph_.anchors;
  if (inRow_) return &row_.anchors;
  return &pendingAnchors_;
}

int Assembler::StartLink(Link link) {
  std::vector<Link> &links = topic_->links;
  links.push_back(std::move(link));
  return static_cast<int>(links.size() - 1);
}

// ---- Control words ------------------------------------------------------------------

void Assembler::Controls(const char *text) {
  // Pieces that carry more than words; all begin with a backslash.
  if (text[0] == '\\') {
    switch (text[1]) {
      case 'u':
        if (std::strcmp(text + 2, "l ") == 0) {
          hotspotAttribute_ = 'u';
          return;
        }
        break;
      case 's':
        if (std::strcmp(text + 2, "trike ") == 0) {
          hotspotAttribute_ = 's';
          return;
        }
        if (std::strncmp(text + 2, "trike0\\ul0{\\v ", 14) == 0) return;  // a hotspot's end: its target, hidden
        break;
      case '{':
        if (text[2] == 'e' && text[3] == 'w') windowPlacement_ = PlacementOf(text[4]);
        return;
      case '}':
        return;
      default:
        break;
    }
  }

  // A font change ("\f2\cf2\fs20\b0\i0\ul0 ", the most frequent piece):
  // the library sends the same few texts over and over, so each one's style
  // is worked out once.
  if (text[0] == '\\' && text[1] == 'f' && text[2] >= '0' && text[2] <= '9') {
    unsigned font = 0;
    for (const char *d = text + 2; *d >= '0' && *d <= '9' && font < 100000; ++d) font = font * 10 + (*d - '0');
    if (font < 4096) {
      if (fontChanges_.size() <= font) fontChanges_.resize(font + 1);
      for (const FontChange &known : fontChanges_[font])
        if (known.text == text) {
          style_ = known.style;
          return;
        }
      ParseWords(text);
      // Inside a hotspot the change leaves the underline as it was: only the
      // changes that set every attribute may be taken from the cache.
      if (fontChanges_[font].size() < 4 && std::strstr(text, "\\ul") != nullptr)
        fontChanges_[font].push_back({text, style_});
      return;
    }
  }
  ParseWords(text);
}

void Assembler::ParseWords(const char *text) {
  const char *p = text;
  while (*p != '\0') {
    if (*p != '\\') {
      ++p;  // "{", "}" and the blanks that end words
      continue;
    }
    ++p;
    const char *word = p;
    while ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z')) ++p;
    std::string_view name(word, static_cast<size_t>(p - word));
    if (name.empty()) {  // an escaped symbol
      if (*p != '\0') ++p;
      continue;
    }
    bool hasNumber = false;
    int number = 0;
    if (*p == '-' || (*p >= '0' && *p <= '9')) {
      bool negative = *p == '-';
      if (negative) ++p;
      int64_t value = 0;
      for (; *p >= '0' && *p <= '9'; ++p)
        if (value < 0x7FFFFFFF) value = value * 10 + (*p - '0');
      value = std::min<int64_t>(value, 0x7FFFFFFF);
      number = static_cast<int>(negative ? -value : value);
      hasNumber = true;
    }
    if (name == "cell" && std::strncmp(p, "\\row", 4) == 0) {
      // "\cell\row": the last cell's end is the row's.
      p += 4;
      EndRow();
      continue;
    }
    Word(name, hasNumber, number);
  }
}

void Assembler::Word(std::string_view word, bool hasNumber, int number) {
  switch (word.front()) {
    case 'b':
      if (word == "b") {
        style_.bold = !hasNumber || number != 0;
      } else if (word == "box") {
        format_.borders |= kBorderBox;
      } else if (word.substr(0, 4) == "brdr") {
        std::string_view rest = word.substr(4);
        if (rest == "t") format_.borders |= kBorderTop;
        else if (rest == "l") format_.borders |= kBorderLeft;
        else if (rest == "b") format_.borders |= kBorderBottom;
        else if (rest == "r") format_.borders |= kBorderRight;
        else if (rest == "th") format_.borderStyle = BorderStyle::Thick;
        else if (rest == "dot") format_.borderStyle = BorderStyle::Dotted;
        else if (rest == "s") format_.borderStyle = BorderStyle::Single;
      }
      return;
    case 'c':
      if (word == "cellx" && inRow_) row_.edges.push_back(number);
      else if (word == "cell") NextCell();
      return;  // \cf: the colour is the font's
    case 'f':
      if (word == "f" && hasNumber) style_.font = number;
      else if (word == "fs" && hasNumber) style_.halfPoints = number;
      else if (word == "fi") format_.firstIndent = number;
      return;
    case 'i':
      if (word == "i") style_.italic = !hasNumber || number != 0;
      else if (word == "intbl") inTable_ = true;
      return;
    case 'k':
      if (word == "keepn") nonScrolling_ = true;
      else if (word == "keep") format_.keepTogether = true;
      return;
    case 'l':
      if (word == "line") {
        Inline piece;
        piece.kind = InlineKind::LineBreak;
        AddInline(std::move(piece));
      } else if (word == "li") {
        format_.leftIndent = number;
      }
      return;
    case 'p':
      if (word == "par") {
        EndParagraph(true);
      } else if (word == "pard") {
        FlushParagraph();
        format_ = {};
        nonScrolling_ = false;
        inTable_ = false;
        nextTab_ = TabKind::Left;
      }
      return;
    case 'q':
      if (word == "ql") format_.alignment = Alignment::Left;
      else if (word == "qc") format_.alignment = Alignment::Centre;
      else if (word == "qr") format_.alignment = Alignment::Right;
      return;
    case 'r':
      if (word == "ri") format_.rightIndent = number;
      else if (word == "row") EndRow();
      return;
    case 's':
      if (word == "sb") format_.spaceBefore = number;
      else if (word == "sa") format_.spaceAfter = number;
      else if (word == "sl") format_.lineSpacing = number;
      return;
    case 't':
      if (word == "tab") {
        Inline piece;
        piece.kind = InlineKind::Tab;
        AddInline(std::move(piece));
      } else if (word == "tx") {
        if (format_.tabs.size() < 64) format_.tabs.push_back({number, nextTab_});
        nextTab_ = TabKind::Left;
      } else if (word == "tqr") {
        nextTab_ = TabKind::Right;
      } else if (word == "tqc") {
        nextTab_ = TabKind::Centre;
      } else if (word == "trowd") {
        BeginRow();
      } else if (word == "trqc") {
        row_.centred = true;
      } else if (word == "trgaph") {
        row_.gap = number;
      } else if (word == "trleft") {
        row_.left = number;
      }
      return;
    case 'u':
      if (word == "ul") style_.underline = !hasNumber || number != 0;
      return;
    default:
      return;
  }
}

// ---- Paragraphs ------------------------------------------------------------------------

void Assembler::AddText(const char *text) {
  if (*text == '\0') return;
  Paragraph &paragraph = OpenParagraph();
  if (!paragraph.content.empty()) {
    Inline &last = paragraph.content.back();
    if (last.kind == InlineKind::Text && last.link == link_ && last.style == style_) {
      file_.PageOfFont(style_.font).AppendUtf8(text, last.text);
      return;
    }
  }
  if (paragraph.content.size() >= kMaxInlinesPerParagraph) return;
  Inline &piece = paragraph.content.emplace_back();
  piece.style = style_;
  piece.link = link_;
  file_.PageOfFont(style_.font).AppendUtf8(text, piece.text);
}

void Assembler::AddInline(Inline piece) {
  Paragraph &paragraph = OpenParagraph();
  if (paragraph.content.size() >= kMaxInlinesPerParagraph) return;
  piece.style = style_;
  if (piece.link < 0) piece.link = link_;
  paragraph.content.push_back(std::move(piece));
}

Paragraph &Assembler::OpenParagraph() {
  if (!paragraphOpen_) {
    paragraph_ = {};
    paragraph_.format = format_;
    paragraph_.anchors = std::move(pendingAnchors_);
    pendingAnchors_.clear();
    paragraphOpen_ = true;
  }
  return paragraph_;
}

void Assembler::EndParagraph(bool ended) {
  Paragraph &paragraph = OpenParagraph();
  paragraph.ended = ended;
  PlaceParagraph(std::move(paragraph));
  paragraphOpen_ = false;
}

void Assembler::FlushParagraph() {
  if (!paragraphOpen_) return;
  paragraphOpen_ = false;
  if (paragraph_.content.empty() && paragraph_.anchors.empty()) return;
  PlaceParagraph(std::move(paragraph_));
}

std::vector<Block> &Assembler::Region(bool nonScrolling) { return nonScrolling ? topic_->header : topic_->body; }

void Assembler::PlaceParagraph(Paragraph &&paragraph) {
  if (inRow_ && inTable_) {
    if (nonScrolling_) rowNonScrolling_ = true;
    EnsureCell();
    row_.cells.back().paragraphs.push_back(std::move(paragraph));
    return;
  }
  std::vector<Block> &region = Region(nonScrolling_);
  region.push_back(std::move(paragraph));
  lastBlockIsTable_[nonScrolling_ ? 1 : 0] = false;
  if (slotPosition_ != position_) {
    slot_ = {nonScrolling_, region.size() - 1, false, 0};
    slotPosition_ = position_;
  }
}

// ---- Tables -------------------------------------------------------------------------------

void Assembler::BeginRow() {
  if (inRow_) EndRow();
  FlushParagraph();
  inRow_ = true;
  rowNonScrolling_ = false;
  row_ = {};
  row_.anchors = std::move(pendingAnchors_);
  pendingAnchors_.clear();
  column_ = 0;
}

// Every cell the stream separates is kept, empty ones too: the columns
// after them stay where they belong.
void Assembler::EnsureCell() {
  if (row_.cells.empty() || row_.cells.back().column != column_) row_.cells.push_back({column_, {}});
}

void Assembler::NextCell() {
  if (!inRow_) return;
  FlushParagraph();
  EnsureCell();
  if (column_ < 1024) ++column_;
}

void Assembler::EndRow() {
  if (!inRow_) return;
  FlushParagraph();
  EnsureCell();
  inRow_ = false;
  const int region = rowNonScrolling_ ? 1 : 0;
  std::vector<Block> &blocks = Region(rowNonScrolling_);
  if (!lastBlockIsTable_[region] || blocks.empty() || !std::holds_alternative<Table>(blocks.back()))
    blocks.emplace_back(Table{});
  std::vector<Row> &rows = std::get<Table>(blocks.back()).rows;
  rows.push_back(std::move(row_));
  lastBlockIsTable_[region] = true;
  if (slotPosition_ != position_) {
    slot_ = {rowNonScrolling_, blocks.size() - 1, true, rows.size() - 1};
    slotPosition_ = position_;
  }
  row_ = {};
}

// ---- The font table -----------------------------------------------------------------------

// "{\fonttbl\n{\f0\fswiss\fcharset204 Arial;}\n...}\n{\colortbl\n\red0\green0\blue0;\n...}\n"
std::vector<Font> ParseFontTable(const char *text, const CodePage &codePage) {
  std::string_view rest(text);
  size_t table = rest.find("{\\fonttbl");
  std::vector<Font> fonts;
  if (table == std::string_view::npos) return fonts;
  rest.remove_prefix(table + 9);
  while (true) {
    size_t open = rest.find("{\\f");
    size_t close = rest.find('}');
    if (open == std::string_view::npos || close < open) break;
    rest.remove_prefix(open + 1);
    size_t end = rest.find(";}");
    if (end == std::string_view::npos) break;
    std::string_view entry = rest.substr(0, end);
    rest.remove_prefix(end + 2);
    Font font;
    size_t blank = entry.find(' ');
    std::string_view words = entry.substr(0, blank);
    font.face = blank == std::string_view::npos ? "" : codePage.ToUtf8(entry.substr(blank + 1));
    for (size_t at = words.find("\\f", 1); at != std::string_view::npos; at = words.find("\\f", at + 1)) {
      std::string_view word = words.substr(at + 2);
      word = word.substr(0, word.find('\\'));
      if (word.substr(0, 7) == "charset") {
        std::from_chars(word.data() + 7, word.data() + word.size(), font.charset);
      } else if (!word.empty() && !(word[0] >= '0' && word[0] <= '9')) {
        font.family = std::string(word);
      }
    }
    fonts.push_back(std::move(font));
  }
  size_t colours = rest.find("{\\colortbl");
  if (colours != std::string_view::npos) {
    rest.remove_prefix(colours + 10);
    for (Font &font : fonts) {
      size_t semicolon = rest.find(';');
      if (semicolon == std::string_view::npos) break;
      std::string_view entry = rest.substr(0, semicolon);
      rest.remove_prefix(semicolon + 1);
      int rgb[3] = {0, 0, 0};
      const char *names[3] = {"\\red", "\\green", "\\blue"};
      for (int c = 0; c < 3; ++c) {
        size_t at = entry.find(names[c]);
        if (at == std::string_view::npos) continue;
        std::string_view digits = entry.substr(at + std::strlen(names[c]));
        std::from_chars(digits.data(), digits.data() + digits.size(), rgb[c]);
      }
      font.colour = static_cast<uint32_t>((std::clamp(rgb[0], 0, 255) << 16) | (std::clamp(rgb[1], 0, 255) << 8) |
                                          std::clamp(rgb[2], 0, 255));
    }
  }
  return fonts;
}

}  // namespace quillon::document
