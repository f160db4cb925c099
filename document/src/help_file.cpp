// Opening a help file for the document model, and the indexes beside the
// topic stream.
//
// |SYSTEM's records are read by quillon::text (system_records.h).
// |TOMAP (3.0 files): 32-bit TopicOffsets indexed by topic number.
// |CTXOMAP: a 16-bit count, then pairs of a 32-bit map number and a
// 32-bit TopicOffset.
#include <marlet/marlet.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "help_file_impl.h"
#include "quillon/document/macros.h"
#include "quillon/text/system_records.h"

namespace quillon::document {

namespace {

// Everything the document reader wants from the stream.
constexpr uint32_t kStreamOptions = HLP_TOPIC_FONTS | HLP_TOPIC_KEYWORDS | HLP_TOPIC_CONTEXTS |
                                    HLP_TOPIC_JUMP_PLACES | HLP_TOPIC_HEADERS | HLP_TOPIC_CHARSETS;

// Internal files read whole here are small; anything larger is damage.
constexpr uint32_t kLargestSmallFile = 64u << 20;

uint16_t U16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t *p) {
  return p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

std::optional<std::vector<uint8_t>> ReadInternal(IfsHandle container, const char *name, uint32_t limit) {
  return text::ReadInternalFile(container, name, limit);
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Companion files in the help file's folder, matched without regard to case.
std::optional<std::string> CompanionInFolder(const std::string &helpPath, std::string_view name) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path folder = fs::path(helpPath).parent_path();
  if (folder.empty()) folder = ".";
  std::string wanted = Lower(name);
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (Lower(it->path().filename().string()) != wanted || !it->is_regular_file(error)) continue;
    if (it->file_size(error) > kLargestSmallFile) return std::nullopt;
    std::ifstream in(it->path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  return std::nullopt;
}

struct FontsFromHeader {
  const CodePage *codePage;
  std::vector<Font> fonts;
};

int32_t MARLET_API TakeFonts(const char *text, TopicOffset, int32_t event, MarletUserData user) {
  auto *take = reinterpret_cast<FontsFromHeader *>(user);
  if (event == TopicEventRtfHeader) take->fonts = ParseFontTable(text, *take->codePage);
  return 0;  // the header is all that is wanted
}

int32_t MARLET_API TakeTitle(const char *title, TopicOffset offset, MarletUserData user) {
  reinterpret_cast<std::vector<TitleEntry> *>(user)->push_back({offset, title});
  return 1;
}

int32_t MARLET_API TakeContext(ContextHash hash, TopicOffset offset, MarletUserData user) {
  reinterpret_cast<std::vector<ContextEntry> *>(user)->push_back({static_cast<uint32_t>(hash), offset});
  return 1;
}

struct KeywordWalk {
  std::vector<std::pair<std::string, std::pair<int32_t, int32_t>>> entries;
};

int32_t MARLET_API TakeKeyword(const char *keyword, int32_t dataOffset, int32_t count, MarletUserData user) {
  reinterpret_cast<KeywordWalk *>(user)->entries.push_back({keyword, {dataOffset, count}});
  return 1;
}

int32_t MARLET_API TakeFile(const char *name, int32_t, MarletUserData user) {
  reinterpret_cast<std::vector<std::string> *>(user)->push_back(name);
  return 1;
}

bool IsPictureName(std::string_view name, bool version30, unsigned *number) {
  if (!version30) {
    if (name.empty() || name.front() != '|') return false;
    name.remove_prefix(1);
  }
  if (name.size() < 3 || name.size() > 8 || name.substr(0, 2) != "bm") return false;
  unsigned n = 0;
  for (char c : name.substr(2)) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<unsigned>(c - '0');
  }
  *number = n;
  return true;
}

}  // namespace

std::string HelpFileKey(std::string_view name) {
  size_t slash = name.find_last_of("\\/:");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  return Lower(name);
}

HelpFile::Impl::~Impl() {
  HlpTopicClose(randomTopics);
  IFSClose(randomContainer);
  HlpTopicClose(topics);
  IFSClose(container);
}

TopicHandle HelpFile::Impl::RandomTopics() {
  if (randomTopics == nullptr && randomContainer == nullptr) {
    randomContainer = IFSOpen(path.c_str());
    if (randomContainer != nullptr) randomTopics = HlpTopicOpen(randomContainer, kStreamOptions);
  }
  return randomTopics;
}

const std::vector<ContextEntry> &HelpFile::Impl::Contexts() {
  if (!contexts) {
    contexts.emplace();
    HlpEnumContext(container, TakeContext, reinterpret_cast<MarletUserData>(&*contexts));
    std::sort(contexts->begin(), contexts->end(),
              [](const ContextEntry &a, const ContextEntry &b) { return a.hash < b.hash; });
    contextsByOffset = *contexts;
    std::stable_sort(contextsByOffset.begin(), contextsByOffset.end(),
                     [](const ContextEntry &a, const ContextEntry &b) { return a.offset < b.offset; });
  }
  return *contexts;
}

const std::vector<TopicOffset> &HelpFile::Impl::TopicMap() {
  if (!topicMap) {
    topicMap.emplace();
    if (std::optional<std::vector<uint8_t>> bytes = ReadInternal(container, "|TOMAP", kLargestSmallFile)) {
      topicMap->reserve(bytes->size() / 4);
      for (size_t at = 0; at + 4 <= bytes->size(); at += 4) topicMap->push_back(U32(bytes->data() + at));
    }
  }
  return *topicMap;
}

std::string HelpFile::Impl::ContextString(uint32_t hash) {
  auto found = contextStrings.find(hash);
  if (found != contextStrings.end()) return found->second;
  char buffer[64] = {};
  HlpCreateStringForHashValue(static_cast<ContextHash>(hash), buffer);
  buffer[sizeof buffer - 1] = '\0';
  return contextStrings.emplace(hash, buffer).first->second;
}

std::vector<uint32_t> HelpFile::Impl::HashesAt(TopicOffset offset) {
  Contexts();
  std::vector<uint32_t> hashes;
  auto it = std::lower_bound(contextsByOffset.begin(), contextsByOffset.end(), offset,
                             [](const ContextEntry &e, TopicOffset v) { return e.offset < v; });
  for (; it != contextsByOffset.end() && it->offset == offset; ++it) hashes.push_back(it->hash);
  std::sort(hashes.begin(), hashes.end());
  return hashes;
}

std::vector<ContextEntry> HelpFile::Impl::ContextsBetween(TopicOffset low, TopicOffset high) {
  Contexts();
  std::vector<ContextEntry> found;
  auto it = std::upper_bound(contextsByOffset.begin(), contextsByOffset.end(), low,
                             [](TopicOffset v, const ContextEntry &e) { return v < e.offset; });
  for (; it != contextsByOffset.end() && it->offset < high; ++it) found.push_back(*it);
  return found;
}

TopicOffset HelpFile::Impl::Resolve(uint32_t hash) {
  if (info.Version30()) {
    const std::vector<TopicOffset> &map = TopicMap();
    return hash < map.size() && map[hash] != 0 ? map[hash] : kNoTopic;
  }
  const std::vector<ContextEntry> &all = Contexts();
  auto it = std::lower_bound(all.begin(), all.end(), hash, [](const ContextEntry &e, uint32_t v) { return e.hash < v; });
  return it != all.end() && it->hash == hash ? it->offset : kNoTopic;
}

uint32_t HelpFile::Impl::TopicNumberOf(TopicOffset offset) {
  if (!topicNumbers) {
    topicNumbers.emplace();
    const std::vector<TopicOffset> &map = TopicMap();
    for (size_t i = 0; i < map.size(); ++i)
      if (map[i] != 0) topicNumbers->emplace(map[i], static_cast<uint32_t>(i));
  }
  auto found = topicNumbers->find(offset);
  return found == topicNumbers->end() ? 0xFFFFFFFFu : found->second;
}

void HelpFile::Impl::ResolveLink(Link &link) {
  if (link.kind != LinkKind::Macro) {
    if (link.file.empty() && link.target == kNoTopic) link.target = Resolve(link.hash);
    return;
  }
  MacroMeaning meaning = InterpretMacro(link.macro);
  link.action = meaning.action;
  if (meaning.action == MacroAction::None) return;
  if (!meaning.file.empty() && HelpFileKey(meaning.file) != key) link.file = meaning.file;
  link.window = meaning.window;
  switch (meaning.action) {
    case MacroAction::Jump:
    case MacroAction::Popup:
      if (meaning.contextNumber >= 0) {
        if (link.file.empty()) {
          if (!contextMap) {
            contextMap.emplace();
            if (auto bytes = ReadInternal(container, "|CTXOMAP", kLargestSmallFile); bytes && bytes->size() >= 2) {
              size_t count = std::min<size_t>(U16(bytes->data()), (bytes->size() - 2) / 8);
              for (size_t i = 0; i < count; ++i)
                contextMap->push_back({U32(bytes->data() + 2 + 8 * i), U32(bytes->data() + 6 + 8 * i)});
            }
          }
          for (const auto &[number, offset] : *contextMap)
            if (number == static_cast<uint32_t>(meaning.contextNumber)) link.target = offset;
        }
      } else {
        link.context = meaning.context;
        link.hash = static_cast<uint32_t>(HlpGenerateHashValue(meaning.context.c_str()));
        if (link.file.empty()) link.target = Resolve(link.hash);
      }
      break;
    case MacroAction::Keyword:
      link.keyword = meaning.keyword;
      link.keywordList = meaning.list;
      break;
    case MacroAction::Url:
      link.url = meaning.url;
      break;
    default:
      break;
  }
}

// ---- HelpFile ------------------------------------------------------------------------

HelpFile::HelpFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
HelpFile::~HelpFile() = default;

std::unique_ptr<HelpFile> HelpFile::Open(const std::string &path, std::string *why, OpenOptions options) {
  auto fail = [&](const char *reason) -> std::unique_ptr<HelpFile> {
    if (why) *why = reason;
    return nullptr;
  };
  auto impl = std::make_unique<Impl>();
  impl->container = IFSOpen(path.c_str());
  if (impl->container == nullptr) return fail("not a help file, or it cannot be read");
  HelpTitleInfo *title = HlpGetHelpTitle(impl->container);
  if (title == nullptr) return fail("no |SYSTEM: a help container without help file information");
  impl->topics = HlpTopicOpen(impl->container, kStreamOptions);
  if (impl->topics == nullptr) {
    HlpFreeHelpTitle(title);
    return fail("no topics: the help file has no |TOPIC");
  }
  FileInfo &info = impl->info;
  info.path = path;
  impl->path = path;
  info.minorVersion = title->minorVersion;
  info.flags = title->flags;
  text::SystemRecords records = text::ReadSystemRecords(impl->container);
  info.language = records.language;
  info.contentsTopic = records.contents;
  info.contentsFile = records.contentsFile;
  impl->options = std::move(options);
  impl->key = HelpFileKey(impl->options.name.empty() ? path : impl->options.name);

  // The code page, from |SYSTEM and the fonts' character sets, which the
  // stream's header (event 6) names.
  FontsFromHeader fonts{&impl->codePage, {}};
  HlpTopicEnumerate(impl->topics, TakeFonts, reinterpret_cast<MarletUserData>(&fonts));
  std::vector<int> charsets;
  for (const Font &font : fonts.fonts) charsets.push_back(font.charset);
  impl->codePage = CodePage(text::ChooseCodePage(records, charsets));
  // Face names are ASCII in practice; read again in the code page chosen.
  fonts.fonts.clear();
  HlpTopicEnumerate(impl->topics, TakeFonts, reinterpret_cast<MarletUserData>(&fonts));
  info.fonts = std::move(fonts.fonts);
  info.codePage = impl->codePage.number();
  for (const Font &font : info.fonts) {
    std::optional<CodePage> symbols;
    if (impl->options.symbolFonts) symbols = CodePage::ForSymbolFont(font.face);
    int page = CodePageOfCharset(font.charset);
    if (symbols)
      impl->fontPages.push_back(std::make_unique<CodePage>(std::move(*symbols)));
    else
      impl->fontPages.push_back(page != 0 && page != info.codePage ? std::make_unique<CodePage>(page) : nullptr);
  }

  const CodePage &page = impl->codePage;
  if (title->title) info.title = page.ToUtf8(title->title);
  if (title->copyright) info.copyright = page.ToUtf8(title->copyright);
  if (title->citation) info.citation = page.ToUtf8(title->citation);
  HlpFreeHelpTitle(title);
  for (text::WindowRecord &w : records.windows) {
    Window window;
    window.type = page.ToUtf8(w.type);
    window.name = page.ToUtf8(w.name);
    window.caption = page.ToUtf8(w.caption);
    window.x = w.x, window.y = w.y, window.width = w.width, window.height = w.height;
    window.maximized = w.maximized;
    window.background = w.background;
    window.nonScrollingBackground = w.nonScrollingBackground;
    info.windows.push_back(std::move(window));
  }
  for (const std::string &macro : records.macros) info.startupMacros.push_back(page.ToUtf8(macro));
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    std::string tree = std::string("|") + letter + "WBTREE", data = std::string("|") + letter + "WDATA";
    IfsFileHandle a = IFSOpenFile(impl->container, tree.c_str()), b = IFSOpenFile(impl->container, data.c_str());
    if (a && b) info.keywordLists.push_back(std::string(1, letter));
    IFSCloseFile(a);
    IFSCloseFile(b);
  }
  return std::unique_ptr<HelpFile>(new HelpFile(std::move(impl)));
}

const FileInfo &HelpFile::info() const { return impl_->info; }
const CodePage &HelpFile::codePage() const { return impl_->codePage; }

ReadReport HelpFile::ReadAll(const std::function<bool(Topic &)> &each) {
  Assembler assembler(*impl_, Assembler::Mode::Whole);
  assembler.set_each(&each);
  HlpTopicSeek(impl_->topics, FirstTopic());
  HlpTopicEnumerate(impl_->topics, Assembler::Callback, reinterpret_cast<MarletUserData>(&assembler));
  if (!assembler.stopped()) assembler.Finish();
  ReadReport report;
  report.topics = assembler.delivered();
  if (!assembler.stopped()) {
    // The stream ends at the last record or where damage stops it; the title
    // index tells how many topics there were to be.
    const std::vector<TopicOffset> &starts = TopicStarts();
    report.endedEarly = report.topics < starts.size();
  }
  return report;
}

TopicOffset HelpFile::FirstTopic() {
  // In a 3.0 file the first record lies behind the first block's header; the
  // seek walks from the block's first record in either format.
  return impl_->info.Version30() ? 12 : 0;
}

std::optional<Topic> HelpFile::ReadTopicAt(TopicOffset offset, TopicOffset *next) {
  if (next) *next = kNoTopic;
  TopicHandle topics = impl_->RandomTopics();
  if (topics == nullptr) return std::nullopt;
  Assembler assembler(*impl_, Assembler::Mode::Single);
  HlpTopicSeek(topics, offset);
  HlpTopicEnumerate(topics, Assembler::Callback, reinterpret_cast<MarletUserData>(&assembler));
  if (!assembler.startedWithHeader()) return std::nullopt;
  assembler.Finish();
  std::optional<Topic> &topic = assembler.single();
  if (!topic || topic->offset != offset) return std::nullopt;
  if (next) *next = assembler.next();
  return std::move(topic);
}

std::optional<Topic> HelpFile::ReadTopic(TopicOffset offset) {
  if (std::optional<Topic> topic = ReadTopicAt(offset)) return topic;
  TopicOffset start = TopicStartOf(offset);
  if (start == kNoTopic || start == offset) return std::nullopt;
  return ReadTopicAt(start);
}

const std::vector<TitleEntry> &HelpFile::Titles() {
  if (!impl_->titles) {
    std::vector<TitleEntry> titles;
    HlpEnumTitles(impl_->container, TakeTitle, reinterpret_cast<MarletUserData>(&titles));
    for (TitleEntry &entry : titles) entry.title = impl_->codePage.ToUtf8(entry.title);
    impl_->titles = std::move(titles);
  }
  return *impl_->titles;
}

const std::vector<ContextEntry> &HelpFile::Contexts() { return impl_->Contexts(); }
std::vector<uint32_t> HelpFile::HashesAt(TopicOffset offset) { return impl_->HashesAt(offset); }
std::string HelpFile::ContextString(uint32_t hash) { return impl_->ContextString(hash); }
TopicOffset HelpFile::Resolve(uint32_t hash) { return impl_->Resolve(hash); }

TopicOffset HelpFile::Find(std::string_view contextString) {
  std::string s(contextString);
  if (impl_->info.Version30()) return kNoTopic;  // 3.0 files keep no context strings
  return impl_->Resolve(static_cast<uint32_t>(HlpGenerateHashValue(s.c_str())));
}

TopicOffset HelpFile::ResolveContextNumber(long number) {
  Link link;
  link.kind = LinkKind::Macro;
  link.macro = "JumpContext(`'," + std::to_string(number) + ")";
  impl_->ResolveLink(link);
  return link.target;
}

Link HelpFile::HotspotLink(LinkKind kind, std::string_view target) {
  Link link;
  link.kind = kind;
  if (kind == LinkKind::Macro) {
    link.macro = std::string(target);
    impl_->ResolveLink(link);
    return link;
  }
  size_t window = target.find('>');
  if (window != std::string_view::npos) {
    link.window = std::string(target.substr(window + 1));
    target = target.substr(0, window);
  }
  size_t at = target.find('@');
  if (at != std::string_view::npos) {
    if (!IsThisFile(target.substr(at + 1))) link.file = std::string(target.substr(at + 1));
    target = target.substr(0, at);
  }
  link.context = std::string(target);
  if (!link.context.empty()) {
    link.hash = static_cast<uint32_t>(HlpGenerateHashValue(link.context.c_str()));
    impl_->ResolveLink(link);
  }
  return link;
}

const std::vector<TopicOffset> &HelpFile::TopicStarts() {
  if (!impl_->starts) {
    std::vector<TopicOffset> starts;
    for (const TitleEntry &entry : Titles()) starts.push_back(entry.offset);
    if (impl_->info.Version30())
      for (TopicOffset offset : impl_->TopicMap())
        if (offset != 0) starts.push_back(offset);
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    impl_->starts = std::move(starts);
  }
  return *impl_->starts;
}

TopicOffset HelpFile::TopicStartOf(TopicOffset offset) {
  const std::vector<TopicOffset> &starts = TopicStarts();
  auto it = std::upper_bound(starts.begin(), starts.end(), offset);
  return it == starts.begin() ? kNoTopic : *(it - 1);
}

uint32_t HelpFile::TopicNumber(TopicOffset start) { return impl_->TopicNumberOf(start); }

std::vector<KeywordEntry> HelpFile::Keywords(std::string_view list) {
  std::vector<KeywordEntry> keywords;
  if (list.empty() || list.size() > 2) return keywords;
  std::string tree = "|" + std::string(list) + "WBTREE", dataName = "|" + std::string(list) + "WDATA";
  KeywordWalk walk;
  HlpEnumKeyWords(impl_->container, TakeKeyword, "", tree.c_str(), reinterpret_cast<MarletUserData>(&walk));
  std::optional<std::vector<uint8_t>> data = ReadInternal(impl_->container, dataName.c_str(), kLargestSmallFile);
  for (auto &[keyword, place] : walk.entries) {
    KeywordEntry entry;
    entry.keyword = impl_->codePage.ToUtf8(keyword);
    if (data && place.first >= 0 && place.second > 0) {
      size_t at = static_cast<size_t>(place.first);
      for (int32_t i = 0; i < place.second && at + 4 <= data->size(); ++i, at += 4)
        entry.topics.push_back(U32(data->data() + at));
    }
    keywords.push_back(std::move(entry));
  }
  return keywords;
}

std::vector<InternalFile> HelpFile::Files() {
  std::vector<std::string> names;
  IFSEnumerateFiles(impl_->container, TakeFile, reinterpret_cast<MarletUserData>(&names));
  std::vector<InternalFile> files;
  for (const std::string &name : names) {
    InternalFile entry{name, 0};
    if (IfsFileHandle file = IFSOpenFile(impl_->container, name.c_str())) {
      entry.size = IFSSeekFile(file, 0, 2);
      IFSCloseFile(file);
    }
    files.push_back(std::move(entry));
  }
  return files;
}

std::optional<std::vector<uint8_t>> HelpFile::Read(std::string_view name) {
  return ReadInternal(impl_->container, std::string(name).c_str(), 0x7FFFFFFF);
}

std::vector<std::string> HelpFile::PictureNames() {
  std::vector<std::string> names;
  IFSEnumerateFiles(impl_->container, TakeFile, reinterpret_cast<MarletUserData>(&names));
  std::vector<std::pair<unsigned, std::string>> pictures;
  for (std::string &name : names) {
    unsigned number = 0;
    if (IsPictureName(name, impl_->info.Version30(), &number)) pictures.push_back({number, std::move(name)});
  }
  std::sort(pictures.begin(), pictures.end());
  names.clear();
  for (auto &picture : pictures) names.push_back(std::move(picture.second));
  return names;
}

std::optional<Contents> HelpFile::ContentsFile() {
  std::vector<std::string> candidates;
  if (!impl_->info.contentsFile.empty()) candidates.push_back(impl_->info.contentsFile);
  std::string base = impl_->options.name.empty() ? impl_->info.path : impl_->options.name;
  size_t slash = base.find_last_of("\\/");
  if (slash != std::string::npos) base.erase(0, slash + 1);
  size_t dot = base.rfind('.');
  if (dot != std::string::npos) base.erase(dot);
  candidates.push_back(base + ".cnt");
  for (const std::string &name : candidates) {
    std::optional<std::string> bytes = impl_->options.companion ? impl_->options.companion(name)
                                                                : CompanionInFolder(impl_->info.path, name);
    if (bytes) return ParseContents(*bytes, impl_->codePage);
  }
  return std::nullopt;
}

bool HelpFile::IsThisFile(std::string_view name) const { return HelpFileKey(name) == impl_->key; }

}  // namespace quillon::document
