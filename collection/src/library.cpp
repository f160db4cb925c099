// Converting help files into the library's sites, the stamps that let a
// second run keep them, and the library's own two files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <archive.h>
#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>

#include "expand.h"
#include "quillon/collection/library.h"
#include "quillon/html/escape.h"
#include "quillon/html/output_folder.h"
#include "quillon/html/site.h"
#include "shared.h"

namespace quillon::collection {

using nlohmann::json;

namespace {

// What a stamp must say for a site to be kept: raise it when the sites this
// code writes change.
constexpr int kStampFormat = 1;
constexpr const char kStampName[] = "quillon-stamp.json";
constexpr size_t kStampBytes = 16u << 20;

std::string Dump(const json &value, int indent = -1) {
  return value.dump(indent, ' ', false, json::error_handler_t::replace);
}

json ConvertedJson(const Converted &c) {
  json out = {{"status", c.status},
              {"topics", c.topics},
              {"topicsExpected", c.topicsExpected},
              {"links", c.links},
              {"dangling", c.dangling},
              {"pictures", c.pictures},
              {"picturesFailed", c.picturesFailed},
              {"filesWritten", c.filesWritten},
              {"filesFailed", c.filesFailed},
              {"endedEarly", c.endedEarly}};
  if (!c.why.empty()) out["why"] = c.why;
  return out;
}

std::optional<Converted> ConvertedFrom(const json &in) {
  try {
    Converted c;
    c.status = in.at("status").get<std::string>();
    c.topics = in.at("topics").get<size_t>();
    c.topicsExpected = in.at("topicsExpected").get<size_t>();
    c.links = in.at("links").get<size_t>();
    c.dangling = in.at("dangling").get<size_t>();
    c.pictures = in.at("pictures").get<size_t>();
    c.picturesFailed = in.at("picturesFailed").get<size_t>();
    c.filesWritten = in.at("filesWritten").get<size_t>();
    c.filesFailed = in.at("filesFailed").get<size_t>();
    c.endedEarly = in.at("endedEarly").get<bool>();
    if (in.contains("why")) c.why = in.at("why").get<std::string>();
    return c;
  } catch (const std::exception &) {
    return std::nullopt;
  }
}

// ---- The site folder, by descriptors that never follow a link ----------------------------------

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor &) = delete;
  Descriptor &operator=(const Descriptor &) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

int OpenFolderAt(int parent, const char *name) {
  return ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The regular files directly in a folder.
std::vector<std::string> FilesIn(int folder) {
  std::vector<std::string> names;
  int copy = ::dup(folder);
  if (copy < 0) return names;
  DIR *dir = ::fdopendir(copy);
  if (dir == nullptr) {
    ::close(copy);
    return names;
  }
  ::rewinddir(dir);
  while (struct dirent *entry = ::readdir(dir)) {
    struct stat info;
    if (::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(info.st_mode))
      names.push_back(entry->d_name);
  }
  ::closedir(dir);
  return names;
}

// Files in the site and in its pictures folder (links count: they are in the
// way and get removed).
size_t CountSiteFiles(int site) {
  size_t count = 0;
  for (const std::string &name : FilesIn(site))
    if (name != kStampName) ++count;
  Descriptor pictures(OpenFolderAt(site, "pictures"));
  if (pictures.ok()) count += FilesIn(pictures.get()).size();
  return count;
}

// An earlier site's files go, so that pages of a different help file of the
// same site name do not stay among the new ones.  Only names in the folder
// itself and in pictures/ are removed; links are removed, never followed.
void ClearSite(int site) {
  ::unlinkat(site, kStampName, 0);
  for (const std::string &name : FilesIn(site)) ::unlinkat(site, name.c_str(), 0);
  Descriptor pictures(OpenFolderAt(site, "pictures"));
  if (pictures.ok())
    for (const std::string &name : FilesIn(pictures.get())) ::unlinkat(pictures.get(), name.c_str(), 0);
}

std::optional<std::string> ReadSmallFile(int folder, const char *name, size_t limit) {
  Descriptor fd(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.ok()) return std::nullopt;
  std::string out;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    out.append(buffer, static_cast<size_t>(n));
    if (out.size() > limit) return std::nullopt;
  }
  return out;
}

// What a site's links into other help files depend on: for each key its
// jumps named, the site chosen and that file's reachable contexts.
std::string LinkState(const Catalogue &catalogue, size_t help, const std::string &key) {
  int target = catalogue.Target(help, key);
  if (target < 0) return "";
  const std::vector<uint32_t> &contexts = catalogue.helps[target].contexts;
  std::string bytes(reinterpret_cast<const char *>(contexts.data()), contexts.size() * sizeof(uint32_t));
  return catalogue.helps[target].site + ":" + Sha256(bytes);
}

std::string CompanionState(const Catalogue &catalogue, size_t help, const std::string &name) {
  std::optional<std::string> bytes = catalogue.Companion(help, name);
  return bytes ? Sha256(*bytes) : "";
}

}  // namespace

std::string Converted::ToJson() const { return Dump(ConvertedJson(*this)); }

std::optional<Converted> Converted::FromJson(std::string_view text) {
  try {
    return ConvertedFrom(json::parse(text));
  } catch (const std::exception &) {
    return std::nullopt;
  }
}

// ---- One help file ------------------------------------------------------------------------------

std::optional<Converted> KeptSite(const Catalogue &catalogue, size_t help, const std::string &outDir) {
  if (help >= catalogue.helps.size()) return std::nullopt;
  const HelpEntry &entry = catalogue.helps[help];
  Descriptor out(::open(outDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!out.ok()) return std::nullopt;
  Descriptor site(OpenFolderAt(out.get(), entry.site.c_str()));
  if (!site.ok()) return std::nullopt;
  std::optional<std::string> text = ReadSmallFile(site.get(), kStampName, kStampBytes);
  if (!text) return std::nullopt;
  try {
    json stamp = json::parse(*text);
    if (stamp.at("format").get<int>() != kStampFormat || stamp.at("sha256").get<std::string>() != entry.sha256 ||
        stamp.at("site").get<std::string>() != entry.site || stamp.at("name").get<std::string>() != entry.name)
      return std::nullopt;
    for (const auto &[key, state] : stamp.at("links").items())
      if (LinkState(catalogue, help, key) != state.get<std::string>()) return std::nullopt;
    for (const auto &[name, state] : stamp.at("companions").items())
      if (CompanionState(catalogue, help, name) != state.get<std::string>()) return std::nullopt;
    std::optional<Converted> kept = ConvertedFrom(stamp.at("result"));
    if (!kept || kept->status != "converted") return std::nullopt;
    if (CountSiteFiles(site.get()) != kept->filesWritten) return std::nullopt;
    kept->status = "unchanged";
    return kept;
  } catch (const std::exception &) {
    return std::nullopt;
  }
}

Converted ConvertHelpFile(const Catalogue &catalogue, size_t help, std::shared_ptr<const std::string> bytes,
                          const std::string &outDir, const std::function<void(size_t, size_t)> &progress) {
  Converted result;
  result.status = "failed";
  if (help >= catalogue.helps.size()) {
    result.why = "no such help file in the catalogue";
    return result;
  }
  const HelpEntry &entry = catalogue.helps[help];
  if (!bytes) {
    result.why = "changed since it was first read: not converted";
    return result;
  }
  ::mkdir(outDir.c_str(), 0777);
  Descriptor out(::open(outDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!out.ok()) {
    result.why = std::string("cannot open the output folder: ") + std::strerror(errno);
    return result;
  }
  if (::mkdirat(out.get(), entry.site.c_str(), 0777) != 0 && errno != EEXIST) {
    result.why = std::string("cannot make its site folder: ") + std::strerror(errno);
    return result;
  }
  {
    Descriptor site(OpenFolderAt(out.get(), entry.site.c_str()));
    if (!site.ok()) {
      result.why = "its site folder " + entry.site + " is not a folder (a link or a file is in the way)";
      return result;
    }
    ClearSite(site.get());
  }

  // What the site's links and contents depend on, for the stamp.  WriteSite
  // asks from its reading and its page thread.
  std::mutex asked;
  std::set<std::string> keys, companions;
  html::SiteOptions options;
  options.threads = 1;
  options.open.name = entry.name;
  options.open.companion = [&](std::string_view name) {
    {
      std::lock_guard lock(asked);
      companions.insert(Lower(name));
    }
    return catalogue.Companion(help, name);
  };
  options.externalHref = [&](std::string_view key, uint32_t hash) -> std::optional<std::string> {
    {
      std::lock_guard lock(asked);
      keys.insert(std::string(key));
    }
    return catalogue.ExternalHref(help, key, hash);
  };
  options.externalContents = [&](std::string_view key) -> std::optional<std::string> {
    {
      std::lock_guard lock(asked);
      keys.insert(std::string(key));
    }
    return catalogue.ExternalContents(help, key);
  };
  if (progress) options.progress = progress;

  html::SiteReport report;
  {
    MemoryPath path(bytes, entry.name);
    if (!path.ok()) {
      result.why = "cannot be read from memory";
      return result;
    }
    report = html::WriteSite(path.path(), outDir + "/" + entry.site, options);
  }
  if (!report.opened) {
    result.why = report.why;
    return result;
  }
  result.status = "converted";
  result.topics = report.topics;
  result.topicsExpected = report.topicsExpected;
  result.links = report.links;
  result.dangling = report.dangling;
  result.pictures = report.pictures;
  result.picturesFailed = report.picturesFailed;
  result.filesWritten = report.filesWritten;
  result.filesFailed = report.filesFailed;
  result.endedEarly = report.endedEarly;

  json stamp = {{"format", kStampFormat}, {"sha256", entry.sha256}, {"site", entry.site}, {"name", entry.name}};
  stamp["links"] = json::object();
  for (const std::string &key : keys) stamp["links"][key] = LinkState(catalogue, help, key);
  stamp["companions"] = json::object();
  for (const std::string &name : companions) stamp["companions"][name] = CompanionState(catalogue, help, name);
  stamp["result"] = ConvertedJson(result);
  html::OutputFolder site;
  std::string why;
  if (!site.Open(outDir + "/" + entry.site, &why) || !site.Write(kStampName, Dump(stamp, 1))) {
    // Without its stamp the site is simply made again next time.
  }
  return result;
}

// ---- The library's own files ----------------------------------------------------------------------

std::string ManifestJson(const Catalogue &catalogue, const std::vector<Converted> &results, const std::string &input) {
  json list = json::array();
  size_t converted = 0, unchanged = 0, failed = 0, topics = 0, others = 0, unread = 0;
  for (const InputRecord &record : catalogue.inputs) {
    json item = {{"origin", record.origin}, {"kind", record.kind}, {"size", record.size}};
    if (record.name != record.origin.substr(record.origin.rfind('/') + 1)) item["name"] = record.name;
    if (record.help >= 0 && static_cast<size_t>(record.help) < results.size()) {
      const HelpEntry &entry = catalogue.helps[record.help];
      const Converted &c = results[record.help];
      item["sha256"] = entry.sha256;
      item["site"] = entry.site + "/";
      item["title"] = entry.title;
      item["copyright"] = entry.copyright;
      if (!entry.companions.empty()) item["companions"] = entry.companions;
      item.update(ConvertedJson(c));
      item["lost"] = c.Lost();
      if (c.status == "converted") ++converted;
      if (c.status == "unchanged") ++unchanged;
      if (c.Lost()) ++failed;
      topics += c.topics;
    } else {
      if (!record.why.empty()) item["why"] = record.why;
      if (record.kind == "failed") ++unread;
      else ++others;
    }
    list.push_back(std::move(item));
  }
  json manifest = {{"format", 1},
                   {"input", input},
                   {"summary",
                    {{"inputs", catalogue.inputs.size()},
                     {"helpFiles", catalogue.helps.size()},
                     {"converted", converted},
                     {"unchanged", unchanged},
                     {"failed", failed},
                     {"unread", unread},
                     {"otherFiles", others},
                     {"topics", topics}}},
                   {"written", json::array({"index.html", "manifest.json"})},
                   {"inputs", std::move(list)}};
  for (size_t i = 0; i < catalogue.helps.size() && i < results.size(); ++i)
    if (results[i].status != "failed") manifest["written"].push_back(catalogue.helps[i].site + "/");
  return Dump(manifest, 1) + "\n";
}

std::string TopPage(const Catalogue &catalogue, const std::vector<Converted> &results) {
  using html::AppendAttribute;
  using html::AppendText;
  using html::AppendUrl;
  size_t topics = 0, failedInputs = 0, others = 0;
  for (size_t i = 0; i < results.size(); ++i) topics += results[i].topics;
  for (const InputRecord &record : catalogue.inputs) {
    if (record.kind == "failed" || (record.help >= 0 && static_cast<size_t>(record.help) < results.size() &&
                                    results[record.help].Lost()))
      ++failedInputs;
    if (record.kind == "other" || record.kind == "contents" || record.kind == "index") ++others;
  }
  std::string out =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><meta name=\"viewport\" content=\"width=device-width\">"
      "<title>Help library</title>\n<style>\n"
      "body{font-family:sans-serif;margin:1em 2em;color:#202020}\ntable{border-collapse:collapse;width:100%}\n"
      "th,td{text-align:left;vertical-align:top;padding:.3em .6em;border-bottom:1px solid #d0d0d0}\n"
      "th{background:#f0f0f0}\ntd.n{text-align:right}\n.origin{font-family:monospace;font-size:90%;color:#505050}\n"
      ".failed{color:#a00000}\n</style></head>\n<body>\n<h1>Help library</h1>\n<p>";
  out += std::to_string(catalogue.helps.size()) + " help files, " + std::to_string(topics) + " topics; " +
         std::to_string(failedInputs) + " not (fully) converted; " + std::to_string(others) +
         " other files. The list of every input is in <a href=\"manifest.json\">manifest.json</a>.</p>\n";
  out += "<table>\n<thead><tr><th>Title</th><th>Copyright</th><th>Found at</th><th>Topics</th></tr></thead>\n<tbody>\n";
  for (size_t i = 0; i < catalogue.helps.size(); ++i) {
    const HelpEntry &entry = catalogue.helps[i];
    const Converted *c = i < results.size() ? &results[i] : nullptr;
    bool written = c != nullptr && c->status != "failed";
    out += "<tr><td>";
    std::string title = entry.title.empty() ? entry.name : entry.title;
    if (written) {
      out += "<a href=\"";
      AppendUrl(out, entry.site + "/index.html");
      out += "\">";
      AppendText(out, title);
      out += "</a>";
    } else {
      out += "<span class=\"failed\">";
      AppendText(out, title);
      out += "</span>";
    }
    out += "</td><td>";
    AppendText(out, entry.copyright);
    out += "</td><td class=\"origin\">";
    AppendText(out, entry.origin);
    out += "</td><td class=\"n\">";
    out += c != nullptr ? std::to_string(c->topics) : "";
    if (c != nullptr && c->Lost()) {
      out += " <span class=\"failed\" title=\"";
      AppendAttribute(out, c->why.empty() ? "something of this help file did not reach its site" : c->why);
      out += "\">(incomplete)</span>";
    }
    out += "</td></tr>\n";
  }
  out += "</tbody></table>\n";
  std::string failures;
  for (const InputRecord &record : catalogue.inputs) {
    std::string why;
    if (record.kind == "failed") why = record.why;
    else if (record.help >= 0 && static_cast<size_t>(record.help) < results.size() &&
             results[record.help].status == "failed")
      why = results[record.help].why;
    if (why.empty()) continue;
    failures += "<li><span class=\"origin\">";
    AppendText(failures, record.origin);
    failures += "</span>: ";
    AppendText(failures, why);
    failures += "</li>\n";
  }
  if (!failures.empty()) out += "<h2>Not converted</h2>\n<ul class=\"failed\">\n" + failures + "</ul>\n";
  out += "</body></html>\n";
  return out;
}

bool WriteLibraryPages(const Catalogue &catalogue, const std::vector<Converted> &results, const std::string &input,
                       const std::string &outDir, std::string *why) {
  html::OutputFolder out;
  if (!out.Open(outDir, why)) return false;
  bool ok = out.Write("index.html", TopPage(catalogue, results));
  ok = out.Write("manifest.json", ManifestJson(catalogue, results, input)) && ok;
  if (!ok && why) *why = "cannot write the top page or the manifest in " + outDir;
  return ok;
}

bool IsCollection(const std::string &path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return false;
  if (S_ISDIR(info.st_mode)) return true;
  char head[8] = {};
  {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.ok() || ::read(fd.get(), head, sizeof head) < 4) return false;
  }
  std::string_view sniff(head, sizeof head);
  if (sniff.substr(0, 4) == std::string_view("\x3F\x5F\x03\x00", 4)) return false;  // a help file
  if (IsCompressed(sniff)) return true;
  return IsArchive(path);
}

}  // namespace quillon::collection
