#include "render.h"

#include <marlet/marlet.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "escape.h"
#include "quillon/document/macros.h"

namespace quillon::html {

using namespace document;

namespace {

// Twips as CSS points, with up to two decimals.
void AppendPoints(std::string &out, int twips) {
  if (twips < 0) {
    out += '-';
    twips = -twips;
  }
  out += std::to_string(twips / 20);
  int rest = (twips % 20) * 5;  // hundredths of a point
  if (rest != 0) {
    out += '.';
    out += static_cast<char>('0' + rest / 10);
    if (rest % 10) out += static_cast<char>('0' + rest % 10);
  }
  out += "pt";
}

void AppendColour(std::string &out, uint32_t rgb) {
  char text[8];
  std::snprintf(text, sizeof text, "#%06x", rgb & 0xFFFFFF);
  out += text;
}

std::string GenericFamily(const std::string &family) {
  if (family == "roman") return "serif";
  if (family == "modern") return "monospace";
  if (family == "script") return "cursive";
  if (family == "decor") return "fantasy";
  return "sans-serif";
}

// A CSS string: the face name in double quotes, with the characters CSS
// strings cannot hold escaped.
void AppendCssString(std::string &out, std::string_view text) {
  out += '"';
  for (unsigned char c : text) {
    if (c == '"' || c == '\\' || c == '<' || c == '>' || c == '&' || c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\%x ", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

std::vector<std::string> SplitKeywords(const std::string &keywords) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= keywords.size()) {
    size_t end = keywords.find(';', start);
    if (end == std::string::npos) end = keywords.size();
    std::string one = keywords.substr(start, end - start);
    while (!one.empty() && one.front() == ' ') one.erase(0, 1);
    while (!one.empty() && one.back() == ' ') one.pop_back();
    if (!one.empty()) out.push_back(std::move(one));
    start = end + 1;
  }
  return out;
}

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char &c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

constexpr int kPopupDepth = 1;  // popups inside popups become links to their pages

}  // namespace

const KeywordIndex::Entry *KeywordIndex::Find(std::string_view list, std::string_view keyword) const {
  auto found = byName.find(std::string(list) + "\t" + LowerAscii(keyword));
  return found == byName.end() ? nullptr : &entries[found->second];
}

Renderer::Renderer(HelpFile &popupFile, const SiteMap &map, const KeywordIndex &keywords, const SiteOptions &options,
                   PictureLookup pictures)
    : popupFile_(popupFile),
      map_(map),
      keywords_(keywords),
      options_(options),
      pictures_(std::move(pictures)),
      info_(popupFile.info()) {}

std::string Renderer::FontFamily(int font) const {
  std::string out;
  if (font < 0 || static_cast<size_t>(font) >= info_.fonts.size()) return out;
  const Font &f = info_.fonts[static_cast<size_t>(font)];
  if (!f.face.empty()) {
    AppendCssString(out, f.face);
    out += ',';
  }
  out += GenericFamily(f.family);
  return out;
}

const std::string &Renderer::RunClass(const Style &style) {
  static const std::string kNone;
  if (style.font < 0 && style.halfPoints == 0 && !style.bold && !style.italic && !style.underline) return kNone;
  uint64_t key = (static_cast<uint64_t>(static_cast<uint16_t>(style.font)) << 32) |
                 (static_cast<uint64_t>(static_cast<uint16_t>(style.halfPoints)) << 8) | (style.bold ? 1 : 0) |
                 (style.italic ? 2 : 0) | (style.underline ? 4 : 0);
  auto found = runClasses_.find(key);
  if (found != runClasses_.end()) return found->second;
  std::string name = "s" + std::to_string(runCss_.size());
  std::string css = "." + name + "{";
  if (std::string family = FontFamily(style.font); !family.empty()) css += "font-family:" + family + ";";
  if (style.halfPoints > 0 && style.halfPoints < 2000) {
    css += "font-size:";
    AppendPoints(css, style.halfPoints * 10);
    css += ";";
  }
  css += style.bold ? "font-weight:bold;" : "font-weight:normal;";
  css += style.italic ? "font-style:italic;" : "font-style:normal;";
  if (style.underline) css += "text-decoration:underline;";
  if (style.font >= 0 && static_cast<size_t>(style.font) < info_.fonts.size()) {
    css += "color:";
    AppendColour(css, info_.fonts[static_cast<size_t>(style.font)].colour);
    css += ";";
  }
  css += "}";
  runCss_.push_back(std::move(css));
  return runClasses_.emplace(key, std::move(name)).first->second;
}

const std::string &Renderer::ParagraphClass(const ParagraphFormat &format) {
  static const std::string kNone;
  std::string &css = scratch_;
  css.clear();
  auto length = [&](const char *property, int twips) {
    if (twips == 0) return;
    css += property;
    AppendPoints(css, twips);
    css += ';';
  };
  length("margin-top:", format.spaceBefore);
  length("margin-bottom:", format.spaceAfter);
  length("margin-left:", format.leftIndent);
  length("margin-right:", format.rightIndent);
  length("text-indent:", format.firstIndent);
  if (format.lineSpacing < 0) length("line-height:", -format.lineSpacing);
  if (format.alignment == Alignment::Centre) css += "text-align:center;";
  if (format.alignment == Alignment::Right) css += "text-align:right;";
  if (format.borders != 0) {
    const char *style = format.borderStyle == BorderStyle::Thick    ? "2px solid"
                        : format.borderStyle == BorderStyle::Dotted ? "1px dotted"
                                                                    : "1px solid";
    bool box = format.borders & kBorderBox;
    if (box || (format.borders & kBorderTop)) css += std::string("border-top:") + style + ";";
    if (box || (format.borders & kBorderBottom)) css += std::string("border-bottom:") + style + ";";
    if (box || (format.borders & kBorderLeft)) css += std::string("border-left:") + style + ";";
    if (box || (format.borders & kBorderRight)) css += std::string("border-right:") + style + ";";
    css += "padding:1pt 2pt;";
  }
  // Tab stops: the first one relative to the text's start sets the spacing.
  for (const TabStop &stop : format.tabs) {
    int relative = stop.position - format.leftIndent;
    if (relative > 0) {
      length("tab-size:", relative);
      break;
    }
  }
  if (css.empty()) return kNone;
  auto found = paragraphClasses_.find(css);
  if (found != paragraphClasses_.end()) return found->second;
  std::string name = "p" + std::to_string(paragraphCss_.size());
  paragraphCss_.push_back("." + name + "{" + css + "}");
  return paragraphClasses_.emplace(css, std::move(name)).first->second;
}

// ---- Links ----------------------------------------------------------------------------

std::string Renderer::ExternalHref(const std::string &file, uint32_t hash) const {
  std::string key = HelpFileKey(file);
  if (options_.externalHref)
    if (std::optional<std::string> href = options_.externalHref(key, hash)) return *href;
  return "../" + SafeName(key) + "/" + map_.ContextName(hash) + ".html";
}

std::string Renderer::ExternalContents(const std::string &file) const {
  std::string key = HelpFileKey(file);
  if (options_.externalContents)
    if (std::optional<std::string> href = options_.externalContents(key)) return *href;
  return "../" + SafeName(key) + "/index.html";
}

Renderer::Target Renderer::TargetOfContext(const std::string &file, const std::string &context, uint32_t hash,
                                           TopicOffset target, LinkKind kind, bool inPopup) {
  Target t;
  if (!file.empty()) {
    t.href = ExternalHref(file, hash);
    if (t.href.empty()) {
      t.title = "not in this collection: " + file + (context.empty() ? "" : " " + context);
      return t;
    }
    t.kind = Target::Href;
    return t;
  }
  TopicOffset start = map_.StartOf(target);
  if (target == kNoTopic || start == kNoTopic) {
    t.title = "not in this help file: " + context;
    return t;
  }
  if (kind == LinkKind::Popup && !inPopup && popupDepth_ < kPopupDepth) {
    t.kind = Target::Popup;
    t.popup = start;
    t.href = "pop-" + map_.PageOf(start);
    return t;
  }
  t.kind = Target::Href;
  t.href = map_.HrefTo(target, hash);
  return t;
}

Renderer::Target Renderer::TargetOf(const Link &link, bool inPopup) {
  if (link.kind != LinkKind::Macro)
    return TargetOfContext(link.file, link.context, link.hash, link.target, link.kind, inPopup);
  Target t;
  switch (link.action) {
    case MacroAction::Jump:
    case MacroAction::Popup:
      if (link.context.empty() && link.file.empty() && link.target == kNoTopic) break;
      if (link.context.empty() && !link.file.empty()) break;  // a context number of another file
      return TargetOfContext(link.file, link.context, link.hash, link.target,
                             link.action == MacroAction::Popup ? LinkKind::Popup : LinkKind::Jump, inPopup);
    case MacroAction::Contents:
      t.href = link.file.empty() ? "index.html" : ExternalContents(link.file);
      if (t.href.empty()) {
        t.title = "not in this collection: " + link.file;
        return t;
      }
      t.kind = Target::Href;
      return t;
    case MacroAction::Url:
      t.kind = Target::Href;
      t.href = link.url;
      return t;
    case MacroAction::Keyword: {
      if (!link.file.empty()) break;
      for (const std::string &keyword : SplitKeywords(link.keyword)) {
        const KeywordIndex::Entry *entry = keywords_.Find(link.keywordList, keyword);
        if (entry == nullptr || entry->topics.empty()) continue;
        t.kind = Target::Href;
        t.href = entry->topics.size() == 1 ? map_.HrefTo(entry->topics.front(), 0) : "keywords.html#" + entry->id;
        if (t.href.empty()) continue;
        return t;
      }
      t = {};
      t.title = "no topic has the keyword: " + link.keyword;
      return t;
    }
    case MacroAction::None:
      break;
  }
  t.kind = Target::Macro;
  t.title = link.macro;
  return t;
}

void Renderer::OpenLink(const Target &target, const Link *link, std::string &out) {
  const bool invisible = link != nullptr && link->invisible;
  switch (target.kind) {
    case Target::Href:
      ++links_;
      out += invisible ? "<a class=\"hot inv\" href=\"" : "<a class=\"hot\" href=\"";
      AppendUrl(out, target.href);
      out += '"';
      if (target.href.find("://") != std::string::npos || target.href.rfind("mailto:", 0) == 0)
        out += " rel=\"noopener noreferrer\"";
      out += '>';
      return;
    case Target::Popup:
      ++links_;
      out += invisible ? "<button type=\"button\" class=\"hot popup inv\" popovertarget=\""
                       : "<button type=\"button\" class=\"hot popup\" popovertarget=\"";
      AppendAttribute(out, target.href);
      out += "\">";
      RequestPopup(target.popup);
      return;
    case Target::Macro:
      out += "<span class=\"macro\" title=\"";
      AppendAttribute(out, target.title);
      out += "\">";
      return;
    case Target::None:
      ++dangling_;
      out += "<span class=\"dangling\" title=\"";
      AppendAttribute(out, target.title);
      out += "\">";
      return;
  }
}

void Renderer::CloseLink(const Target &target, std::string &out) {
  switch (target.kind) {
    case Target::Href: out += "</a>"; break;
    case Target::Popup: out += "</button>"; break;
    default: out += "</span>"; break;
  }
}

void Renderer::RequestPopup(TopicOffset offset) {
  if (std::find(popups_.begin(), popups_.end(), offset) == popups_.end()) popups_.push_back(offset);
}

std::string Renderer::PopupContent(TopicOffset offset) {
  auto cached = popupCache_.find(offset);
  if (cached != popupCache_.end()) return cached->second;
  std::string html;
  if (std::optional<Topic> topic = popupFile_.ReadTopic(offset)) {
    ++popupDepth_;
    Blocks(topic->header, *topic, html, true);
    Blocks(topic->body, *topic, html, true);
    --popupDepth_;
  }
  if (popupCache_.size() > 512) popupCache_.clear();  // bounded: popups are read again when needed
  popupCache_.emplace(offset, html);
  return html;
}

// ---- Content ------------------------------------------------------------------------------

void Renderer::Picture(const Inline &piece, std::string &out, bool inPopup) {
  const PictureInfo *info = pictures_ ? pictures_(piece.text) : nullptr;
  std::string name = SafeName(piece.text[0] == '|' ? piece.text.substr(1) : piece.text);
  if (info == nullptr || !info->ok) {
    out += "<span class=\"missing-picture\" title=\"";
    AppendAttribute(out, "picture " + name + " could not be converted");
    out += "\"></span>";
    return;
  }
  std::string mapName = (inPopup ? "pm-" : "m-") + name + "-" + std::to_string(++mapCounter_);
  out += "<img src=\"";
  AppendUrl(out, info->file);
  out += "\" width=\"" + std::to_string(info->width) + "\" height=\"" + std::to_string(info->height) + "\" alt=\"\"";
  if (piece.placement == Placement::Left) out += " class=\"left\"";
  if (piece.placement == Placement::Right) out += " class=\"right\"";
  std::string areas;
  for (const PictureHotspot &hotspot : info->hotspots) {
    Link link = popupFile_.HotspotLink(hotspot.kind, hotspot.target);
    // An image map's area cannot open a popover: a popup hotspot leads to
    // the popup topic's own page.
    Target t = TargetOf(link, true);
    if (t.kind != Target::Href) {
      if (t.kind == Target::None) ++dangling_;
      continue;
    }
    ++links_;
    char coords[64];
    std::snprintf(coords, sizeof coords, "%d,%d,%d,%d", hotspot.left, hotspot.top, hotspot.right, hotspot.bottom);
    areas += "<area shape=\"rect\" coords=\"";
    areas += coords;
    areas += "\" href=\"";
    AppendUrl(areas, t.href);
    areas += "\" alt=\"";
    AppendAttribute(areas, hotspot.target);
    areas += "\">";
  }
  if (!areas.empty()) {
    out += " usemap=\"#";
    AppendAttribute(out, mapName);
    out += '"';
  }
  out += '>';
  if (!areas.empty()) {
    out += "<map name=\"";
    AppendAttribute(out, mapName);
    out += "\">" + areas + "</map>";
  }
}

void Renderer::Piece(const Inline &piece, const Topic &topic, std::string &out, bool inPopup) {
  switch (piece.kind) {
    case InlineKind::Text: {
      const std::string &cls = RunClass(piece.style);
      if (cls.empty()) {
        AppendText(out, piece.text);
      } else {
        out += "<span class=\"";
        out += cls;
        out += "\">";
        AppendText(out, piece.text);
        out += "</span>";
      }
      return;
    }
    case InlineKind::LineBreak:
      out += "<br>";
      return;
    case InlineKind::Tab:
      out += "<span class=\"tab\">\t</span>";
      return;
    case InlineKind::Picture:
      Picture(piece, out, inPopup);
      return;
    case InlineKind::EmbeddedWindow:
      out += "<span class=\"ew\" data-window=\"";
      AppendAttribute(out, piece.text);
      out += "\" title=\"";
      AppendAttribute(out, "embedded window: " + piece.text);
      out += "\"></span>";
      return;
    case InlineKind::MediaClip:
      out += "<span class=\"mci\" data-clip=\"";
      AppendAttribute(out, piece.text);
      out += "\"></span>";
      return;
    case InlineKind::Button: {
      // The label is drawn from data-label, so that the page's text stays the
      // topic's text.
      const Link *link = piece.link >= 0 && static_cast<size_t>(piece.link) < topic.links.size()
                             ? &topic.links[static_cast<size_t>(piece.link)]
                             : nullptr;
      Target t = link ? TargetOf(*link, inPopup) : Target{};
      std::string label;
      AppendAttribute(label, piece.text);
      if (t.kind == Target::Href) {
        ++links_;
        out += "<a class=\"button\" href=\"";
        AppendUrl(out, t.href);
        out += "\" data-label=\"" + label + "\" aria-label=\"" + label + "\"></a>";
      } else if (t.kind == Target::Popup) {
        ++links_;
        RequestPopup(t.popup);
        out += "<button type=\"button\" class=\"button\" popovertarget=\"";
        AppendAttribute(out, t.href);
        out += "\" data-label=\"" + label + "\" aria-label=\"" + label + "\"></button>";
      } else {
        if (t.kind == Target::None && link && link->action != MacroAction::None) ++dangling_;
        out += "<button type=\"button\" class=\"button\" disabled title=\"";
        AppendAttribute(out, link ? link->macro : "");
        out += "\" data-label=\"" + label + "\" aria-label=\"" + label + "\"></button>";
      }
      return;
    }
  }
}

void Renderer::Inlines(const std::vector<Inline> &content, const ParagraphFormat &format, const Topic &topic,
                       std::string &out, bool inPopup) {
  // A hanging indent with a tab after a short lead (a bullet or a number):
  // the lead sits in a box as wide as the hang, so that the text lines up.
  size_t hangEnd = 0;
  if (format.firstIndent < 0) {
    for (size_t i = 0; i < content.size() && i < 4; ++i) {
      if (content[i].link >= 0 || content[i].kind == InlineKind::LineBreak) break;  // no box across a hotspot
      if (content[i].kind == InlineKind::Tab) {
        hangEnd = i + 1;
        break;
      }
    }
  }
  int open = -1;  // the link whose element is open
  Target target;
  for (size_t i = 0; i < content.size(); ++i) {
    const Inline &piece = content[i];
    int link = piece.kind == InlineKind::Button ? -1 : piece.link;
    if (link < 0 || static_cast<size_t>(link) >= topic.links.size()) link = -1;
    if (link != open) {
      if (open >= 0) CloseLink(target, out);
      open = link;
      if (open >= 0) {
        target = TargetOf(topic.links[static_cast<size_t>(open)], inPopup);
        OpenLink(target, &topic.links[static_cast<size_t>(open)], out);
      }
    }
    if (hangEnd > 0 && i == 0) {
      out += "<span class=\"hang\" style=\"min-width:";
      AppendPoints(out, -format.firstIndent);
      out += "\">";
    }
    if (hangEnd > 0 && i + 1 == hangEnd) {
      out += "<span class=\"tab\">\t</span></span>";
      continue;
    }
    Piece(piece, topic, out, inPopup);
  }
  if (open >= 0) CloseLink(target, out);
}

void Renderer::ParagraphHtml(const Paragraph &paragraph, const Topic &topic, std::string &out, bool inPopup) {
  const std::string &cls = ParagraphClass(paragraph.format);
  if (cls.empty()) {
    out += "<p>";
  } else {
    out += "<p class=\"";
    out += cls;
    out += "\">";
  }
  if (!inPopup)
    for (const std::string &anchor : paragraph.anchors) {
      out += "<a id=\"";
      AppendAttribute(out, SiteMap::AnchorId(anchor));
      out += "\"></a>";
    }
  if (paragraph.content.empty())
    out += "<br>";
  else
    Inlines(paragraph.content, paragraph.format, topic, out, inPopup);
  out += "</p>\n";
}

void Renderer::TableHtml(const Table &table, const Topic &topic, std::string &out, bool inPopup) {
  out += "<table>";
  for (const Row &row : table.rows) {
    out += row.centred ? "<tr class=\"centred\">" : "<tr>";
    int previous = row.left;
    for (const Cell &cell : row.cells) {
      out += "<td";
      size_t column = static_cast<size_t>(cell.column);
      if (column < row.edges.size() && row.edges[column] > previous) {
        out += " style=\"width:";
        AppendPoints(out, row.edges[column] - previous);
        out += "\"";
        previous = row.edges[column];
      }
      out += ">";
      if (!inPopup && &cell == &row.cells.front())
        for (const std::string &anchor : row.anchors) {
          out += "<a id=\"";
          AppendAttribute(out, SiteMap::AnchorId(anchor));
          out += "\"></a>";
        }
      for (const Paragraph &paragraph : cell.paragraphs) ParagraphHtml(paragraph, topic, out, inPopup);
      out += "</td>";
    }
    out += "</tr>\n";
  }
  out += "</table>\n";
}

void Renderer::Blocks(const std::vector<Block> &blocks, const Topic &topic, std::string &out, bool inPopup) {
  for (const Block &block : blocks) {
    if (const Paragraph *paragraph = std::get_if<Paragraph>(&block))
      ParagraphHtml(*paragraph, topic, out, inPopup);
    else
      TableHtml(std::get<Table>(block), topic, out, inPopup);
  }
}

std::string Renderer::Page(const Topic &topic) {
  popups_.clear();
  std::string out;
  out.reserve(4096);
  out += "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
         "<meta name=\"viewport\" content=\"width=device-width\"><title>";
  std::string title = topic.title.empty() ? info_.title : topic.title;
  AppendText(out, title.empty() ? "Untitled topic" : title);
  if (!topic.title.empty() && !info_.title.empty() && topic.title != info_.title) {
    out += " \xE2\x80\x93 ";
    AppendText(out, info_.title);
  }
  out += "</title><link rel=\"stylesheet\" href=\"style.css\"></head>\n<body>\n<div class=\"top\"><nav>"
         "<a href=\"index.html\">Contents</a> <a href=\"keywords.html\">Index</a> <a href=\"search.html\">Search</a>";
  auto browse = [&](TopicOffset to, const char *rel, const char *label) {
    if (to == kNoTopic) return;
    std::string href = map_.HrefTo(to, 0);
    if (href.empty()) return;
    out += std::string(" <a rel=\"") + rel + "\" href=\"";
    AppendUrl(out, href);
    out += std::string("\">") + label + "</a>";
  };
  browse(topic.browseBack, "prev", "&lt;&lt;");
  browse(topic.browseForward, "next", "&gt;&gt;");
  out += "</nav>";
  if (!topic.header.empty()) {
    out += "\n<header class=\"nsr\">\n";
    Blocks(topic.header, topic, out, false);
    out += "</header>";
  }
  out += "</div>\n<main>\n";
  Blocks(topic.body, topic, out, false);
  out += "</main>\n";
  // Popups the page opens (reading them may ask for none beyond).
  for (size_t i = 0; i < popups_.size(); ++i) {
    TopicOffset offset = popups_[i];
    out += "<div popover id=\"pop-";
    AppendAttribute(out, map_.PageOf(offset));
    out += "\" class=\"popover\">";
    out += PopupContent(offset);
    out += "</div>\n";
  }
  out += "</body></html>\n";
  return out;
}

std::string Renderer::Fragment(const Topic &topic) {
  popups_.clear();
  std::string out;
  if (!topic.header.empty()) {
    out += "<header class=\"nsr\">\n";
    Blocks(topic.header, topic, out, false);
    out += "</header>\n";
  }
  out += "<main>\n";
  Blocks(topic.body, topic, out, false);
  out += "</main>\n";
  for (size_t i = 0; i < popups_.size(); ++i) {
    out += "<div popover id=\"pop-";
    AppendAttribute(out, map_.PageOf(popups_[i]));
    out += "\" class=\"popover\">";
    out += PopupContent(popups_[i]);
    out += "</div>\n";
  }
  return out;
}

std::string Renderer::Css() const {
  std::string css =
      "body{margin:0;font-family:\"MS Sans Serif\",Arial,sans-serif;font-size:10pt;background:"
      "#ffffff;color:#000}\n"
      ".top{position:sticky;top:0;background:inherit;z-index:1}\n"
      "nav{padding:2pt 6pt;background:#e8e8e8;border-bottom:1px solid #c0c0c0;font:9pt sans-serif}\n"
      "nav a{margin-right:.8em}\n"
      "header.nsr{padding:4pt 6pt;border-bottom:1px solid #808080}\n"
      "main{padding:4pt 6pt}\n"
      "p{margin:0;white-space:pre-wrap;tab-size:36pt}\n"
      ".hang{display:inline-block;text-indent:0}\n.hang>.tab{display:none}\n"
      "table{border-collapse:collapse}\ntd{vertical-align:top;padding:0 3pt}\ntr.centred{margin:auto}\n"
      "img.left{float:left;margin-right:4pt}\nimg.right{float:right;margin-left:4pt}\n"
      ".hot{color:#008000;text-decoration:underline}\n.hot:not(.inv) span{color:inherit}\n"
      ".hot.inv{color:inherit;text-decoration:none}\n"
      "button.hot,button.button{all:unset;cursor:pointer}\nbutton.hot{color:#008000;"
      "text-decoration:underline dotted}\nbutton.hot.inv{color:inherit;text-decoration:none}\n"
      "button.hot:focus-visible,button.button:focus-visible{outline:1px dotted}\n"
      ".button::before{content:attr(data-label);display:inline-block;padding:1pt 6pt;border:1px outset #c0c0c0;"
      "background:#e0e0e0;color:#000}\n"
      ".button[disabled]::before{color:#808080}\na.button{text-decoration:none}\n"
      ".ew::before{content:\"[\" attr(data-window) \"]\";color:#808080}\n"
      ".mci::before{content:\"[media clip]\";color:#808080}\n"
      ".missing-picture::before{content:\"[picture]\";color:#808080}\n"
      ".dangling{color:#806000}\n.macro{border-bottom:1px dotted #808080}\n"
      "[popover]{max-width:36em;padding:6pt 9pt;border:1px solid #404040;box-shadow:3px 3px 0 #808080;"
      "background:#ffffff}\n";
  // The colours the file gives its main window's regions.
  for (const Window &window : info_.windows) {
    if (window.type != "main" && window.name != "main") continue;
    if (window.background >= 0) {
      css += "body{background:";
      AppendColour(css, static_cast<uint32_t>(window.background));
      css += "}\n";
    }
    if (window.nonScrollingBackground >= 0) {
      css += "header.nsr{background:";
      AppendColour(css, static_cast<uint32_t>(window.nonScrollingBackground));
      css += "}\n";
    }
    break;
  }
  for (const std::string &rule : runCss_) css += rule + "\n";
  for (const std::string &rule : paragraphCss_) css += rule + "\n";
  return css;
}

}  // namespace quillon::html
