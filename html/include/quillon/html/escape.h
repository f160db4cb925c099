// Escaping by context, in one place.  Every byte that comes from a help file
// and lands in a page passes through the function for where it lands: element
// text, an attribute value, a URL, a file name.  Nothing from the file is ever
// markup.
#pragma once

#include <string>
#include <string_view>

namespace quillon::html {

// Element content: & < > escaped; control characters other than tab and line
// feed (never valid in HTML) dropped.
void AppendText(std::string &out, std::string_view text);
// A quoted attribute value: & < > " ' escaped; control characters dropped,
// tabs and line feeds kept as their references.
void AppendAttribute(std::string &out, std::string_view text);
// A URL for an href: percent-encodes everything but unreserved characters and
// the delimiters a URL keeps (":/?#[]@!$&'()*+,;=%" and "~"), then escapes it
// for the attribute.  Callers pass only addresses whose scheme they have
// checked (WebAddress) or paths they made.
void AppendUrl(std::string &out, std::string_view url);
// Text inside a double-quoted JavaScript string literal of a .js file
// (never inline in a page): \ " < and control characters, U+2028 and U+2029
// as \uXXXX escapes, so that nothing can end the string, the line or a
// script element.
void AppendScriptString(std::string &out, std::string_view text);

// A file-name component made from data (a context string, a picture or help
// file name): small letters, digits, "." "_" and "-" only; other bytes become
// "_"; no leading dot; at most 64 characters; never empty.  The result cannot
// name a parent folder or a path, whatever the input.
std::string SafeName(std::string_view name);

}  // namespace quillon::html
