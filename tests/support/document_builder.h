// Test-only builder of whole help files from a list of topics: |SYSTEM with
// its records, |TOPIC, |FONT, the title and context trees, keyword lists and
// pictures, so that a test of the document layer or the site writer names its
// topics, hotspots and pictures in a few lines.  Later files name topics by
// context hashes (|CONTEXT); 3.0 files by topic number (|TOMAP).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/help_builder.h"
#include "support/index_builder.h"
#include "support/topic_builder.h"

namespace fixture {

// Command bytes of a paragraph (see Paragraph in topic_builder.h).
Bytes JumpTo(const std::string &context);        // 0xE3: a jump
Bytes PopupTo(const std::string &context);       // 0xE2: a popup
Bytes JumpToNumber(uint32_t topicNumber);        // 0xE3 over a 3.0 topic number
Bytes JumpElsewhere(const std::string &context, const std::string &file, const std::string &window = "");
Bytes MacroHotspot(const std::string &macro);    // 0xC8
Bytes HotspotEnd();                              // 0x89
Bytes PictureRef(uint16_t number, uint8_t command = 0x86);  // a picture placed inline (0x86), left, right
Bytes EmbeddedObject(const std::string &text, uint8_t command = 0x86);  // type 5: "!macro", a window ...

struct DocTopic {
  std::string title;                 // "" for an untitled topic (popups)
  std::vector<std::string> contexts; // context strings naming its start (later files)
  std::vector<std::string> keywords; // K keywords
  std::vector<TopicRecord> records;  // its paragraphs and tables
};

struct DocRecipe {
  uint16_t minor = 33;
  std::string title = "Test help";
  std::string copyright;
  uint32_t language = 0;             // an LCID record when not 0
  std::vector<FontRecipe> fonts = {{"Arial"}};
  unsigned fontDescriptor = 42;
  std::vector<DocTopic> topics;
  std::vector<InternalFile> extraFiles;  // pictures ("|bm0"), more lists ...
  std::vector<SystemRecordRecipe> extraRecords;
};

struct BuiltDoc {
  Bytes bytes;
  std::vector<uint32_t> topicOffsets;  // where each topic begins, as the indexes count it
};

BuiltDoc BuildDocument(const DocRecipe &recipe);

}  // namespace fixture
