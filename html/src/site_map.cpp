#include "site_map.h"

#include <marlet/marlet.h>

#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "escape.h"

namespace quillon::html {

using document::kNoTopic;
using document::TopicOffset;

namespace {

std::string Lower(std::string s) {
  for (char &c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string FallbackName(TopicOffset start, uint32_t number) {
  char name[32];
  if (number != 0xFFFFFFFFu)
    std::snprintf(name, sizeof name, "topic-%u", number);  // 3.0 jumps name topics by number
  else
    std::snprintf(name, sizeof name, "topic-%08x", start);
  return name;
}

}  // namespace

SiteMap::SiteMap(document::HelpFile &file) {
  starts_ = file.TopicStarts();
  for (const document::ContextEntry &entry : file.Contexts()) {
    contextNames_.emplace(entry.hash, SafeName(Lower(file.ContextString(entry.hash))));
    auto [at, fresh] = anchorAt_.emplace(entry.offset, entry.hash);
    if (!fresh && entry.hash < at->second) at->second = entry.hash;
  }
  std::unordered_set<std::string> taken = {"index", "keywords", "search", "style", "search-data"};
  const bool v30 = file.info().Version30();
  for (TopicOffset start : starts_) {
    std::string name;
    std::vector<uint32_t> hashes = file.HashesAt(start);
    if (!hashes.empty()) name = contextNames_[hashes.front()];
    if (name.empty() || taken.count(name)) name = FallbackName(start, v30 ? file.TopicNumber(start) : 0xFFFFFFFFu);
    for (int i = 2; taken.count(name); ++i) name = FallbackName(start, 0xFFFFFFFFu) + "-" + std::to_string(i);
    taken.insert(name);
    pages_.emplace(start, std::move(name));
  }
  for (const document::ContextEntry &entry : file.Contexts()) {
    const std::string &name = contextNames_[entry.hash];
    if (taken.count(name)) continue;  // a page's own name
    std::string href = HrefTo(entry.offset, entry.hash);
    if (href.empty()) continue;
    taken.insert(name);
    stubs_.push_back({name, std::move(href)});
  }
}

TopicOffset SiteMap::StartOf(TopicOffset position) const {
  auto it = std::upper_bound(starts_.begin(), starts_.end(), position);
  return it == starts_.begin() ? kNoTopic : *(it - 1);
}

std::string SiteMap::PageOf(TopicOffset start) const {
  auto found = pages_.find(start);
  return found != pages_.end() ? found->second : FallbackName(start, 0xFFFFFFFFu);
}

std::string SiteMap::ContextName(uint32_t hash) const {
  auto found = contextNames_.find(hash);
  if (found != contextNames_.end()) return found->second;
  char buffer[64] = {};
  HlpCreateStringForHashValue(static_cast<ContextHash>(hash), buffer);
  buffer[sizeof buffer - 1] = '\0';
  return SafeName(Lower(buffer));
}

std::string SiteMap::AnchorId(std::string_view context) { return SafeName(Lower(std::string(context))); }

std::string SiteMap::HrefTo(TopicOffset target, uint32_t hash) const {
  if (target == kNoTopic) return "";
  TopicOffset start = StartOf(target);
  if (start == kNoTopic) return "";
  std::string href = PageOf(start) + ".html";
  if (target == start) return href;
  if (hash == 0) {
    auto named = anchorAt_.find(target);
    if (named == anchorAt_.end()) return href;
    hash = named->second;
  }
  return href + "#" + ContextName(hash);
}

}  // namespace quillon::html
