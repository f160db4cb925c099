// A help file read into the document model, a topic at a time.
//
// HelpFile uses nothing but marlet's exports: the topic stream (with the
// opt-in pieces for document readers), the title, context and keyword
// indexes, and a few small internal files the stream does not carry
// (|SYSTEM's records, |TOMAP, |CTXOMAP).  It interprets the stream's events
// and control words; it does not read |TOPIC itself.  Memory is bounded by the
// largest topic: ReadAll hands each topic over and drops it.
//
// One HelpFile is used from one thread at a time; separate HelpFile objects
// are independent and may be used in separate threads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quillon/document/code_page.h"
#include "quillon/document/contents.h"
#include "quillon/document/model.h"

namespace quillon::document {

struct OpenOptions {
  // Finds a file that lay beside the help file (its .CNT) by its name,
  // compared without regard to case: its bytes, or nullopt.  By default the
  // help file's own folder is searched.
  std::function<std::optional<std::string>(std::string_view name)> companion;
  // The name the help file goes by, where its path does not tell (a file
  // read from an archive); used for the companion's default name.
  std::string name;
  // Text in the Symbol and Wingdings fonts as the characters those fonts
  // draw (Greek letters, arrows, bullets); false leaves it in the file's
  // code page, byte for byte as other readers of the text give it.
  bool symbolFonts = true;
};

struct TitleEntry {
  TopicOffset offset = 0;
  std::string title;
};

struct ContextEntry {
  uint32_t hash = 0;
  TopicOffset offset = 0;
};

struct KeywordEntry {
  std::string keyword;
  std::vector<TopicOffset> topics;
};

struct InternalFile {
  std::string name;
  uint32_t size = 0;
};

// What a read lost to damage, for summaries.
struct ReadReport {
  size_t topics = 0;
  bool endedEarly = false;  // the stream stopped before the end of |TOPIC
};

class HelpFile {
 public:
  // Null, and why in *why, when the file cannot be opened, is no help file or
  // has no topics.
  static std::unique_ptr<HelpFile> Open(const std::string &path, std::string *why = nullptr,
                                        OpenOptions options = {});
  ~HelpFile();
  HelpFile(const HelpFile &) = delete;
  HelpFile &operator=(const HelpFile &) = delete;

  const FileInfo &info() const;
  const CodePage &codePage() const;

  // ---- Topics ----
  // Every topic in file order, each handed to `each` and then dropped; false
  // from `each` stops.  The number of topics handed over.
  ReadReport ReadAll(const std::function<bool(Topic &)> &each);
  // The topic that begins at offset, and where the next one begins (kNoTopic
  // after the last); nullopt when no topic begins there.
  std::optional<Topic> ReadTopicAt(TopicOffset offset, TopicOffset *next = nullptr);
  // The topic that holds offset (a topic start or any position inside it).
  std::optional<Topic> ReadTopic(TopicOffset offset);
  // Where the first topic begins.
  TopicOffset FirstTopic();

  // ---- Indexes ----
  const std::vector<TitleEntry> &Titles();      // in title-index order
  const std::vector<ContextEntry> &Contexts();  // in hash order
  // Every context hash that names exactly this position, in hash order.
  std::vector<uint32_t> HashesAt(TopicOffset offset);
  // A context string that hashes to hash (made up: files keep only hashes).
  std::string ContextString(uint32_t hash);
  // The topic a jump's hash leads to (in a 3.0 file the hash is a topic number
  // and |TOMAP gives it); kNoTopic when the file knows none.
  TopicOffset Resolve(uint32_t hash);
  TopicOffset Find(std::string_view contextString);
  TopicOffset ResolveContextNumber(long number);  // the author's [MAP] numbers, |CTXOMAP
  // The link of a picture's hotspot, read and resolved as a topic hotspot's
  // is: a jump's or popup's stored "context@file>window", or a macro's text
  // (UTF-8).
  Link HotspotLink(LinkKind kind, std::string_view target);
  // Where each topic begins, ascending, as the indexes know them.
  const std::vector<TopicOffset> &TopicStarts();
  // The start of the topic that holds offset, kNoTopic before the first.
  TopicOffset TopicStartOf(TopicOffset offset);
  // The topic number of the topic that begins at start (3.0 files: from
  // |TOMAP), or 0xFFFFFFFF where the file gives none.
  uint32_t TopicNumber(TopicOffset start);
  // Keywords of a list ("K", "A", ...), in index order, with their topics.
  std::vector<KeywordEntry> Keywords(std::string_view list = "K");

  // ---- Internal files, pictures, contents ----
  std::vector<InternalFile> Files();
  std::optional<std::vector<uint8_t>> Read(std::string_view name);
  // The picture files (|bm0, |bm1 ...; bm0 ... in 3.0 files), in number order.
  std::vector<std::string> PictureNames();
  // The contents file beside the help file: |SYSTEM's name for it, else the
  // help file's base name with .cnt.
  std::optional<Contents> ContentsFile();
  // Whether a file name from a jump or macro is this help file (names compare
  // as the viewer compared them: without folder, without regard to case).
  bool IsThisFile(std::string_view name) const;

  struct Impl;

 private:
  explicit HelpFile(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// The base name of a help file a jump or macro names ("..\\HELP\\Other.HLP"
// gives "other"), in small letters: how the viewer matched them, and how
// sites side by side find each other.
std::string HelpFileKey(std::string_view name);

}  // namespace quillon::document
