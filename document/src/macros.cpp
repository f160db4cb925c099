#include "quillon/document/macros.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace quillon::document {

namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// A small cursor over the macro text.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}
  bool done() const { return at_ >= text_.size(); }
  char peek() const { return done() ? '\0' : text_[at_]; }
  void SkipSpace() {
    while (!done() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
  }
  std::string Name() {
    SkipSpace();
    size_t start = at_;
    while (!done() && (std::isalnum(static_cast<unsigned char>(text_[at_])) || text_[at_] == '_')) ++at_;
    return std::string(text_.substr(start, at_ - start));
  }
  // One argument up to the "," or ")" that ends it at this level.  Quoted
  // parts lose their quotes; nested parentheses are kept as written.
  bool Argument(std::string &out) {
    SkipSpace();
    int depth = 0;
    while (!done()) {
      char c = text_[at_];
      if (depth == 0 && (c == ',' || c == ')')) break;
      if (c == '"' || c == '`') {
        char close = c == '"' ? '"' : '\'';
        size_t end = text_.find(close, at_ + 1);
        if (end == std::string_view::npos) return false;
        out.append(text_.substr(at_ + 1, end - at_ - 1));
        at_ = end + 1;
        continue;
      }
      if (c == '(') ++depth;
      if (c == ')') --depth;
      out += c;
      ++at_;
    }
    while (!out.empty() && std::isspace(static_cast<unsigned char>(out.back()))) out.pop_back();
    return !done();
  }
  bool Take(char c) {
    SkipSpace();
    if (peek() != c) return false;
    ++at_;
    return true;
  }

 private:
  std::string_view text_;
  size_t at_ = 0;
};

// A file argument may name a window after ">": "other.hlp>glossary".
void SplitFile(const std::string &argument, MacroMeaning &meaning) {
  size_t window = argument.find('>');
  meaning.file = std::string(Trim(std::string_view(argument).substr(0, window)));
  if (window != std::string::npos) meaning.window = std::string(Trim(std::string_view(argument).substr(window + 1)));
}

const std::string &Arg(const MacroCall &call, size_t i) {
  static const std::string kEmpty;
  return i < call.args.size() ? call.args[i] : kEmpty;
}

bool Named(const MacroCall &call, std::string_view longName, std::string_view shortName) {
  return SameName(call.name, longName) || (!shortName.empty() && SameName(call.name, shortName));
}

}  // namespace

std::vector<MacroCall> ParseMacro(std::string_view text) {
  std::vector<MacroCall> calls;
  Scanner scan(text);
  while (true) {
    MacroCall call;
    call.name = scan.Name();
    if (call.name.empty()) break;
    if (scan.Take('(')) {
      if (!scan.Take(')')) {
        while (true) {
          std::string argument;
          if (!scan.Argument(argument)) return calls;  // no closing parenthesis
          call.args.push_back(std::move(argument));
          if (scan.Take(')')) break;
          if (!scan.Take(',')) return calls;
        }
      }
    }
    calls.push_back(std::move(call));
    scan.SkipSpace();
    if (!scan.Take(':') && !scan.Take(';')) break;
  }
  return calls;
}

std::string WebAddress(std::string_view command) {
  std::string_view s = Trim(command);
  if (StartsWithNoCase(s, "start ")) s = Trim(s.substr(6));
  if (!s.empty() && (s.front() == '"' || s.front() == '\'')) {
    char quote = s.front();
    s.remove_prefix(1);
    s = s.substr(0, s.find(quote));
  }
  s = s.substr(0, std::min(s.find(' '), s.size()));  // the address ends at its first blank
  if (s.empty() || s.size() > 2000) return "";
  for (char c : s)
    if (static_cast<unsigned char>(c) < 0x21 || c == '"' || c == '<' || c == '>' || c == '\\') return "";
  for (std::string_view scheme : {"http://", "https://", "ftp://", "mailto:"})
    if (StartsWithNoCase(s, scheme)) return s.size() > scheme.size() ? std::string(s) : "";
  if (StartsWithNoCase(s, "www.") && s.size() > 4) return "http://" + std::string(s);
  return "";
}

MacroMeaning InterpretMacro(std::string_view text) {
  for (const MacroCall &call : ParseMacro(text)) {
    MacroMeaning meaning;
    if (Named(call, "JumpId", "JI") || Named(call, "PopupId", "PI")) {
      meaning.action = Named(call, "PopupId", "PI") ? MacroAction::Popup : MacroAction::Jump;
      SplitFile(Arg(call, 0), meaning);
      meaning.context = std::string(Trim(Arg(call, 1)));
      if (meaning.context.empty()) continue;
      return meaning;
    }
    if (Named(call, "JumpContext", "JC") || Named(call, "PopupContext", "PC")) {
      meaning.action = Named(call, "PopupContext", "PC") ? MacroAction::Popup : MacroAction::Jump;
      SplitFile(Arg(call, 0), meaning);
      std::string number(Trim(Arg(call, 1)));
      char *end = nullptr;
      meaning.contextNumber = std::strtol(number.c_str(), &end, 0);
      if (number.empty() || *end != '\0') continue;
      return meaning;
    }
    if (Named(call, "JumpKeyword", "JK")) {
      meaning.action = MacroAction::Keyword;
      SplitFile(Arg(call, 0), meaning);
      meaning.keyword = std::string(Trim(Arg(call, 1)));
      meaning.list = "K";
      if (meaning.keyword.empty()) continue;
      return meaning;
    }
    if (Named(call, "KLink", "KL") || Named(call, "ALink", "AL")) {
      meaning.action = MacroAction::Keyword;
      meaning.keyword = std::string(Trim(Arg(call, 0)));
      meaning.list = Named(call, "ALink", "AL") ? "A" : "K";
      if (meaning.keyword.empty()) continue;
      return meaning;
    }
    if (Named(call, "ExecFile", "EF") || Named(call, "ExecProgram", "EP")) {
      std::string url = WebAddress(Arg(call, 0));
      if (url.empty()) continue;
      meaning.action = MacroAction::Url;
      meaning.url = std::move(url);
      return meaning;
    }
    if (Named(call, "Contents", "") || Named(call, "JumpContents", "")) {
      meaning.action = MacroAction::Contents;
      if (!call.args.empty()) SplitFile(Arg(call, 0), meaning);
      return meaning;
    }
  }
  return {};
}

}  // namespace quillon::document
