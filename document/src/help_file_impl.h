// The state behind a HelpFile, shared by the reader and the stream assembler.
#pragma once

#include <marlet/marlet.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "quillon/document/help_file.h"

namespace quillon::document {

struct HelpFile::Impl {
  IfsHandle container = nullptr;
  TopicHandle topics = nullptr;  // the stream ReadAll walks
  // Topics read one at a time (ReadTopicAt) go through a second opening of
  // the file, so that they may be read while ReadAll is under way (a page
  // writer reading a popup's topic from inside ReadAll's callback).
  IfsHandle randomContainer = nullptr;
  TopicHandle randomTopics = nullptr;
  std::string path;
  TopicHandle RandomTopics();
  OpenOptions options;
  FileInfo info;
  CodePage codePage;
  std::vector<std::unique_ptr<CodePage>> fontPages;  // per font: its own code page, or null for the file's
  std::string key;  // HelpFileKey of the file's name

  // Indexes, loaded on first use.
  std::optional<std::vector<TitleEntry>> titles;
  std::optional<std::vector<ContextEntry>> contexts;        // by hash
  std::vector<ContextEntry> contextsByOffset;               // the same, by offset
  std::optional<std::vector<TopicOffset>> topicMap;         // |TOMAP: 3.0 topic numbers
  std::optional<std::vector<std::pair<uint32_t, TopicOffset>>> contextMap;  // |CTXOMAP
  std::optional<std::vector<TopicOffset>> starts;
  std::unordered_map<uint32_t, std::string> contextStrings;
  std::optional<std::unordered_map<TopicOffset, uint32_t>> topicNumbers;  // |TOMAP reversed

  ~Impl();
  const CodePage &PageOfFont(int font) const {
    return font >= 0 && static_cast<size_t>(font) < fontPages.size() && fontPages[font] ? *fontPages[font] : codePage;
  }
  const std::vector<ContextEntry> &Contexts();
  const std::vector<TopicOffset> &TopicMap();
  std::string ContextString(uint32_t hash);
  std::vector<uint32_t> HashesAt(TopicOffset offset);
  // Contexts at positions strictly between two positions, in offset order.
  std::vector<ContextEntry> ContextsBetween(TopicOffset low, TopicOffset high);
  TopicOffset Resolve(uint32_t hash);
  uint32_t TopicNumberOf(TopicOffset offset);
  void ResolveLink(Link &link);
};

// The fonts of the font table in the stream's RTF header (event 6).
std::vector<Font> ParseFontTable(const char *text, const CodePage &codePage);

// Interprets the topic stream's events into topics.  Whole: every topic is
// handed to `each` as it completes.  Single: the first topic is kept and the
// enumeration stops where the next one begins.
class Assembler {
 public:
  enum class Mode { Whole, Single };
  Assembler(HelpFile::Impl &file, Mode mode) : file_(file), mode_(mode) {}
  void set_each(const std::function<bool(Topic &)> *each) { each_ = each; }

  static int32_t MARLET_API Callback(const char *text, TopicOffset at, int32_t event, MarletUserData user);
  // After the enumeration: hands over the topic still open (Whole) or keeps it.
  void Finish();

  std::optional<Topic> &single() { return single_; }
  TopicOffset next() const { return next_; }
  size_t delivered() const { return delivered_; }
  bool stopped() const { return stopped_; }
  bool sawFirstEvent() const { return sawContent_; }
  bool startedWithHeader() const { return startedWithHeader_; }

 private:
  bool Event(const char *text, TopicOffset at, int32_t event);
  void BeginTopic(const char *fields, TopicOffset at);
  bool EndTopic(TopicOffset next);
  void AttachInside(TopicOffset low, TopicOffset high);
  std::vector<std::string> *SlotAnchors();
  void EnsureTopic(TopicOffset at);
  void Controls(const char *text);
  void ParseWords(const char *text);
  void Word(std::string_view word, bool hasNumber, int number);
  void AddInline(Inline piece);
  void AddText(const char *text);
  Paragraph &OpenParagraph();
  void EndParagraph(bool ended);
  void FlushParagraph();
  void BeginRow();
  void EnsureCell();
  void NextCell();
  void EndRow();
  void PlaceParagraph(Paragraph &&paragraph);
  std::vector<Block> &Region(bool nonScrolling);
  int StartLink(Link link);

  HelpFile::Impl &file_;
  Mode mode_;
  const std::function<bool(Topic &)> *each_ = nullptr;
  std::optional<Topic> topic_;
  std::optional<Topic> single_;
  TopicOffset next_ = kNoTopic;
  size_t delivered_ = 0;
  bool stopped_ = false;
  bool sawContent_ = false;
  bool startedWithHeader_ = false;

  // Paragraph state, as the control words set it.
  ParagraphFormat format_;
  bool nonScrolling_ = false;
  bool inTable_ = false;
  TabKind nextTab_ = TabKind::Left;
  Style style_;
  struct FontChange {
    std::string text;
    Style style;
  };
  std::vector<std::vector<FontChange>> fontChanges_;  // per font: its change texts and what they set
  bool paragraphOpen_ = false;
  Paragraph paragraph_;
  std::vector<std::string> pendingAnchors_;
  // Tables.
  bool inRow_ = false;
  bool rowNonScrolling_ = false;
  Row row_;
  int column_ = 0;
  bool lastBlockIsTable_[2] = {false, false};  // per region: the last block is a table rows go on with
  // Where contexts that point inside a record, not at its start, go: the
  // first block the record made.
  TopicOffset position_ = kNoTopic;  // the record being read
  struct Slot {
    bool header = false;
    size_t block = 0;
    bool row = false;
    size_t rowIndex = 0;
  } slot_;
  TopicOffset slotPosition_ = kNoTopic;
  // Hotspots.
  int link_ = -1;
  char hotspotAttribute_ = 0;  // 'u' popup, 's' jump or macro, from the control before the target
  Placement windowPlacement_ = Placement::Inline;
};

}  // namespace quillon::document
