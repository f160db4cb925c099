// Topics into HTML pages.
//
// The renderer walks the document model and writes markup; every text from
// the help file passes through escape.h.  Character and paragraph formats
// become CSS classes, gathered while pages are written and written out as
// style.css at the end.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "quillon/document/help_file.h"
#include "quillon/document/model.h"
#include "quillon/html/site.h"
#include "site_map.h"

namespace quillon::html {

struct PictureHotspot {
  int left = 0, top = 0, right = 0, bottom = 0;
  document::LinkKind kind = document::LinkKind::Jump;
  std::string target;  // context string, or the macro (UTF-8)
};

struct PictureInfo {
  bool ok = false;
  std::string file;  // "pictures/bm3.png"
  int width = 0, height = 0;
  std::vector<PictureHotspot> hotspots;
};

// The pictures of a site, converted elsewhere; Get waits until the named one
// is done.  Null for a picture the file does not hold.
using PictureLookup = std::function<const PictureInfo *(const std::string &name)>;

// The keywords of the file, for the index page and keyword macros.
struct KeywordIndex {
  struct Entry {
    std::string keyword;
    std::string list;  // "K" or "A"
    std::vector<document::TopicOffset> topics;
    std::string id;    // anchor on the index page
  };
  std::vector<Entry> entries;                      // in index order, per list
  std::unordered_map<std::string, size_t> byName;  // list + "\t" + keyword in small letters
  const Entry *Find(std::string_view list, std::string_view keyword) const;
};

class Renderer {
 public:
  // popupFile reads popup topics (a HelpFile of its own: it is used from the
  // thread that renders).
  Renderer(document::HelpFile &popupFile, const SiteMap &map, const KeywordIndex &keywords,
           const SiteOptions &options, PictureLookup pictures);

  // A whole page for a topic.
  std::string Page(const document::Topic &topic);
  // The markup of the topic's regions and the popovers they open, without
  // the page around them.
  std::string Fragment(const document::Topic &topic);
  // style.css: the base rules and every class the pages used.
  std::string Css() const;

  size_t links() const { return links_; }
  size_t dangling() const { return dangling_; }

  // The fonts' CSS font-family lists, for the index pages too.
  std::string FontFamily(int font) const;

 private:
  struct Target {
    enum Kind { None, Href, Popup, Macro } kind = None;
    std::string href;
    document::TopicOffset popup = document::kNoTopic;
    std::string title;  // tooltip
  };

  void Blocks(const std::vector<document::Block> &blocks, const document::Topic &topic, std::string &out,
              bool inPopup);
  void ParagraphHtml(const document::Paragraph &paragraph, const document::Topic &topic, std::string &out,
                     bool inPopup);
  void TableHtml(const document::Table &table, const document::Topic &topic, std::string &out, bool inPopup);
  void Inlines(const std::vector<document::Inline> &content, const document::ParagraphFormat &format,
               const document::Topic &topic, std::string &out, bool inPopup);
  void Piece(const document::Inline &piece, const document::Topic &topic, std::string &out, bool inPopup);
  void Picture(const document::Inline &piece, std::string &out, bool inPopup);
  Target TargetOf(const document::Link &link, bool inPopup);
  Target TargetOfContext(const std::string &file, const std::string &context, uint32_t hash,
                         document::TopicOffset target, document::LinkKind kind, bool inPopup);
  void OpenLink(const Target &target, const document::Link *link, std::string &out);
  void CloseLink(const Target &target, std::string &out);
  std::string ExternalHref(const std::string &file, uint32_t hash) const;
  std::string ExternalContents(const std::string &file) const;
  const std::string &RunClass(const document::Style &style);
  const std::string &ParagraphClass(const document::ParagraphFormat &format);
  void RequestPopup(document::TopicOffset offset);
  std::string PopupContent(document::TopicOffset offset);

  document::HelpFile &popupFile_;
  const SiteMap &map_;
  const KeywordIndex &keywords_;
  const SiteOptions &options_;
  PictureLookup pictures_;
  const document::FileInfo &info_;

  std::unordered_map<uint64_t, std::string> runClasses_;
  std::vector<std::string> runCss_;
  std::unordered_map<std::string, std::string> paragraphClasses_;
  std::vector<std::string> paragraphCss_;
  std::string scratch_;  // a paragraph's CSS while its class is looked up
  // Per page: the popups its hotspots open, and the image maps it holds.
  std::vector<document::TopicOffset> popups_;
  std::vector<std::string> maps_;
  std::map<document::TopicOffset, std::string> popupCache_;
  int popupDepth_ = 0;
  size_t links_ = 0;
  size_t dangling_ = 0;
  // Image maps are numbered per site, not per thread: a thread that converts
  // one help file after another writes each the same as a fresh one would.
  unsigned mapCounter_ = 0;
};

}  // namespace quillon::html
