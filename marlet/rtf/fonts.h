// The RTF document header's font and colour tables, and the character format
// of one font.  Font i of the loaded |FONT table is RTF font i and selects
// colour i; nothing is merged or reordered.
#pragma once

#include <string>

#include "topic/topic_handle.h"

namespace marlet {

// "{\fonttbl\n" one "{\f<i>\f<family> <face>;}\n" per font "}\n{\colortbl\n"
// one "\red<r>\green<g>\blue<b>;\n" per font "}\n".  Empty without fonts.
std::string RtfFontTable(const TopicHandleRecord &topic);

inline constexpr size_t kFontAttributesSize = 100;

// "\f<n>\cf<n>\fs<half points>" then "\b" or "\b0", "\i" or "\i0", "\ul" or
// "\ul0" into out; false (out untouched) for a font the table does not hold.
bool RtfFontAttributes(const TopicHandleRecord &topic, int32_t font, char (&out)[kFontAttributesSize]);

// The control text of a change to a font, with the space that ends it: the
// whole attribute text, or inside a hotspot the text up to its "\ul" part.
// Made once per handle.  Null for a font the table does not hold.
const char *FontChangeText(TopicHandleRecord &topic, int32_t font, bool inHotspot);

}  // namespace marlet
