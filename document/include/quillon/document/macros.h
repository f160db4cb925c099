// Help macros, read as far as a reader can follow them.
//
// A macro hotspot runs a line of the viewer's macro language: calls such as
// JumpId("file.hlp", "context") separated by ":" or ";", with strings quoted
// as "..." or `...'.  The calls that show a topic, look up a keyword or open a
// web address have an equivalent in a static document; this reads them.
// Anything else stays a macro.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "quillon/document/model.h"

namespace quillon::document {

struct MacroCall {
  std::string name;               // as written
  std::vector<std::string> args;  // unquoted
};

// The calls of a macro line; stops at the first one it cannot read.
std::vector<MacroCall> ParseMacro(std::string_view text);

struct MacroMeaning {
  MacroAction action = MacroAction::None;
  std::string file;        // Jump, Popup, Keyword: "" for this file
  std::string window;      // the window named after ">" in the file argument
  std::string context;     // Jump, Popup: the context string
  long contextNumber = -1; // JumpContext, PopupContext: the number of the file's context map
  std::string keyword;     // Keyword: the keywords, ";" between them
  std::string list;        // Keyword: "K" or "A"
  std::string url;         // Url: an http, https, ftp or mailto address
};

// What the first call of a macro line that a reader can follow does.
MacroMeaning InterpretMacro(std::string_view text);

// A web address a program call starts ("start http://...", "www.x.com"), or ""
// when the command is not one.  Only http, https, ftp and mailto addresses
// qualify: anything else could run code in a browser.
std::string WebAddress(std::string_view command);

}  // namespace quillon::document
