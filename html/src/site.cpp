// The whole site: who writes what, and on which thread.
//
// The reading thread walks the topic stream once (HelpFile::ReadAll) and
// hands each topic to the page thread through a short queue, so that memory
// stays bounded by a few topics; the page thread renders and writes pages and
// reads popup topics through a HelpFile of its own; a picture thread converts
// the file's pictures through a third.  Index, keyword and stub pages are
// written by the reading thread before it starts on the topics; style.css and
// the search data when all pages are done.
#include "quillon/html/site.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include <marlet/marlet.h>

#include "escape.h"
#include "output_folder.h"
#include "quillon/document/macros.h"
#include "quillon/document/plain_text.h"
#include "render.h"
#include "site_map.h"

#if QUILLON_HAVE_PICTURES
#include "quillon/pictures.h"
#endif

namespace quillon::html {

using namespace document;

namespace {

constexpr size_t kQueueLength = 32;  // topics between the reading and the page thread

// ---- A short queue between two threads ------------------------------------------------------

class TopicQueue {
 public:
  void Push(Topic topic) {
    std::unique_lock lock(mutex_);
    if (topics_.size() >= kQueueLength) {
      ++producerWaiting_;
      room_.wait(lock, [&] { return topics_.size() < kQueueLength; });
      --producerWaiting_;
    }
    topics_.push_back(std::move(topic));
    // Only a consumer that sleeps is woken: a call per topic would cost more
    // than many topics' pages.
    if (consumerWaiting_) ready_.notify_one();
  }
  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    ready_.notify_all();
  }
  // All topics waiting, at least one; false when the queue is closed and empty.
  bool PopAll(std::deque<Topic> &out) {
    std::unique_lock lock(mutex_);
    if (topics_.empty() && !closed_) {
      ++consumerWaiting_;
      ready_.wait(lock, [&] { return !topics_.empty() || closed_; });
      --consumerWaiting_;
    }
    if (topics_.empty()) return false;
    out.swap(topics_);
    if (producerWaiting_) room_.notify_one();
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::deque<Topic> topics_;
  int producerWaiting_ = 0, consumerWaiting_ = 0;
  bool closed_ = false;
};

// ---- Pictures ---------------------------------------------------------------------------------

class PictureStore {
 public:
  void Expect(std::vector<std::string> names) {
    std::lock_guard lock(mutex_);
    for (std::string &name : names) expected_.insert(std::move(name));
  }
  void Done(const std::string &name, PictureInfo info) {
    std::lock_guard lock(mutex_);
    done_[name] = std::move(info);
    changed_.notify_all();
  }
  void Finish() {
    std::lock_guard lock(mutex_);
    finished_ = true;
    changed_.notify_all();
  }
  const PictureInfo *Get(const std::string &name) {
    std::unique_lock lock(mutex_);
    if (!expected_.count(name)) return nullptr;
    changed_.wait(lock, [&] { return done_.count(name) || finished_; });
    auto found = done_.find(name);
    return found == done_.end() ? nullptr : &found->second;  // map nodes do not move
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::unordered_set<std::string> expected_;
  std::map<std::string, PictureInfo> done_;
  bool finished_ = false;
};

struct PictureCounts {
  size_t converted = 0;
  size_t failed = 0;
};

PictureCounts ConvertPictures(const std::string &path, const SiteOptions &options, OutputFolder &out,
                              PictureStore &store, const std::vector<std::string> &names) {
  PictureCounts counts;
#if QUILLON_HAVE_PICTURES
  std::unique_ptr<HelpFile> file = HelpFile::Open(path, nullptr, options.open);
  for (const std::string &name : names) {
    PictureInfo info;
    std::string base = SafeName(name[0] == '|' ? name.substr(1) : name);
    std::optional<std::vector<uint8_t>> bytes = file ? file->Read(name) : std::nullopt;
    std::optional<pictures::Picture> picture;
    if (bytes) picture = pictures::Decode(*bytes);
    if (picture) {
      std::string svg;
      if (picture->kind == pictures::Kind::Metafile) svg = pictures::Svg(*picture);
      if (!svg.empty()) {
        info.file = "pictures/" + base + ".svg";
        info.ok = out.Write(info.file, svg);
      } else if (std::vector<uint8_t> png = pictures::Png(*picture); !png.empty()) {
        info.file = "pictures/" + base + ".png";
        info.ok = out.Write(info.file, std::string_view(reinterpret_cast<const char *>(png.data()), png.size()));
      }
      info.width = picture->width;
      info.height = picture->height;
      for (const pictures::Hotspot &h : picture->hotspots) {
        PictureHotspot hotspot;
        hotspot.left = h.left;
        hotspot.top = h.top;
        hotspot.right = h.right;
        hotspot.bottom = h.bottom;
        hotspot.kind = h.kind == pictures::HotspotKind::Macro   ? LinkKind::Macro
                       : h.kind == pictures::HotspotKind::Popup ? LinkKind::Popup
                                                                : LinkKind::Jump;
        hotspot.target = file->codePage().ToUtf8(h.target);
        info.hotspots.push_back(std::move(hotspot));
      }
    }
    if (info.ok)
      ++counts.converted;
    else
      ++counts.failed;
    store.Done(name, std::move(info));
  }
#else
  (void)path, (void)options, (void)out;
  counts.failed = names.size();
#endif
  store.Finish();
  return counts;
}

// ---- Pages of the site's own ---------------------------------------------------------------------

void PageStart(std::string &out, const std::string &title) {
  out += "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><meta name=\"viewport\" "
         "content=\"width=device-width\"><title>";
  AppendText(out, title);
  out += "</title><link rel=\"stylesheet\" href=\"style.css\"></head>\n<body>\n<div class=\"top\"><nav>"
         "<a href=\"index.html\">Contents</a> <a href=\"keywords.html\">Index</a> "
         "<a href=\"search.html\">Search</a></nav></div>\n<main>\n";
}

void PageEnd(std::string &out) { out += "</main>\n</body></html>\n"; }

struct SiteContext {
  HelpFile &file;
  const SiteMap &map;
  const SiteOptions &options;
  std::unordered_map<TopicOffset, std::string> titles;  // topic starts' titles
  size_t dangling = 0;
  size_t links = 0;

  std::string TitleOf(TopicOffset start) const {
    auto found = titles.find(start);
    return found == titles.end() || found->second.empty() ? "(untitled topic)" : found->second;
  }
  std::string External(const std::string &otherFile, uint32_t hash) const {
    std::string key = HelpFileKey(otherFile);
    if (options.externalHref)
      if (std::optional<std::string> href = options.externalHref(key, hash)) return *href;
    return "../" + SafeName(key) + "/" + map.ContextName(hash) + ".html";
  }
};

void AppendLink(std::string &out, const std::string &href, std::string_view text) {
  out += "<a href=\"";
  AppendUrl(out, href);
  out += "\">";
  AppendText(out, text);
  out += "</a>";
}

std::string ContentsHref(SiteContext &site, const ContentsEntry &entry) {
  if (!entry.macro.empty()) {
    MacroMeaning meaning = InterpretMacro(entry.macro);
    if (meaning.action == MacroAction::Url) return meaning.url;
    if ((meaning.action == MacroAction::Jump || meaning.action == MacroAction::Popup) && !meaning.context.empty()) {
      ContentsEntry jump;
      jump.context = meaning.context;
      jump.file = meaning.file;
      return ContentsHref(site, jump);
    }
    return "";
  }
  if (entry.context.empty()) return "";
  uint32_t hash = static_cast<uint32_t>(HlpGenerateHashValue(entry.context.c_str()));
  if (!entry.file.empty() && !site.file.IsThisFile(entry.file)) return site.External(entry.file, hash);
  return site.map.HrefTo(site.file.Resolve(hash), hash);
}

std::string IndexPage(SiteContext &site, const std::optional<Contents> &contents) {
  const FileInfo &info = site.file.info();
  std::string title = !info.title.empty() ? info.title : contents && !contents->title.empty() ? contents->title
                                                                                               : "Help";
  std::string out;
  PageStart(out, title);
  out += "<h1>";
  AppendText(out, title);
  out += "</h1>\n";
  if (!info.copyright.empty()) {
    out += "<p class=\"copyright\">";
    AppendText(out, info.copyright);
    out += "</p>\n";
  }
  if (!info.citation.empty()) {
    out += "<p class=\"citation\">";
    AppendText(out, info.citation);
    out += "</p>\n";
  }
  const std::vector<TopicOffset> &starts = site.file.TopicStarts();
  TopicOffset first = info.contentsTopic != kNoTopic ? site.map.StartOf(info.contentsTopic) : kNoTopic;
  if (first == kNoTopic && !starts.empty()) first = starts.front();
  if (first != kNoTopic) {
    out += "<p class=\"start\">";
    AppendLink(out, site.map.HrefTo(first, 0), "Start: " + site.TitleOf(first));
    out += "</p>\n";
  }
  out += "<h2>Contents</h2>\n<ul class=\"contents\">\n";
  if (contents && !contents->entries.empty()) {
    int depth = 1;
    bool first = true;
    for (const ContentsEntry &entry : contents->entries) {
      if (!first) {
        if (entry.level > depth) {
          out += "\n<ul>\n";
        } else {
          out += "</li>\n";
          for (; depth > entry.level; --depth) out += "</ul></li>\n";
        }
      }
      depth = entry.level;
      first = false;
      out += "<li>";
      std::string href = entry.heading ? "" : ContentsHref(site, entry);
      if (!href.empty()) {
        ++site.links;
        AppendLink(out, href, entry.text);
      } else {
        if (!entry.heading) ++site.dangling;
        out += entry.heading ? "<span class=\"book\">" : "<span class=\"dangling\">";
        AppendText(out, entry.text);
        out += "</span>";
      }
    }
    if (!first) out += "</li>\n";
    for (; depth > 1; --depth) out += "</ul></li>\n";
  } else {
    // No contents file: the titled topics in file order.
    std::vector<std::pair<TopicOffset, std::string>> topics(site.titles.begin(), site.titles.end());
    std::sort(topics.begin(), topics.end());
    for (const auto &[offset, topicTitle] : topics) {
      if (topicTitle.empty()) continue;
      out += "<li>";
      AppendLink(out, site.map.HrefTo(offset, 0), topicTitle);
      out += "</li>\n";
    }
  }
  out += "</ul>\n";
  PageEnd(out);
  return out;
}

KeywordIndex ReadKeywords(HelpFile &file) {
  KeywordIndex index;
  for (const std::string &list : file.info().keywordLists) {
    if (list != "K" && list != "A") continue;
    for (KeywordEntry &entry : file.Keywords(list)) {
      KeywordIndex::Entry e;
      e.keyword = std::move(entry.keyword);
      e.list = list;
      e.topics = std::move(entry.topics);
      e.id = list == "K" ? "k" : "a";
      e.id += std::to_string(index.entries.size());
      std::string key = list + "\t";
      for (char c : e.keyword) key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
      index.byName.emplace(std::move(key), index.entries.size());
      index.entries.push_back(std::move(e));
    }
  }
  return index;
}

std::string KeywordsPage(SiteContext &site, const KeywordIndex &keywords) {
  std::string out;
  PageStart(out, "Index \xE2\x80\x93 " + site.file.info().title);
  for (const char *list : {"K", "A"}) {
    bool any = std::any_of(keywords.entries.begin(), keywords.entries.end(),
                           [&](const KeywordIndex::Entry &e) { return e.list == list; });
    if (!any) {
      if (std::string(list) == "K") out += "<h1>Index</h1>\n<p>This help file has no keywords.</p>\n";
      continue;
    }
    out += std::string(list) == "K" ? "<h1>Index</h1>\n<ul class=\"keywords\">\n"
                                    : "<h2>Associated keywords (A)</h2>\n<ul class=\"keywords\">\n";
    for (const KeywordIndex::Entry &entry : keywords.entries) {
      if (entry.list != list) continue;
      out += "<li id=\"" + entry.id + "\">";
      std::vector<std::pair<TopicOffset, std::string>> topics;
      for (TopicOffset offset : entry.topics) {
        std::string href = site.map.HrefTo(offset, 0);
        if (href.empty()) {
          ++site.dangling;
          continue;
        }
        TopicOffset start = site.map.StartOf(offset);
        if (std::none_of(topics.begin(), topics.end(), [&](const auto &t) { return t.second == href; }))
          topics.push_back({start, href});
      }
      if (topics.size() == 1) {
        ++site.links;
        AppendLink(out, topics.front().second, entry.keyword);
      } else {
        AppendText(out, entry.keyword);
        if (!topics.empty()) {
          out += "<ul>";
          for (const auto &[start, href] : topics) {
            ++site.links;
            out += "<li>";
            AppendLink(out, href, site.TitleOf(start));
            out += "</li>";
          }
          out += "</ul>";
        }
      }
      out += "</li>\n";
    }
    out += "</ul>\n";
  }
  PageEnd(out);
  return out;
}

std::string StubPage(const std::string &href) {
  std::string out = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><meta http-equiv=\"refresh\" content=\"0; url=";
  AppendUrl(out, href);
  out += "\"><title>Redirect</title></head><body><a href=\"";
  AppendUrl(out, href);
  out += "\">Go to the topic</a></body></html>\n";
  return out;
}

constexpr const char kSearchScript[] = R"(<script>
(function () {
  var q = document.getElementById('q'), r = document.getElementById('r'), lower = null;
  function run() {
    var words = q.value.toLowerCase().split(/\s+/).filter(Boolean);
    r.textContent = '';
    if (!words.length) return;
    if (!lower) lower = QUILLON_SEARCH.map(function (e) { return (e[1] + '\n' + e[2]).toLowerCase(); });
    for (var i = 0, n = 0; i < lower.length && n < 500; i++) {
      if (!words.every(function (w) { return lower[i].indexOf(w) >= 0; })) continue;
      var li = document.createElement('li'), a = document.createElement('a');
      a.href = QUILLON_SEARCH[i][0];
      a.textContent = QUILLON_SEARCH[i][1] || '(untitled topic)';
      li.appendChild(a);
      r.appendChild(li);
      n++;
    }
    if (!r.firstChild) r.textContent = 'No topic holds these words.';
  }
  q.addEventListener('input', run);
  document.getElementById('f').addEventListener('submit', function (e) { e.preventDefault(); run(); });
  if (location.hash.length > 1) { q.value = decodeURIComponent(location.hash.slice(1)); run(); }
})();
</script>
)";

std::string SearchPage(const std::string &title) {
  std::string out;
  PageStart(out, "Search \xE2\x80\x93 " + title);
  out += "<h1>Search</h1>\n<form id=\"f\"><input id=\"q\" type=\"search\" size=\"40\" "
         "placeholder=\"Words to find\" autofocus></form>\n<ol id=\"r\"></ol>\n"
         "<script src=\"search-data.js\"></script>\n";
  out += kSearchScript;
  PageEnd(out);
  return out;
}

}  // namespace

std::vector<uint32_t> ReachableContexts(HelpFile &file) {
  SiteMap map(file);
  std::unordered_set<std::string> pages;
  for (TopicOffset start : file.TopicStarts()) pages.insert(map.PageOf(start));
  for (const auto &[name, href] : map.Stubs()) pages.insert(name);
  std::vector<uint32_t> hashes;
  for (const ContextEntry &entry : file.Contexts())
    if (pages.count(map.ContextName(entry.hash))) hashes.push_back(entry.hash);
  std::sort(hashes.begin(), hashes.end());
  hashes.erase(std::unique(hashes.begin(), hashes.end()), hashes.end());
  return hashes;
}

std::string ContextPageName(uint32_t hash) {
  char buffer[64] = {};
  HlpCreateStringForHashValue(static_cast<ContextHash>(hash), buffer);
  buffer[sizeof buffer - 1] = '\0';
  std::string name = buffer;
  for (char &c : name)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return SafeName(name);
}

struct TopicHtml::State {
  explicit State(HelpFile &file)
      : map(file), keywords(ReadKeywords(file)), renderer(file, map, keywords, options, nullptr) {}
  SiteOptions options;
  SiteMap map;
  KeywordIndex keywords;
  Renderer renderer;
};

TopicHtml::TopicHtml(HelpFile &file) : state_(std::make_unique<State>(file)) {}
TopicHtml::~TopicHtml() = default;
std::string TopicHtml::Fragment(const Topic &topic) { return state_->renderer.Fragment(topic); }
std::string TopicHtml::Page(const Topic &topic) { return state_->renderer.Page(topic); }
std::string TopicHtml::Css() { return state_->renderer.Css(); }

SiteReport WriteSite(const std::string &path, const std::string &outDir, const SiteOptions &options) {
  SiteReport report;
  std::unique_ptr<HelpFile> file = HelpFile::Open(path, &report.why, options.open);
  if (!file) return report;
  OutputFolder out;
  if (!out.Open(outDir, &report.why)) return report;
  report.opened = true;
  const FileInfo &info = file->info();
  report.title = info.title;
  report.copyright = info.copyright;

  // The page thread reads popups and resolves links through a HelpFile of
  // its own, on which it also settles the page names and reads the keyword
  // lists, while the reading thread starts on the topics at once.
  std::unique_ptr<HelpFile> popupFile = HelpFile::Open(path, nullptr, options.open);
  HelpFile &popups = popupFile ? *popupFile : *file;
  unsigned threads = options.threads ? options.threads : std::min(2u, std::max(1u, std::thread::hardware_concurrency()));
  const bool twoThreads = threads > 1 && popupFile != nullptr;

  // Pictures, on their own thread.
  std::vector<std::string> pictureNames = file->PictureNames();
  PictureStore pictureStore;
  pictureStore.Expect(pictureNames);
  PictureCounts pictureCounts;
  std::thread pictureThread;
  if (!pictureNames.empty()) {
    out.MakeFolder("pictures");
    pictureThread = std::thread([&] { pictureCounts = ConvertPictures(path, options, out, pictureStore, pictureNames); });
  } else {
    pictureStore.Finish();
  }

  // What the pages need, made by the thread that writes them.
  std::optional<SiteMap> map;
  std::optional<KeywordIndex> keywords;
  std::optional<SiteContext> site;
  std::optional<Renderer> renderer;
  std::optional<Contents> contents = file->ContentsFile();
  std::string search;
  size_t pagesWritten = 0;
  auto prepare = [&] {
    map.emplace(popups);
    keywords.emplace(ReadKeywords(popups));
    site.emplace(SiteContext{popups, *map, options, {}, 0, 0});
    for (const TitleEntry &entry : popups.Titles()) site->titles.emplace(entry.offset, entry.title);
    renderer.emplace(popups, *map, *keywords, options, [&](const std::string &name) { return pictureStore.Get(name); });
    search = "var QUILLON_SEARCH = [\n";
    out.Write("index.html", IndexPage(*site, contents));
    out.Write("keywords.html", KeywordsPage(*site, *keywords));
    for (const auto &[name, href] : map->Stubs()) out.Write(name + ".html", StubPage(href));
  };
  auto writePage = [&](const Topic &topic) {
    std::string page = renderer->Page(topic);
    std::string name = map->PageOf(topic.offset);
    if (out.Write(name + ".html", page)) ++pagesWritten;
    search += "[\"";
    AppendScriptString(search, name + ".html");
    search += "\",\"";
    AppendScriptString(search, topic.title);
    search += "\",\"";
    AppendScriptString(search, PlainText(topic));
    search += "\"],\n";
    if (options.progress) options.progress(pagesWritten, map->topicCount());
  };
  TopicQueue queue;
  std::thread pageThread;
  if (twoThreads) {
    pageThread = std::thread([&] {
      prepare();
      std::deque<Topic> topics;
      while (queue.PopAll(topics)) {
        for (const Topic &topic : topics) writePage(topic);
        topics.clear();
      }
    });
  } else {
    prepare();
  }

  ReadReport read = file->ReadAll([&](Topic &topic) {
    if (twoThreads)
      queue.Push(std::move(topic));
    else
      writePage(topic);
    return true;
  });
  queue.Close();
  if (pageThread.joinable()) pageThread.join();
  if (pictureThread.joinable()) pictureThread.join();

  search += "];\n";
  out.Write("search-data.js", search);
  out.Write("search.html", SearchPage(info.title));
  out.Write("style.css", renderer->Css());

  report.topicsExpected = map->topicCount();
  report.topics = pagesWritten;
  report.endedEarly = read.endedEarly;
  report.links = renderer->links() + site->links;
  report.dangling = renderer->dangling() + site->dangling;
  report.pictures = pictureCounts.converted;
  report.picturesFailed = pictureCounts.failed;
  report.filesWritten = out.written();
  report.filesFailed = out.failures();
  return report;
}

}  // namespace quillon::html
