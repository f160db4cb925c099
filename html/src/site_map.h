// Page names and link targets of a site, settled before any page is written
// and read-only afterwards (so that page-writing threads share it).
//
// A topic's page is named after a context string that names its start: of
// several, the one of the smallest hash; the string is the one made up from
// the hash (files keep only hashes), in small letters, so that a jump from
// another help file, which knows only the hash, finds it: every context of
// the file that does not name a page gets a small page of its own that leads
// to its place.  Topics with no context string are named "topic-" and their
// number (3.0 files) or TopicOffset.  Made-up strings never hold "-", so
// these names and the site's own pages (index, keywords, search) cannot meet
// a context's.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "quillon/document/help_file.h"

namespace quillon::html {

class SiteMap {
 public:
  explicit SiteMap(document::HelpFile &file);

  // The page name (without ".html") of the topic that begins at start.
  std::string PageOf(document::TopicOffset start) const;
  // The start of the topic that holds a position; kNoTopic before the first.
  document::TopicOffset StartOf(document::TopicOffset position) const;
  // An href from a page of this site to a position, "" when no topic holds it.
  // A position inside its topic gets the anchor of hash, or of a context that
  // names the position when hash is 0; with neither, the page alone.
  std::string HrefTo(document::TopicOffset target, uint32_t hash) const;
  // The name a context hash goes by in file names and anchors.
  std::string ContextName(uint32_t hash) const;
  // The anchor id for a context string at a position inside a topic.
  static std::string AnchorId(std::string_view context);
  // Contexts that name no page: their name and the href of their place.
  const std::vector<std::pair<std::string, std::string>> &Stubs() const { return stubs_; }
  size_t topicCount() const { return starts_.size(); }

 private:
  std::vector<document::TopicOffset> starts_;
  std::unordered_map<document::TopicOffset, std::string> pages_;
  std::unordered_map<uint32_t, std::string> contextNames_;
  std::unordered_map<document::TopicOffset, uint32_t> anchorAt_;  // a context hash naming each position
  std::vector<std::pair<std::string, std::string>> stubs_;
};

}  // namespace quillon::html
