// libwmf's SVG text made into a document a browser shows.
#pragma once

#include <string>
#include <vector>

namespace quillon::pictures {

// The SVG of libwmf's SVG device, written anew: an XML declaration (UTF-8),
// the root with the svg and xlink namespaces, width, height and a viewBox of
// width x height, then libwmf's elements with the text of each <text>
// element escaped and converted from the metafile's Windows-1252 to UTF-8.
// `texts` are the metafile's text strings in record order: each <text>
// element must hold the next of them, as the device writes them.  Empty (and
// a reason) when libwmf's output is not what is expected or the result is not
// well-formed XML.
std::string ShowableSvg(const std::string &libwmf, const std::vector<std::string> &texts, int width,
                        int height, std::string *why);

// True when text is a well-formed XML document (expat).
bool WellFormedXml(const std::string &text, std::string *why = nullptr);

}  // namespace quillon::pictures
