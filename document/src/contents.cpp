#include "quillon/document/contents.h"

#include <algorithm>
#include <cctype>

namespace quillon::document {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool Command(std::string_view line, std::string_view name, std::string_view &rest) {
  if (line.size() < name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(line[i])) != std::tolower(static_cast<unsigned char>(name[i])))
      return false;
  if (line.size() > name.size() && !std::isspace(static_cast<unsigned char>(line[name.size()]))) return false;
  rest = Trim(line.substr(name.size()));
  return true;
}

constexpr int kDeepestLevel = 9;

}  // namespace

Contents ParseContents(std::string_view text, const CodePage &codePage) {
  Contents contents;
  int previous = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.empty() || line.front() == ';') continue;
    std::string_view rest;
    if (line.front() == ':') {
      if (Command(line, ":Base", rest))
        contents.base = codePage.ToUtf8(rest);
      else if (Command(line, ":Title", rest))
        contents.title = codePage.ToUtf8(rest);
      else if (Command(line, ":Include", rest) || Command(line, ":Link", rest))
        contents.includes.push_back(codePage.ToUtf8(rest));
      continue;
    }
    if (!std::isdigit(static_cast<unsigned char>(line.front()))) continue;
    int level = 0;
    size_t i = 0;
    while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])) && level < 100)
      level = level * 10 + (line[i++] - '0');
    if (level < 1) continue;
    level = std::min({level, kDeepestLevel, previous + 1});
    ContentsEntry entry;
    entry.level = level;
    std::string_view body = Trim(line.substr(i));
    size_t equals = body.find('=');
    if (equals == std::string_view::npos) {
      entry.heading = true;
      entry.text = codePage.ToUtf8(body);
    } else {
      entry.text = codePage.ToUtf8(Trim(body.substr(0, equals)));
      std::string_view target = Trim(body.substr(equals + 1));
      if (!target.empty() && target.front() == '!') {
        entry.macro = codePage.ToUtf8(target.substr(1));
      } else {
        size_t window = target.find('>');
        if (window != std::string_view::npos) {
          entry.window = codePage.ToUtf8(Trim(target.substr(window + 1)));
          target = target.substr(0, window);
        }
        size_t at = target.find('@');
        if (at != std::string_view::npos) {
          entry.file = codePage.ToUtf8(Trim(target.substr(at + 1)));
          target = target.substr(0, at);
        }
        entry.context = codePage.ToUtf8(Trim(target));
      }
    }
    previous = level;
    contents.entries.push_back(std::move(entry));
  }
  return contents;
}

}  // namespace quillon::document
