// The whole site of a help file (hlp2html's work: pages, pictures, index,
// keyword and search pages) and, beside it, the document layer alone reading
// every topic into the model.  The largest real files and the generated
// halibut manual (bench/large.hlp).  Sites are written under the system's
// temporary folder, replacing the previous iteration's files, as a second run
// of hlp2html into the same folder does.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "quillon/document/help_file.h"
#include "quillon/html/site.h"

namespace {

std::string CorpusFile(const char *name) {
  std::string path = std::string(QUILLON_CORPUS_DIR) + "/hlp/" + name;
  return std::string(QUILLON_CORPUS_DIR).empty() || !std::filesystem::exists(path) ? "" : path;
}

std::string LargeFile() {
  std::string path = std::string(QUILLON_BENCH_DATA_DIR) + "/large.hlp";
  return std::filesystem::exists(path) ? path : "";
}

void Site(benchmark::State &state, const std::string &path, unsigned threads) {
  if (path.empty()) {
    state.SkipWithError("file not on this machine");
    return;
  }
  std::string out = (std::filesystem::temp_directory_path() / "quillon-site-bench").string();
  quillon::html::SiteOptions options;
  options.threads = threads;
  size_t topics = 0, files = 0;
  for (auto _ : state) {
    quillon::html::SiteReport report = quillon::html::WriteSite(path, out, options);
    topics = report.topics;
    files = report.filesWritten;
  }
  state.counters["topics"] = static_cast<double>(topics);
  state.counters["files"] = static_cast<double>(files);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * std::filesystem::file_size(path)));
}

void Model(benchmark::State &state, const std::string &path) {
  if (path.empty()) {
    state.SkipWithError("file not on this machine");
    return;
  }
  size_t topics = 0;
  for (auto _ : state) {
    std::unique_ptr<quillon::document::HelpFile> file = quillon::document::HelpFile::Open(path);
    topics = 0;
    file->ReadAll([&](quillon::document::Topic &topic) {
      benchmark::DoNotOptimize(topic.body.data());
      ++topics;
      return true;
    });
  }
  state.counters["topics"] = static_cast<double>(topics);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * std::filesystem::file_size(path)));
}

const char *const kFiles[] = {"eudora-win__EUDORA.HLP", "AsyncPro__Apro.hlp", "eudora-win__OT50.HLP",
                              "FlexDSL__HELP.HLP", "oemdisplay-tandy__DDAG31WH.HLP", "oemdisplay-tandy__MWBACKUP.HLP",
                              "oemdisplay-tandy__PROGMAN.HLP"};

int Register() {
  for (const char *name : kFiles) {
    std::string path = CorpusFile(name);
    benchmark::RegisterBenchmark((std::string("Site/") + name).c_str(), Site, path, 0u)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark((std::string("SiteOneThread/") + name).c_str(), Site, path, 1u)
        ->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark((std::string("Model/") + name).c_str(), Model, path)->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("Site/large.hlp", Site, LargeFile(), 0u)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("Model/large.hlp", Model, LargeFile())->Unit(benchmark::kMillisecond);
  return 0;
}

const int registered = Register();

}  // namespace
BENCHMARK_MAIN();
