// A help file as a linked HTML site: one page per topic, the contents, a
// keyword index, a search page, pictures as PNG or SVG with their hotspots as
// image maps, popups as in-page popovers.  Pages work from file:// and need
// no script except the search page's few lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quillon/document/help_file.h"

namespace quillon::html {

struct SiteOptions {
  // Where a jump into another help file leads: given the other file's key
  // (HelpFileKey: its base name in small letters) and the jump's context hash,
  // an href relative to this site's folder, or nullopt to use the default,
  // "../KEY/CONTEXT.html" (sites of one folder converted side by side); ""
  // when the jump leads nowhere (the other file is not there, or has no such
  // context): its hotspot stays text, counted as dangling.
  std::function<std::optional<std::string>(std::string_view key, uint32_t hash)> externalHref;
  // Where another help file's contents page lies (a Contents macro naming
  // it), the same way: nullopt for the default "../KEY/index.html", "" for
  // nowhere.
  std::function<std::optional<std::string>(std::string_view key)> externalContents;
  // Called now and then with topics written and topics expected.
  std::function<void(size_t done, size_t total)> progress;
  // Threads for pages and pictures beside the reading one; 0: as many as the
  // machine has cores, at most 2.
  unsigned threads = 0;
  document::OpenOptions open;  // companions (the .CNT) and the file's name
};

struct SiteReport {
  bool opened = false;
  std::string why;  // why the file could not be converted at all
  std::string title;
  std::string copyright;
  size_t topics = 0;          // pages written
  size_t topicsExpected = 0;  // topics the indexes list
  size_t links = 0;           // hotspots that became links
  size_t dangling = 0;        // hotspots whose target is not known: plain text
  size_t pictures = 0;        // pictures converted
  size_t picturesFailed = 0;
  size_t filesWritten = 0;
  size_t filesFailed = 0;
  bool endedEarly = false;    // the topic stream stopped before its end (damage)
  // Whether something of the help file did not reach the site: a topic not
  // read, a picture not converted, a file not written.
  bool Lost() const {
    return !opened || endedEarly || picturesFailed > 0 || filesFailed > 0 || topics < topicsExpected;
  }
};

// The context hashes of a help file that a jump from another help file's site
// reaches as "../SITE/NAME.html", NAME being ContextPageName(hash): those
// with a page or a redirect page of their own.  Ascending.
std::vector<uint32_t> ReachableContexts(document::HelpFile &file);
std::string ContextPageName(uint32_t hash);

// Converts the help file at path into a site in outDir (made where missing;
// files already there with the same names are replaced).
SiteReport WriteSite(const std::string &path, const std::string &outDir, const SiteOptions &options = {});

}  // namespace quillon::html

namespace quillon::html {

// One topic's HTML on its own, for callers that are not writing a site (the
// Python binding): the markup of its non-scrolling region and its text, with
// links as a site of this file would have them (PAGE.html, pop-ups as
// popovers inside the fragment).  Pictures are drawn as placeholders.
class TopicHtml {
 public:
  explicit TopicHtml(document::HelpFile &file);
  ~TopicHtml();
  TopicHtml(const TopicHtml &) = delete;
  TopicHtml &operator=(const TopicHtml &) = delete;
  std::string Fragment(const document::Topic &topic);
  // The whole page a site would hold for the topic (it refers to style.css).
  std::string Page(const document::Topic &topic);
  // The style sheet for the markup written so far.
  std::string Css();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quillon::html
