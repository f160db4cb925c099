#include "rtf/fonts.h"

#include <quillon/platform.h>

#include <cstring>

#include "container/frame.h"

namespace marlet {

namespace {

const char *FamilyWord(uint8_t family) {
  switch (family) {
    case 0x10: return "roman";
    case 0x20: return "swiss";
    case 0x30: return "modern";
    case 0x40: return "script";
    case 0x50: return "decor";
    default: return "modern";
  }
}

}  // namespace

std::string RtfFontTable(const TopicHandleRecord &topic) {
  std::string text;
  if (topic.fonts == nullptr || topic.fonts->count <= 0) return text;
  const FontTable &fonts = *topic.fonts;
  text.reserve(100 * static_cast<size_t>(fonts.count) + 100);
  char line[128];
  text += "{\\fonttbl\n";
  const bool charsets = (topic.options & HLP_TOPIC_CHARSETS) != 0;
  for (int32_t i = 0; i < fonts.count; ++i) {
    const FontEntry &entry = fonts.entries[i];
    if (charsets && entry.charset >= 0)
      wnsprintfA(line, sizeof line, "{\\f%d\\f%s\\fcharset%d %s;}\n", i, FamilyWord(entry.family), entry.charset,
                 entry.faceName);
    else
      wnsprintfA(line, sizeof line, "{\\f%d\\f%s %s;}\n", i, FamilyWord(entry.family), entry.faceName);
    text += line;
  }
  text += "}\n{\\colortbl\n";
  for (int32_t i = 0; i < fonts.count; ++i) {
    uint32_t colour = fonts.entries[i].textColour;
    wnsprintfA(line, sizeof line, "\\red%u\\green%u\\blue%u;\n", colour & 0xFF, (colour >> 8) & 0xFF,
               (colour >> 16) & 0xFF);
    text += line;
  }
  text += "}\n";
  return text;
}

bool RtfFontAttributes(const TopicHandleRecord &topic, int32_t font, char (&out)[kFontAttributesSize]) {
  if (topic.fonts == nullptr || font < 0 || font >= topic.fonts->count) return false;
  const FontEntry &entry = topic.fonts->entries[font];
  wnsprintfA(out, sizeof out, "\\f%d\\cf%d\\fs%d%s%s%s", font, font, entry.halfPoints,
             entry.weight >= 400 ? "\\b" : "\\b0", entry.italic ? "\\i" : "\\i0", entry.underline ? "\\ul" : "\\ul0");
  return true;
}

struct FontChangeTexts {
  char full[kFontAttributesSize + 1];
  char inHotspot[kFontAttributesSize + 1];
};

const char *FontChangeText(TopicHandleRecord &topic, int32_t font, bool inHotspot) {
  if (topic.fonts == nullptr || font < 0 || font >= topic.fonts->count) return nullptr;
  if (topic.fontChanges == nullptr) {
    auto *texts = static_cast<FontChangeTexts *>(RtCalloc(static_cast<size_t>(topic.fonts->count), sizeof(FontChangeTexts)));
    if (texts == nullptr) return nullptr;
    for (int32_t i = 0; i < topic.fonts->count; ++i) {
      char text[kFontAttributesSize];
      RtfFontAttributes(topic, i, text);
      wnsprintfA(texts[i].full, sizeof texts[i].full, "%s ", text);
      if (char *underline = std::strstr(text, "\\ul")) *underline = '\0';
      wnsprintfA(texts[i].inHotspot, sizeof texts[i].inHotspot, "%s ", text);
    }
    topic.fontChanges = texts;
  }
  return inHotspot ? topic.fontChanges[font].inHotspot : topic.fontChanges[font].full;
}

}  // namespace marlet
