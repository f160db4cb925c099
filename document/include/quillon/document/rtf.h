// Topics as Rich Text Format documents, for word processors.
//
// A writer of the model (like plain_text.h and the HTML site): it walks a
// topic's blocks and never reads the help file.  The document declares the
// file's code page (\ansicpg) and writes every character outside ASCII as a
// \uN escape of its Unicode value, so that a reader shows the right letters
// whatever code page it assumes; fonts keep their character sets.  Runs keep
// their font, size, bold, italic, underline and the font's colour;
// paragraphs their alignment, spacing, indents, borders and tab stops;
// tables their rows, cells and edges.  A hotspot becomes a HYPERLINK field
// where its target is something a document can lead to (a web address, or a
// bookmark the document holds), and plain text otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "quillon/document/model.h"

namespace quillon::document {

// Where a hotspot leads in the document: a URL, or a bookmark of the
// document.  Both empty: the hotspot stays plain text.
struct RtfLink {
  std::string url;
  std::string bookmark;
};

struct RtfOptions {
  // Decides each hotspot's link.  By default a web address (an ExecFile of
  // an http, https, ftp or mailto address) becomes a link to it, and a jump
  // or popup to a known position of this file a link to that position's
  // bookmark (RtfBookmark): in a document of all topics every one is there.
  std::function<RtfLink(const Link &link)> link;
};

// The bookmark every topic start and every context position gets: "q" and
// the position's TopicOffset in eight hex digits.  Bookmark names are words
// (Word takes letters, digits and "_" only, at most 40), which context
// strings need not be; positions name them uniquely.
std::string RtfBookmark(TopicOffset position);

class RtfWriter {
 public:
  explicit RtfWriter(const FileInfo &info, RtfOptions options = {});

  // A document of one topic.
  std::string Document(const Topic &topic);

  // A document of many topics: Begin, AppendTopic for each (a page break
  // between them), End.
  std::string Begin(std::string_view title = {}) const;
  void AppendTopic(const Topic &topic, std::string &out);
  static std::string End() { return "}\n"; }

 private:
  const FileInfo &info_;
  RtfOptions options_;
  size_t topics_ = 0;
};

// Text as RTF: "\\", "{" and "}" escaped, tabs and line feeds as \tab and
// \line, other control characters dropped, everything beyond ASCII as
// \uN\'3f (UTF-16 units with "?" for readers without Unicode; invalid UTF-8
// as U+FFFD).
void AppendRtfText(std::string &out, std::string_view utf8);

}  // namespace quillon::document
