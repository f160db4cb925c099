#include "support/link_check.h"

#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace fixture {
namespace {

std::string ReadWhole(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool StartsWith(const std::string &s, const char *prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

std::vector<Tag> Tags(const std::string &page) {
  std::vector<Tag> tags;
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  for (size_t at = page.find('<'); at != std::string::npos; at = page.find('<', at + 1)) {
    size_t p = at + 1;
    if (p >= page.size() || !letter(page[p])) continue;
    Tag tag;
    while (p < page.size() && (letter(page[p]) || std::isdigit(static_cast<unsigned char>(page[p])))) tag.name += page[p++];
    while (p < page.size() && page[p] != '>') {
      if (std::isspace(static_cast<unsigned char>(page[p])) || page[p] == '/') {
        ++p;
        continue;
      }
      std::string name, value;
      while (p < page.size() && (letter(page[p]) || page[p] == '-')) name += page[p++];
      if (name.empty()) {
        ++p;  // a byte no attribute begins with: the tests see the name it makes
        name = "?";
      }
      if (p < page.size() && page[p] == '=') {
        ++p;
        if (p < page.size() && page[p] == '"') {
          size_t end = page.find('"', p + 1);
          value = page.substr(p + 1, end == std::string::npos ? std::string::npos : end - p - 1);
          p = end == std::string::npos ? page.size() : end + 1;
        } else {
          while (p < page.size() && !std::isspace(static_cast<unsigned char>(page[p])) && page[p] != '>') value += page[p++];
        }
      }
      tag.attributes.push_back({name, value});
    }
    tags.push_back(std::move(tag));
  }
  return tags;
}

LinkCheck CheckLinks(const fs::path &root, const LinkCheckOptions &options) {
  LinkCheck check;
  std::map<std::string, std::set<std::string>> ids;  // page -> ids and map names
  std::map<std::string, std::vector<Tag>> pages;
  for (const auto &entry : fs::recursive_directory_iterator(root)) {
    if (entry.path().extension() != ".html") continue;
    std::string relative = fs::relative(entry.path(), root).string();
    std::vector<Tag> tags = Tags(ReadWhole(entry.path()));
    for (const Tag &tag : tags)
      for (const auto &[name, value] : tag.attributes)
        if (name == "id" || (name == "name" && tag.name == "map")) ids[relative].insert(value);
    pages[relative] = std::move(tags);
  }
  auto siteOf = [](const std::string &path) { return path.substr(0, path.find('/')); };
  for (const auto &[name, tags] : pages) {
    ++check.pages;
    for (const Tag &tag : tags) {
      for (auto [kind, value] : tag.attributes) {
        if (kind == "content" && tag.name == "meta") {
          size_t url = value.find("url=");
          if (url == std::string::npos) continue;
          kind = "url";
          value = value.substr(url + 4);
        } else if (kind != "href" && kind != "src" && kind != "usemap" && kind != "popovertarget") {
          continue;
        }
        for (size_t at; (at = value.find("&amp;")) != std::string::npos;) value.replace(at, 5, "&");
        if (StartsWith(value, "http://") || StartsWith(value, "https://") || StartsWith(value, "mailto:") ||
            StartsWith(value, "ftp://"))
          continue;
        if (!options.followParentLinks && StartsWith(value, "../")) continue;
        std::string file = name, fragment;
        if (kind == "popovertarget") {
          fragment = value;
        } else if (kind == "usemap") {
          fragment = value.substr(1);
        } else {
          size_t hash = value.find('#');
          if (hash != 0) file = (fs::path(name).parent_path() / value.substr(0, hash)).lexically_normal().string();
          if (hash != std::string::npos) fragment = value.substr(hash + 1);
        }
        if (kind == "src") ++check.images;
        else ++check.links;
        if (StartsWith(file, "..") || fs::path(file).is_absolute()) {
          check.broken.push_back(name + ": " + value + " (leaves the folder)");
          continue;
        }
        if (!fs::exists(root / file)) {
          check.broken.push_back(name + ": " + kind + "=" + value + " (no file)");
          continue;
        }
        if (kind == "src" && options.pictureReadsBack && fs::path(file).parent_path().filename() == "pictures" &&
            !options.pictureReadsBack(root / file))
          check.broken.push_back(name + ": " + value + " (does not read back)");
        if (!fragment.empty() && (!ids.count(file) || !ids[file].count(fragment)))
          check.broken.push_back(name + ": " + kind + "=" + value + " (no element)");
        if (name.find('/') != std::string::npos && siteOf(file) != siteOf(name)) ++check.crossLinks;
      }
    }
  }
  return check;
}

}  // namespace fixture
