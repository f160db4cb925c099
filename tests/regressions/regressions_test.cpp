// The faults that fuzzing found: each input through its fuzz target, and the
// behaviour each fault broke.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "harness.h"
#ifdef QUILLON_HAVE_PICTURES
#include <quillon/pictures.h>
#endif
#include "regressions/fixtures.h"
#include "support/memory_container.h"
#include "support/recorder.h"
#include "support/shg_builder.h"
#include "topic/topic_handle.h"

// No allocation above 512 MiB in the AddressSanitizer build: a help file of
// a few KiB never needs one, and one that fails shows in the results.
extern "C" const char *__asan_default_options() {
  return "max_allocation_size_mb=512:allocator_may_return_null=1";
}

namespace {

using fixture::Bytes;

int RunTarget(const std::string &target, const Bytes &bytes) {
  static const uint8_t kNothing = 0;
  const uint8_t *data = bytes.empty() ? &kNothing : bytes.data();
  if (target == "container") return quillon_fuzz::RunContainer(data, bytes.size());
  if (target == "topic") return quillon_fuzz::RunTopic(data, bytes.size());
#if QUILLON_FUZZ_DOCUMENT
  if (target == "document") return quillon_fuzz::RunDocument(data, bytes.size());
#endif
#if QUILLON_FUZZ_COLLECTION
  if (target == "collection") return quillon_fuzz::RunCollection(data, bytes.size());
#endif
  if (target == "shg_import") return quillon_fuzz::RunShgImport(data, bytes.size());
  if (target == "shg_export") return quillon_fuzz::RunShgExport(data, bytes.size());
#ifdef QUILLON_HAVE_PICTURES
  if (target == "pictures") return quillon_fuzz::RunPictures(data, bytes.size());
#else
  if (target == "pictures") return 0;  // the picture layer is not built here
#endif
  ADD_FAILURE() << "no fuzz target " << target;
  return -1;
}

// A target aborts when the library breaks one of its checks; under the
// sanitizers a read or write outside a buffer, a leak or undefined behaviour
// ends the test as well.
TEST(Regressions, BuiltInputsThroughTheirTargets) {
  for (const regression::Input &input : regression::BuiltInputs()) {
    SCOPED_TRACE(input.name);
    EXPECT_EQ(RunTarget(input.target, input.bytes), 0);
  }
}

#if QUILLON_FUZZ_DOCUMENT
// The damaged help files also through the document layer and its HTML.
TEST(Regressions, DamagedHelpFilesThroughTheDocumentLayer) {
  for (const regression::Input &input : regression::BuiltInputs()) {
    if (input.target != "container" && input.target != "topic") continue;
    SCOPED_TRACE(input.name);
    EXPECT_EQ(RunTarget("document", input.bytes), 0);
  }
}
#endif

// A topic stream opened with the given options on an in-memory help file,
// enumerated whole.
struct Opened {
  explicit Opened(const Bytes &bytes, uint32_t options) : container(bytes), size(bytes.size()) {
    topic = container ? HlpTopicOpen(container.get(), options) : nullptr;
    if (topic != nullptr) HlpTopicEnumerate(topic, fixture::Recorder::Callback, recorder.user());
  }
  ~Opened() { HlpTopicClose(topic); }
  Opened(const Opened &) = delete;
  Opened &operator=(const Opened &) = delete;
  fixture::OpenedContainer container;
  size_t size;
  TopicHandle topic = nullptr;
  fixture::Recorder recorder;
};

bool HasLine(const fixture::Recorder &recorder, const std::string &line) {
  return std::find(recorder.lines.begin(), recorder.lines.end(), line) != recorder.lines.end();
}

TEST(Regressions, PhrasePastTableExpandsToNothing) {
  Opened opened(regression::PhrasePastTable(), 0);
  ASSERT_NE(opened.topic, nullptr);
  EXPECT_TRUE(HasLine(opened.recorder, "0\txy")) << ::testing::PrintToString(opened.recorder.lines);
}

// The tables are sized by the bytes the help file holds, not by the sizes
// that damaged headers declare.
TEST(Regressions, ContextIndexLargerThanFile) {
  Opened opened(regression::ContextIndexLargerThanFile(), HLP_TOPIC_CONTEXTS);
  ASSERT_NE(opened.topic, nullptr);
  ASSERT_NE(opened.topic->contexts, nullptr);
  EXPECT_EQ(opened.topic->contexts->count, 3);
  EXPECT_LE(static_cast<size_t>(opened.topic->contexts->capacity) * 8, opened.size);
}

TEST(Regressions, FontTableLargerThanFile) {
  Opened opened(regression::FontTableLargerThanFile(), HLP_TOPIC_FONTS);
  ASSERT_NE(opened.topic, nullptr);
  ASSERT_NE(opened.topic->fonts, nullptr);
  EXPECT_LE(static_cast<size_t>(opened.topic->fonts->count) * 11, opened.size);
  ASSERT_GE(opened.topic->fonts->count, 2);
  EXPECT_STREQ(opened.topic->fonts->entries[0].faceName, "Arial");
  EXPECT_STREQ(opened.topic->fonts->entries[1].faceName, "Courier New");
}

TEST(Regressions, TopicLargerThanFile) {
  Opened opened(regression::TopicLargerThanFile(), 0);
  ASSERT_NE(opened.topic, nullptr);
  EXPECT_TRUE(HasLine(opened.recorder, "2\tTopic"));
  EXPECT_LT(opened.topic->recordCapacity, opened.size);
}

// The phrase buffers leave no trace once made; under AddressSanitizer, with
// allocations limited below (__asan_default_options), one of 2 GiB fails and
// the phrases are missing from the text.
TEST(Regressions, PhraseFilesLargerThanFile) {
  for (const Bytes &file : {regression::PhrasesLargerThanFile(), regression::PhraseIndexLargerThanFile()}) {
    Opened opened(file, 0);
    ASSERT_NE(opened.topic, nullptr);
    EXPECT_TRUE(HasLine(opened.recorder, "2\tTopic"));
    EXPECT_TRUE(HasLine(opened.recorder, "0\ttwo x")) << ::testing::PrintToString(opened.recorder.lines);
  }
}

TEST(Regressions, KeywordListsSharingBytes) {
  Opened opened(regression::KeywordListsSharingBytes(), HLP_TOPIC_KEYWORDS);
  ASSERT_NE(opened.topic, nullptr);
  ASSERT_EQ(opened.topic->keywordIndexCount, 1);
  EXPECT_LE(static_cast<size_t>(opened.topic->keywordIndexes[0]->count),
            regression::kSharedKeywordDataSize / 4);
}

// The hotspot still starts, with the target of hash 0; the undefined copy of
// the missing operand shows under UBSan.
TEST(Regressions, LongHotspotCut) {
  Opened opened(regression::LongHotspotCut(), 0);
  ASSERT_NE(opened.topic, nullptr);
  EXPECT_TRUE(HasLine(opened.recorder, "0\ta"));
  EXPECT_TRUE(HasLine(opened.recorder, "7\t\\strike ")) << ::testing::PrintToString(opened.recorder.lines);
}

// Rows whose room overflows 64 bits are a DIB that cannot be had.
TEST(Regressions, BitmapRowsOverflow) {
  fixture::MessageRecorder messages;
  Bytes image = regression::BitmapRowsOverflow();
  HGLOBAL dib = nullptr;
  EXPECT_EQ(SHGImportEx(nullptr, image.data(), static_cast<uint32_t>(image.size()), &dib, nullptr, nullptr,
                        nullptr),
            0);
  EXPECT_EQ(dib, nullptr);
  EXPECT_EQ(messages.lines(), std::vector<std::string>{"SHG-Import|Not enough memory|4096"});
  GlobalFree(dib);
}

#ifdef QUILLON_HAVE_PICTURES
// The picture is drawn, its text too, with the font no wider than twice its
// height.
TEST(Regressions, FontWiderThanTallDrawsItsText) {
  std::optional<quillon::pictures::Picture> picture = quillon::pictures::Decode(regression::FontWiderThanTall());
  ASSERT_TRUE(picture);
  std::string why;
  std::vector<uint8_t> png = quillon::pictures::Png(*picture, &why);
  EXPECT_FALSE(png.empty()) << why;
}
#endif

}  // namespace
