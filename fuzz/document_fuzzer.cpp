// The document layer and its HTML writer: the input as a help file, read
// whole into the model and a topic at a time, each topic's plain text and
// markup, the keyword lists; the input's tail also serves as the contents
// file beside it, and its bytes as macros.
#include <string>
#include <string_view>

#include "harness.h"
#include "quillon/document/help_file.h"
#include "quillon/document/macros.h"
#include "quillon/document/plain_text.h"
#include "quillon/html/site.h"

namespace quillon_fuzz {

namespace {

// Bounds of one run: topics read whole and rendered, topics read one at a
// time.  The library bounds the pieces of each record; these bound the walk.
constexpr size_t kMaxTopics = 200;
constexpr size_t kMaxRendered = 16;
constexpr size_t kMaxSingle = 12;

}  // namespace

int RunDocument(const uint8_t *data, size_t size) {
  using namespace quillon::document;
  std::string_view bytes(reinterpret_cast<const char *>(data), size);
  std::string_view tail = bytes.substr(size > 512 ? size - 512 : 0);
  InterpretMacro(tail);
  CodePage western(1252), japanese(932);
  ParseContents(tail, western);
  japanese.ToUtf8(tail);

  InputFile input(data, size);
  OpenOptions options;
  options.companion = [&](std::string_view) -> std::optional<std::string> { return std::string(tail); };
  std::string why;
  std::unique_ptr<HelpFile> file = HelpFile::Open(kInputName, &why, options);
  if (!file) {
    Check(!why.empty(), "HelpFile::Open failed without a reason");
    return 0;
  }
  file->ContentsFile();
  for (const std::string &list : file->info().keywordLists) file->Keywords(list);
  quillon::html::TopicHtml markup(*file);
  size_t topics = 0;
  file->ReadAll([&](Topic &topic) {
    PlainText(topic);
    if (topics < kMaxRendered) markup.Fragment(topic);
    return ++topics < kMaxTopics;
  });
  markup.Css();
  TopicOffset at = file->FirstTopic();
  for (size_t i = 0; i < kMaxSingle && at != kNoTopic; ++i) {
    TopicOffset next = kNoTopic;
    std::optional<Topic> topic = file->ReadTopicAt(at, &next);
    if (!topic) break;
    Check(topic->offset == at, "ReadTopicAt gave another topic than the one asked for");
    Check(next == kNoTopic || next > at || file->info().Version30(), "topics do not follow each other");
    if (next != kNoTopic && next <= at) break;
    at = next;
  }
  // Topics by what the indexes say holds them, which need not be a start.
  size_t asked = 0;
  for (TopicOffset start : file->TopicStarts()) {
    file->ReadTopic(start + (asked & 1));
    if (++asked >= kMaxSingle) break;
  }
  return 0;
}

}  // namespace quillon_fuzz
