// The help viewer launcher: HlpTopicJumpAPI with a fake viewer on PATH that
// records the command line it was started with.
#include <gtest/gtest.h>
#include <marlet/marlet.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/fake_programs.h"
#include "support/index_builder.h"
#include "support/topic_builder.h"
#include "topic/topic_handle.h"

using namespace fixture;

namespace {

using Args = std::vector<std::string>;

// Three paragraphs of 100 characters after a topic header, then a second
// topic: the offsets lie about 100 apart, so contexts can lie on both sides
// of any of them.
std::vector<TopicRecord> Records() {
  return {TopicHeader("One"),
          TextParagraph(std::string(100, 'a')),
          TextParagraph(std::string(100, 'b')),
          TextParagraph(std::string(100, 'c')),
          TopicHeader("Two"),
          TextParagraph("d")};
}

constexpr size_t kReaderRecord = 2;  // the record the reader stands on

// The offsets that the records of Records() have, as the indexes count them.
std::vector<uint32_t> RecordOffsets(uint16_t minor) {
  TopicFileRecipe recipe;
  recipe.minor = minor;
  recipe.records = Records();
  return BuildTopicHelpFile(recipe).topic.offsets;
}

// A help file of minor version `minor` with the records of Records() and, if
// given, a |CONTEXT of those contexts, written to a file.
std::string WriteHelpFile(const TempDir &dir, uint16_t minor,
                          const std::optional<std::vector<Context>> &contexts) {
  TopicFileRecipe recipe;
  recipe.minor = minor;
  recipe.records = Records();
  if (contexts) recipe.extraFiles.push_back({"|CONTEXT", ContextTree(*contexts).bytes});
  return dir.Write("help-" + std::to_string(minor) + ".hlp", BuildTopicHelpFile(recipe).container.bytes);
}

// A help file opened with a topic stream placed on a record.
class Placed {
 public:
  Placed(const std::string &path, uint32_t offset) : container_(IFSOpen(path.c_str())) {
    topic_ = container_ != nullptr ? HlpTopicOpen(container_, 0) : nullptr;
    if (topic_ != nullptr) HlpTopicSeek(topic_, offset);
  }
  ~Placed() {
    HlpTopicClose(topic_);
    IFSClose(container_);
  }
  Placed(const Placed &) = delete;
  Placed &operator=(const Placed &) = delete;
  TopicHandle topic() const { return topic_; }

 private:
  IfsHandle container_;
  TopicHandle topic_ = nullptr;
};

// The reader's state, to see that a launch leaves it alone.
std::vector<int64_t> ReaderState(const TopicHandleRecord &t) {
  return {t.topicOffset,     t.blockNumber, t.readPos,    t.blockLength, t.nextLink,
          t.recordRemaining, t.atEnd,       t.recordLink, t.stopped};
}

// Launches the viewer on a file placed on `offset` and returns what it was
// started with.
std::optional<Launch> JumpAndRecord(const FakeSystem &system, const std::string &path, uint32_t offset,
                                    int32_t *result = nullptr) {
  Placed placed(path, offset);
  EXPECT_NE(placed.topic(), nullptr);
  if (placed.topic() == nullptr) return std::nullopt;
  EXPECT_EQ(placed.topic()->topicOffset, offset);
  const std::vector<int64_t> before = ReaderState(*placed.topic());
  int32_t started = HlpTopicJumpAPI(path.c_str(), placed.topic());
  if (result != nullptr) *result = started;
  EXPECT_EQ(ReaderState(*placed.topic()), before);
  if (started != 1) return std::nullopt;
  std::vector<Launch> launches = system.WaitForLaunches(1);
  EXPECT_EQ(launches.size(), 1u);
  if (launches.empty()) return std::nullopt;
  return launches.back();
}

void ClearLaunches(const FakeSystem &system) {
  std::filesystem::remove_all(system.launches());
  std::filesystem::create_directories(system.launches());
}

// ---- The context on the command line ----------------------------------------------

TEST(Jump, TheContextNearestToTheReader) {
  FakeSystem system;
  const std::string winhelp = system.AddRecorder("WINHELP.EXE");
  const uint32_t t = RecordOffsets(21)[kReaderRecord];
  ASSERT_GT(t, 16u);

  struct Entry {
    const char *name;
    int64_t offset;  // from the reader's offset, or absolute
    bool absolute = false;
  };
  struct Case {
    const char *what;
    std::vector<Entry> entries;
    const char *context;  // as the viewer gets it
  } cases[] = {
      {"on a context", {{"before", -3}, {"exact", 0}, {"after", 3}}, "exact"},
      {"nearer after", {{"before", -5}, {"after", 2}}, "after"},
      {"nearer before", {{"before", -2}, {"after", 5}}, "before"},
      // Ties: the first in the index, ascending signed hash: "a" 17 < "b" 18.
      {"tie, first before", {{"a", -4}, {"b", 4}}, "a"},
      {"tie, first after", {{"b", -4}, {"a", 4}}, "a"},
      // "helpfile" hashes to 0xCC0D3075, negative: it comes first, and its
      // made-up string needs a prefix.
      {"tie, negative hash", {{"a", -4}, {"helpfile", 4}}, "concjdukj"},
      // Offsets are unsigned: 0xFFFFFFF0 is far from a small offset, not 16
      // below 0 plus the offset.
      {"top bit far", {{"far", 0xFFFFFFF0, true}, {"near", 0x100}}, "near"},
  };
  TempDir dir;
  for (const Case &c : cases) {
    std::vector<Context> contexts;
    for (const Entry &e : c.entries)
      contexts.push_back(
          {HlpGenerateHashValue(e.name), static_cast<uint32_t>(e.absolute ? e.offset : t + e.offset)});
    const std::string path = WriteHelpFile(dir, 21, contexts);
    ClearLaunches(system);
    std::optional<Launch> launch = JumpAndRecord(system, path, t);
    ASSERT_TRUE(launch) << c.what;
    EXPECT_EQ(launch->program, winhelp) << c.what;
    EXPECT_EQ(launch->args, (Args{std::string("-i") + c.context, path})) << c.what;
  }
}

TEST(Jump, WithoutContextsTheContextStringIsEmpty) {
  FakeSystem system;
  system.AddRecorder("WINHELP.EXE");
  TempDir dir;
  const uint32_t t = RecordOffsets(21)[kReaderRecord];
  for (const std::optional<std::vector<Context>> &contexts :
       {std::optional<std::vector<Context>>{}, std::optional<std::vector<Context>>{std::vector<Context>{}}}) {
    const std::string path = WriteHelpFile(dir, 21, contexts);
    ClearLaunches(system);
    std::optional<Launch> launch = JumpAndRecord(system, path, t);
    ASSERT_TRUE(launch);
    EXPECT_EQ(launch->args, (Args{"-i", path})) << (contexts ? "empty |CONTEXT" : "no |CONTEXT");
  }
}

// A context far beyond what a signed distance from the initial best offset
// (0x7FFFFFFF) would take in: the one context there is still names the topic.
TEST(Jump, TheOnlyContextIsTakenHoweverFar) {
  FakeSystem system;
  system.AddRecorder("WINHELP.EXE");
  TempDir dir;
  const std::string path = WriteHelpFile(dir, 21, std::vector<Context>{{HlpGenerateHashValue("start"), 0}});
  Placed placed(path, 0);
  ASSERT_NE(placed.topic(), nullptr);
  placed.topic()->topicOffset = 0x7FFF8000;  // a reader deep in a very long file
  ASSERT_EQ(HlpTopicJumpAPI(path.c_str(), placed.topic()), 1);
  std::vector<Launch> launches = system.WaitForLaunches(1);
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].args, (Args{"-istart", path}));
}

// ---- The viewer program ------------------------------------------------------------

TEST(Jump, TheViewerDependsOnTheMinorVersion) {
  FakeSystem system;
  const std::string winhelp = system.AddRecorder("WINHELP.EXE");
  const std::string registered = system.AddRecorder("quillon-viewer");
  system.AddDesktopFile("quillon-viewer.desktop",
                        "[Desktop Entry]\nType=Application\nExec=quillon-viewer %f\n");
  struct Case {
    uint16_t minor;
    bool registration;
    std::string program;
  } cases[] = {
      {15, true, winhelp},
      {21, true, winhelp},
      {27, true, registered},
      {33, true, registered},
      // Nothing registered: WINHELP.EXE reads these too.
      {27, false, winhelp},
      {33, false, winhelp},
  };
  TempDir dir;
  for (const Case &c : cases) {
    system.AddXdgMime("application/x-winhelp", c.registration ? "quillon-viewer.desktop" : "");
    const uint32_t t = RecordOffsets(c.minor)[kReaderRecord];
    const std::string path =
        WriteHelpFile(dir, c.minor, std::vector<Context>{{HlpGenerateHashValue("topic"), t}});
    ClearLaunches(system);
    std::optional<Launch> launch = JumpAndRecord(system, path, t);
    ASSERT_TRUE(launch) << c.minor;
    EXPECT_EQ(launch->program, c.program) << c.minor << (c.registration ? " registered" : " not registered");
    EXPECT_EQ(launch->args, (Args{"-itopic", path})) << c.minor;
  }
}

// ---- Failures ----------------------------------------------------------------------

// The command line has 260 bytes: "WINHELP.EXE -i", the context string, a blank,
// the path and the terminator.  The file name goes on the command line as it
// is, so it need not exist for WINHELP.EXE.
TEST(Jump, ACommandLineLongerThanItsBufferIsNotStarted) {
  FakeSystem system;
  system.AddRecorder("WINHELP.EXE");
  TempDir dir;
  const uint32_t t = RecordOffsets(21)[kReaderRecord];
  const std::string help = WriteHelpFile(dir, 21, std::vector<Context>{{HlpGenerateHashValue("ctx"), t}});
  Placed placed(help, t);
  ASSERT_NE(placed.topic(), nullptr);
  const size_t longest = 260 - std::string("WINHELP.EXE -ictx ").size() - 1;
  const std::string fits = "/" + std::string(longest - 1, 'p');
  const std::string tooLong = fits + "p";

  EXPECT_EQ(HlpTopicJumpAPI(tooLong.c_str(), placed.topic()), 0);
  EXPECT_EQ(HlpTopicJumpAPI(fits.c_str(), placed.topic()), 1);
  std::vector<Launch> launches = system.WaitForLaunches(1);
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].args, (Args{"-ictx", fits}));
  // The over-long one would have been started first: give it the time to show.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(system.WaitForLaunches(1).size(), 1u);
}

TEST(Jump, NoViewerNoStart) {
  FakeSystem system(false);  // PATH holds only an empty folder
  TempDir dir;
  const uint32_t t = RecordOffsets(21)[kReaderRecord];
  const std::string path = WriteHelpFile(dir, 21, std::vector<Context>{{HlpGenerateHashValue("ctx"), t}});
  Placed placed(path, t);
  ASSERT_NE(placed.topic(), nullptr);
  EXPECT_EQ(HlpTopicJumpAPI(path.c_str(), placed.topic()), 0);
  EXPECT_EQ(HlpTopicJumpAPI(nullptr, placed.topic()), 0);
  EXPECT_EQ(HlpTopicJumpAPI(path.c_str(), nullptr), 0);
}

}  // namespace
