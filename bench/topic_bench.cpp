// The topic reader's hot paths: LZ77 decoding of |TOPIC blocks (beside a
// plain memcpy of the same output), phrase expansion, and the whole path from
// |TOPIC to RTF pieces.
//
// Real files come from the shared corpus when this machine has it; the large
// manual is written by halibut during the build (bench/large.hlp).
#include <benchmark/benchmark.h>

#include <marlet/marlet.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "topic/blocks.h"
#include "topic/lz77.h"
#include "topic/phrases.h"
#include "topic/topic_handle.h"

using namespace marlet;

namespace {

std::string CorpusFile(const char *name) {
  std::string path = std::string(QUILLON_CORPUS_DIR) + "/hlp/" + name;
  return std::string(QUILLON_CORPUS_DIR).empty() || !std::filesystem::exists(path) ? "" : path;
}

struct OpenTopic {
  explicit OpenTopic(const std::string &path, uint32_t options = 0) {
    container = IFSOpen(path.c_str());
    if (container != nullptr) topic = HlpTopicOpen(container, options);
  }
  ~OpenTopic() {
    HlpTopicClose(topic);
    IFSClose(container);
  }
  IfsHandle container = nullptr;
  TopicHandle topic = nullptr;
};

// The stored blocks of a compressed |TOPIC, each as it lies in the file.
std::vector<std::vector<uint8_t>> StoredBlocks(const std::string &path) {
  std::vector<std::vector<uint8_t>> blocks;
  OpenTopic open(path);
  if (open.topic == nullptr || !open.topic->compressed) return blocks;
  TopicHandleRecord &t = *open.topic;
  for (int64_t start = 0; start < t.topicFileSize; start += t.blockSize) {
    int64_t n = std::min<int64_t>(t.blockDataSize, t.topicFileSize - start - 12);
    if (n <= 0) break;
    std::vector<uint8_t> block(static_cast<size_t>(n));
    IFSSeekFile(t.topicFile, static_cast<int32_t>(start + 12), 0);
    IFSReadFile(t.topicFile, block.data(), static_cast<uint32_t>(n));
    blocks.push_back(std::move(block));
  }
  return blocks;
}

void Lz77Blocks(benchmark::State &state, const char *name) {
  std::string path = CorpusFile(name);
  std::vector<std::vector<uint8_t>> blocks = path.empty() ? decltype(blocks){} : StoredBlocks(path);
  if (blocks.empty()) {
    state.SkipWithError("left out: no compressed corpus file on this machine");
    return;
  }
  std::vector<uint8_t> out(6 * 4084);
  size_t produced = 0;
  for (auto _ : state) {
    produced = 0;
    for (const auto &block : blocks) produced += Lz77Decode(Bytes(block), out).produced;
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * produced));
  state.counters["blocks"] = static_cast<double>(blocks.size());
}

// memcpy of as many bytes as the decoder produces per block, for comparison.
void MemcpyBlocks(benchmark::State &state, const char *name) {
  std::string path = CorpusFile(name);
  std::vector<std::vector<uint8_t>> blocks = path.empty() ? decltype(blocks){} : StoredBlocks(path);
  if (blocks.empty()) {
    state.SkipWithError("left out: no compressed corpus file on this machine");
    return;
  }
  std::vector<uint8_t> out(6 * 4084), scratch(6 * 4084);
  std::vector<size_t> sizes;
  for (const auto &block : blocks) sizes.push_back(Lz77Decode(Bytes(block), out).produced);
  size_t total = 0;
  for (size_t s : sizes) total += s;
  for (auto _ : state) {
    for (size_t s : sizes) {
      std::memcpy(out.data(), scratch.data(), s);
      benchmark::ClobberMemory();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * total));
}

// Every record's stored text, with the style it expands by.
struct Stored {
  std::vector<uint8_t> text;
  bool newStyle;
};

void ExpandRecords(benchmark::State &state, const char *name) {
  std::string path = CorpusFile(name);
  if (path.empty()) {
    state.SkipWithError("left out: no corpus file on this machine");
    return;
  }
  OpenTopic open(path);
  TopicHandleRecord &t = *open.topic;
  std::vector<Stored> records;
  std::vector<uint8_t> rest;
  while (true) {
    uint8_t header[21];
    if (ReadRecordBytes(t, header, 21) != 21) break;
    int32_t length = LoadI32(header), textLength = LoadI32(header + 4), formatLength = LoadI32(header + 16);
    rest.resize(static_cast<size_t>(length - 21));
    if (!rest.empty() && ReadRecordBytes(t, rest.data(), length - 21) != length - 21) break;
    uint32_t stored = static_cast<uint32_t>(length - formatLength);
    if (stored > 0 && stored <= static_cast<uint32_t>(textLength))
      records.push_back({std::vector<uint8_t>(rest.begin() + (formatLength - 21), rest.end()),
                         t.phraseOffsets != nullptr && stored < static_cast<uint32_t>(textLength)});
    if (LoadU32(header + 12) == kLastRecord) break;
  }
  std::vector<uint8_t> out(kExpansionLimit + 1);
  size_t produced = 0;
  for (auto _ : state) {
    produced = 0;
    for (const Stored &r : records) produced += ExpandText(t, Bytes(r.text), out.data(), kExpansionLimit, r.newStyle);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * produced));
  state.counters["records"] = static_cast<double>(records.size());
}

struct Counts {
  uint64_t bytes = 0;
  uint64_t topics = 0;
};

int32_t MARLET_API Count(const char *text, TopicOffset, int32_t event, MarletUserData user) {
  Counts &counts = *reinterpret_cast<Counts *>(user);
  counts.bytes += std::strlen(text);
  counts.topics += event == TopicEventTitle;
  return 1;
}

// The whole path: block reading, decompression, phrase expansion and
// rendering, every topic from the first.  Bytes processed are |TOPIC's bytes.
void EnumerateFile(benchmark::State &state, const std::string &path) {
  if (path.empty() || !std::filesystem::exists(path)) {
    state.SkipWithError("left out: file not on this machine");
    return;
  }
  IfsHandle container = IFSOpen(path.c_str());
  IfsFileHandle topicFile = IFSOpenFile(container, "|TOPIC");
  uint32_t topicSize = IFSSeekFile(topicFile, 0, 2);
  IFSCloseFile(topicFile);
  Counts counts;
  for (auto _ : state) {
    TopicHandle topic = HlpTopicOpen(container, HLP_TOPIC_FONTS);
    counts = {};
    HlpTopicEnumerate(topic, Count, reinterpret_cast<MarletUserData>(&counts));
    HlpTopicClose(topic);
  }
  IFSClose(container);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * topicSize);
  state.counters["rtf_MBps"] = benchmark::Counter(static_cast<double>(counts.bytes) / 1e6 * state.iterations(),
                                                  benchmark::Counter::kIsRate);
  state.counters["topics_per_s"] =
      benchmark::Counter(static_cast<double>(counts.topics) * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["topic_MB"] = topicSize / 1e6;
}

}  // namespace

BENCHMARK_CAPTURE(Lz77Blocks, Apro, "AsyncPro__Apro.hlp");
BENCHMARK_CAPTURE(MemcpyBlocks, Apro, "AsyncPro__Apro.hlp");
BENCHMARK_CAPTURE(Lz77Blocks, OT50, "eudora-win__OT50.HLP");
BENCHMARK_CAPTURE(MemcpyBlocks, OT50, "eudora-win__OT50.HLP");
BENCHMARK_CAPTURE(ExpandRecords, NewStyle_Apro, "AsyncPro__Apro.hlp");
BENCHMARK_CAPTURE(ExpandRecords, OldStyle_DDAG31WH, "oemdisplay-tandy__DDAG31WH.HLP");
BENCHMARK_CAPTURE(EnumerateFile, Apro, CorpusFile("AsyncPro__Apro.hlp"));
BENCHMARK_CAPTURE(EnumerateFile, OT50, CorpusFile("eudora-win__OT50.HLP"));
BENCHMARK_CAPTURE(EnumerateFile, EUDORA, CorpusFile("eudora-win__EUDORA.HLP"));
BENCHMARK_CAPTURE(EnumerateFile, DDAG31WH, CorpusFile("oemdisplay-tandy__DDAG31WH.HLP"));
BENCHMARK_CAPTURE(EnumerateFile, MWBACKUP_30, CorpusFile("oemdisplay-tandy__MWBACKUP.HLP"));
BENCHMARK_CAPTURE(EnumerateFile, LargeHalibut, std::string(QUILLON_BENCH_DATA_DIR) + "/large.hlp");

BENCHMARK_MAIN();
