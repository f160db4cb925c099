// The context hash and its reversal: the reversal runs once per context entry
// in the listers and once per jump in topic text, so it has to be fast and
// must not allocate.
//
//   build-bench/bin/bench_hash_bench
//
// Every malloc of the process is counted (glibc), and a benchmark whose timed
// loop allocates fails.
#include <benchmark/benchmark.h>

#include <marlet/marlet.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#if defined(__GLIBC__)
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
}
namespace {
std::atomic<long> g_allocations{0};
}
extern "C" {
void *malloc(size_t bytes) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(bytes);
}
void *calloc(size_t count, size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, size);
}
void *realloc(void *block, size_t bytes) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(block, bytes);
}
}
long Allocations() { return g_allocations.load(std::memory_order_relaxed); }
#else
long Allocations() { return 0; }
#endif

namespace {

constexpr size_t kHashCount = 1'000'000;

const std::vector<ContextHash> &RandomHashes() {
  static const std::vector<ContextHash> hashes = [] {
    std::mt19937 random(20260101);
    std::vector<ContextHash> out(kHashCount);
    for (ContextHash &hash : out) hash = static_cast<ContextHash>(random());
    return out;
  }();
  return hashes;
}

// Context strings as help authors write them.
const std::vector<std::string> &ContextStrings() {
  static const std::vector<std::string> strings = [] {
    std::mt19937 random(7);
    const char *stems[] = {"IDH_", "contents", "Ind", "about_box", "IDM_FILE_OPEN.", "cn", "topic"};
    std::vector<std::string> out;
    for (int i = 0; i < 4096; ++i)
      out.push_back(stems[random() % 7] + std::to_string(random() % 100000) + (i % 3 ? "_x" : ""));
    return out;
  }();
  return strings;
}

// One iteration reverses all million hashes.
void BM_CreateStringForHashValue(benchmark::State &state) {
  const std::vector<ContextHash> &hashes = RandomHashes();
  char buffer[20];
  long failed = 0;
  long before = Allocations();
  for (auto _ : state) {
    for (ContextHash hash : hashes) {
      failed += HlpCreateStringForHashValue(hash, buffer) == 0;
      benchmark::DoNotOptimize(buffer);
    }
  }
  long allocations = Allocations() - before;
  if (allocations != 0) state.SkipWithError("the reversal allocated memory");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * hashes.size()));
  state.counters["ns_per_call"] = benchmark::Counter(
      static_cast<double>(state.iterations() * hashes.size()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::OneK::kIs1000);
  state.counters["unreversed"] = static_cast<double>(failed) / static_cast<double>(state.iterations());
  state.counters["allocations"] = static_cast<double>(allocations);
}
BENCHMARK(BM_CreateStringForHashValue)->Unit(benchmark::kMillisecond);

void BM_GenerateHashValue(benchmark::State &state) {
  const std::vector<std::string> &strings = ContextStrings();
  uint32_t sum = 0;
  long before = Allocations();
  for (auto _ : state) {
    for (const std::string &text : strings) sum += static_cast<uint32_t>(HlpGenerateHashValue(text.c_str()));
  }
  benchmark::DoNotOptimize(sum);
  long allocations = Allocations() - before;
  if (allocations != 0) state.SkipWithError("the hash allocated memory");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * strings.size()));
  state.counters["allocations"] = static_cast<double>(allocations);
}
BENCHMARK(BM_GenerateHashValue);

}  // namespace

BENCHMARK_MAIN();
