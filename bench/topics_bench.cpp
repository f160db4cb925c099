// Reading every topic and its plain text: the document layer's ReadAll with
// PlainText for each topic, the work `for t in f.topics(): t.text` asks of
// the Python binding.  python/bench/topics.py times the binding on the same
// files; the two figures side by side show what the binding costs.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "quillon/document/help_file.h"
#include "quillon/document/plain_text.h"

namespace {

std::string CorpusFile(const char *name) {
  std::string path = std::string(QUILLON_CORPUS_DIR) + "/hlp/" + name;
  return std::string(QUILLON_CORPUS_DIR).empty() || !std::filesystem::exists(path) ? "" : path;
}

// Opening included, as the binding's topics() opens the file for its reader.
void TopicsAndText(benchmark::State &state, const std::string &path) {
  if (path.empty()) {
    state.SkipWithError("file not on this machine");
    return;
  }
  size_t topics = 0, characters = 0;
  for (auto _ : state) {
    std::unique_ptr<quillon::document::HelpFile> file = quillon::document::HelpFile::Open(path);
    topics = characters = 0;
    file->ReadAll([&](quillon::document::Topic &topic) {
      std::string text = quillon::document::PlainText(topic);
      characters += text.size();
      benchmark::DoNotOptimize(text.data());
      ++topics;
      return true;
    });
  }
  state.counters["topics"] = static_cast<double>(topics);
  state.counters["bytes_of_text"] = static_cast<double>(characters);
}

int Register() {
  for (const char *name : {"eudora-win__EUDORA.HLP", "AsyncPro__Apro.hlp", "oemdisplay-tandy__DDAG31WH.HLP"})
    benchmark::RegisterBenchmark((std::string("TopicsAndText/") + name).c_str(), TopicsAndText, CorpusFile(name))
        ->Unit(benchmark::kMillisecond);
  return 0;
}

const int registered = Register();

}  // namespace

BENCHMARK_MAIN();
