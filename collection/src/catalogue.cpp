// The catalogue: the first walk's record of every input, site names, and the
// resolution of jumps between the help files of the collection.
#include <openssl/evp.h>
#include <quillon/platform.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <set>
#include <unordered_set>

#include "quillon/collection/library.h"
#include "quillon/document/help_file.h"
#include "quillon/html/escape.h"
#include "quillon/html/site.h"
#include "shared.h"

namespace quillon::collection {

using nlohmann::json;

namespace {

// Site names that the library's own files take.
const std::unordered_set<std::string> kReserved = {"index.html", "manifest.json"};

// Contents files are a few kilobytes of text; the catalogue keeps them.
constexpr size_t kContentsBytes = 4u << 20;

// Containers that the help viewer made or keeps beside a help file, in the
// same container format but without topics: the full-text index and its
// group file, the generated index, annotations, bookmarks.
bool IsViewerIndex(std::string_view name) {
  for (std::string_view ext : {".gid", ".fts", ".ftg", ".ann", ".bmk"})
    if (EndsWithNoCase(name, ext)) return true;
  return false;
}

size_t CommonComponents(std::string_view a, std::string_view b) {
  size_t common = 0, i = 0;
  for (;; ++i) {
    bool endA = i == a.size() || a[i] == '/', endB = i == b.size() || b[i] == '/';
    if (endA || endB) {
      if (endA && endB) ++common;
      if (endA != endB || i == a.size() || i == b.size()) break;
      continue;
    }
    if (a[i] != b[i]) break;
  }
  return common;
}

std::string ContentsKey(std::string_view folder, std::string_view name) {
  return std::string(folder) + "\n" + Lower(name);
}

}  // namespace

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char &c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool EndsWithNoCase(std::string_view name, std::string_view suffix) {
  return name.size() >= suffix.size() && Lower(name.substr(name.size() - suffix.size())) == Lower(suffix);
}

std::string Sha256(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) return "";
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (unsigned i = 0; i < length; ++i) {
    out += hex[digest[i] >> 4];
    out += hex[digest[i] & 15];
  }
  return out;
}

MemoryPath::MemoryPath(std::shared_ptr<const std::string> bytes, const std::string &name) {
  // The registration holds its own reference to the bytes until the last
  // file opened on them is closed.
  auto *held = new std::shared_ptr<const std::string>(std::move(bytes));
  char path[512];
  auto release = [](void *context) { delete static_cast<std::shared_ptr<const std::string> *>(context); };
  if (QuillonRegisterMemoryFile((*held)->data(), (*held)->size(), name.c_str(), release, held, path, sizeof path))
    path_ = path;
  else if (QuillonRegisterMemoryFile((*held)->data(), (*held)->size(), "help", release, held, path, sizeof path))
    path_ = path;  // a name too long for the path
  else
    delete held;
}

MemoryPath::~MemoryPath() {
  if (!path_.empty()) QuillonUnregisterMemoryFile(path_.c_str());
}

// ---- Building -----------------------------------------------------------------------------

void Catalogue::Add(Input &&input) {
  InputRecord record;
  record.origin = input.origin;
  record.name = input.name;
  record.size = input.size;
  record.why = input.why;
  switch (input.kind) {
    case Input::Kind::Failed: record.kind = "failed"; break;
    case Input::Kind::Other: record.kind = "other"; break;
    case Input::Kind::Contents:
      if (input.bytes->size() > kContentsBytes) {
        record.kind = "other";
        record.why = "named like a contents file, but larger than any (" + std::to_string(input.bytes->size()) + " bytes)";
        break;
      }
      record.kind = "contents";
      contents_.emplace(ContentsKey(input.folder, input.name), *input.bytes);  // the first of a name wins
      break;
    case Input::Kind::Container: {
      HelpEntry entry;
      entry.origin = input.origin;
      entry.folder = input.folder;
      entry.name = input.name;
      entry.size = input.bytes->size();
      entry.sha256 = Sha256(*input.bytes);
      entry.key = document::HelpFileKey(input.name);
      MemoryPath path(input.bytes, input.name);
      std::string why = "cannot be read into memory";
      document::OpenOptions options;
      options.name = input.name;
      options.companion = [](std::string_view) { return std::nullopt; };
      std::unique_ptr<document::HelpFile> file = path.ok() ? document::HelpFile::Open(path.path(), &why, options) : nullptr;
      if (file == nullptr) {
        // A container without |SYSTEM is what the viewer keeps beside a help
        // file (its index, annotations ...) when its name says so.
        bool noSystem = why.find("no |SYSTEM") != std::string::npos;
        record.kind = noSystem && IsViewerIndex(input.name) ? "index" : "failed";
        record.why = record.kind == "index" ? "the help viewer's own file beside a help file: nothing to convert" : why;
        break;
      }
      entry.title = file->info().title;
      entry.copyright = file->info().copyright;
      entry.contexts = html::ReachableContexts(*file);
      entry.input = inputs.size();
      record.kind = "help";
      record.help = static_cast<int>(helps.size());
      helps.push_back(std::move(entry));
      break;
    }
  }
  inputs.push_back(std::move(record));
}

void Catalogue::Finish() {
  // Site names in walk order: the first of a name gets it plain.
  std::set<std::string> taken(kReserved.begin(), kReserved.end());
  byKey_.clear();
  for (size_t i = 0; i < helps.size(); ++i) {
    HelpEntry &entry = helps[i];
    std::string base = html::SafeName(entry.key);
    if (base.size() > 56) base.resize(56);  // room for "-NNNNNN" within SafeName's 64
    std::string site = base;
    for (int n = 2; taken.count(site); ++n) site = base + "-" + std::to_string(n);
    taken.insert(site);
    entry.site = site;
    byKey_.emplace(entry.key, i);
  }
  // Companions: a .CNT or viewer file beside the help file, of its base name
  // or (.CNT) the name its |SYSTEM gives.
  std::map<std::string, std::vector<std::string>> beside;  // folder "\n" key -> companions' origins
  for (const InputRecord &record : inputs) {
    if (record.kind != "contents" && record.kind != "index") continue;
    size_t slash = record.origin.rfind('/');
    std::string folder = slash == std::string::npos ? "" : record.origin.substr(0, slash);
    beside[folder + "\n" + document::HelpFileKey(record.name)].push_back(record.origin);
  }
  for (HelpEntry &entry : helps) {
    auto found = beside.find(entry.folder + "\n" + entry.key);
    entry.companions = found == beside.end() ? std::vector<std::string>{} : found->second;
  }
}

// ---- Jumps between help files --------------------------------------------------------------

int Catalogue::Target(size_t from, std::string_view key) const {
  auto [first, last] = byKey_.equal_range(std::string(key));
  int best = -1;
  size_t bestCommon = 0;
  for (auto it = first; it != last; ++it) {
    size_t candidate = it->second;
    size_t common = helps[candidate].folder == helps[from].folder
                        ? SIZE_MAX
                        : CommonComponents(helps[candidate].folder, helps[from].folder);
    if (best < 0 || common > bestCommon || (common == bestCommon && candidate < static_cast<size_t>(best))) {
      best = static_cast<int>(candidate);
      bestCommon = common;
    }
  }
  return best;
}

std::string Catalogue::ExternalHref(size_t from, std::string_view key, uint32_t hash) const {
  int target = Target(from, key);
  if (target < 0) return "";
  const std::vector<uint32_t> &contexts = helps[target].contexts;
  if (!std::binary_search(contexts.begin(), contexts.end(), hash)) return "";
  return "../" + helps[target].site + "/" + html::ContextPageName(hash) + ".html";
}

std::string Catalogue::ExternalContents(size_t from, std::string_view key) const {
  int target = Target(from, key);
  return target < 0 ? "" : "../" + helps[target].site + "/index.html";
}

std::optional<std::string> Catalogue::Companion(size_t help, std::string_view name) const {
  size_t slash = name.find_last_of("/\\");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  auto found = contents_.find(ContentsKey(helps[help].folder, name));
  if (found == contents_.end()) return std::nullopt;
  return found->second;
}

// ---- To workers and back ---------------------------------------------------------------------

namespace {

// Text from the walk is valid UTF-8 (PrintablePath); text from help files
// and companions may not be: it travels as it is, bytes replaced only where
// JSON cannot hold them.
std::string Dump(const json &value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

// Contents files are bytes of a code page, not UTF-8: they travel as hex.
std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::optional<std::string> Unhex(std::string_view hex) {
  if (hex.size() % 2) return std::nullopt;
  std::string out;
  out.reserve(hex.size() / 2);
  auto value = [](char c) -> int {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
  };
  for (size_t i = 0; i < hex.size(); i += 2) {
    int high = value(hex[i]), low = value(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
  }
  return out;
}

}  // namespace

std::string Catalogue::ToJson() const {
  json out = json::object();
  json &in = out["inputs"] = json::array();
  for (const InputRecord &r : inputs)
    in.push_back({{"origin", r.origin}, {"name", r.name}, {"kind", r.kind}, {"why", r.why}, {"size", r.size},
                  {"help", r.help}});
  json &h = out["helps"] = json::array();
  for (const HelpEntry &e : helps)
    h.push_back({{"origin", e.origin},   {"folder", e.folder},       {"name", e.name},
                 {"key", e.key},         {"site", e.site},           {"sha256", e.sha256},
                 {"size", e.size},       {"title", e.title},         {"copyright", e.copyright},
                 {"contexts", e.contexts}, {"companions", e.companions}, {"input", e.input}});
  json &c = out["contents"] = json::object();
  for (const auto &[key, bytes] : contents_) c[key] = Hex(bytes);
  return Dump(out);
}

std::optional<Catalogue> Catalogue::FromJson(std::string_view text) {
  try {
    json in = json::parse(text);
    Catalogue catalogue;
    for (const json &r : in.at("inputs")) {
      InputRecord record;
      record.origin = r.at("origin").get<std::string>();
      record.name = r.at("name").get<std::string>();
      record.kind = r.at("kind").get<std::string>();
      record.why = r.at("why").get<std::string>();
      record.size = r.at("size").get<uint64_t>();
      record.help = r.at("help").get<int>();
      catalogue.inputs.push_back(std::move(record));
    }
    for (const json &e : in.at("helps")) {
      HelpEntry entry;
      entry.origin = e.at("origin").get<std::string>();
      entry.folder = e.at("folder").get<std::string>();
      entry.name = e.at("name").get<std::string>();
      entry.key = e.at("key").get<std::string>();
      entry.site = e.at("site").get<std::string>();
      entry.sha256 = e.at("sha256").get<std::string>();
      entry.size = e.at("size").get<uint64_t>();
      entry.title = e.at("title").get<std::string>();
      entry.copyright = e.at("copyright").get<std::string>();
      entry.contexts = e.at("contexts").get<std::vector<uint32_t>>();
      std::sort(entry.contexts.begin(), entry.contexts.end());  // looked up by binary search
      entry.companions = e.at("companions").get<std::vector<std::string>>();
      entry.input = e.at("input").get<size_t>();
      if (entry.site != html::SafeName(entry.site) || kReserved.count(entry.site)) return std::nullopt;
      if (entry.input >= catalogue.inputs.size()) return std::nullopt;
      catalogue.helps.push_back(std::move(entry));
    }
    for (const auto &[key, hex] : in.at("contents").items()) {
      std::optional<std::string> bytes = Unhex(hex.get<std::string>());
      if (!bytes) return std::nullopt;
      catalogue.contents_.emplace(key, std::move(*bytes));
    }
    for (const InputRecord &record : catalogue.inputs)
      if (record.help >= static_cast<int>(catalogue.helps.size())) return std::nullopt;
    for (size_t i = 0; i < catalogue.helps.size(); ++i) catalogue.byKey_.emplace(catalogue.helps[i].key, i);
    return catalogue;
  } catch (const std::exception &) {
    return std::nullopt;
  }
}

// ---- The first walk -----------------------------------------------------------------------------

std::optional<Catalogue> Scan(const std::string &input, const Limits &limits, std::string *why,
                              const ScanProgress &progress) {
  Catalogue catalogue;
  bool read = ReadInputs(
      input, limits,
      [&](Input &&found) {
        catalogue.Add(std::move(found));
        if (progress) progress(catalogue.inputs.size(), catalogue.helps.size());
        return true;
      },
      why);
  if (!read) return std::nullopt;
  catalogue.Finish();
  return catalogue;
}

void ReadHelpFiles(const Catalogue &catalogue, const std::string &input, const Limits &limits,
                   const std::function<bool(size_t help)> &wanted,
                   const std::function<bool(size_t help, std::shared_ptr<const std::string> bytes)> &each) {
  size_t at = 0;  // inputs come in the same order as on the first walk
  ReadInputs(input, limits, [&](Input &&found) {
    size_t index = at++;
    if (index >= catalogue.inputs.size()) return false;
    const InputRecord &record = catalogue.inputs[index];
    if (record.help < 0) return true;
    size_t help = static_cast<size_t>(record.help);
    if (!wanted(help)) return true;
    bool same = found.kind == Input::Kind::Container && found.origin == record.origin && found.bytes &&
                Sha256(*found.bytes) == catalogue.helps[help].sha256;
    return each(help, same ? std::move(found.bytes) : nullptr);
  });
}

}  // namespace quillon::collection
