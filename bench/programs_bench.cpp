// The programs' whole path, as the programs run it but into memory: hlp2rtf's
// export of every topic as RTF (with its pictures converted) and as plain
// text, through the shared library's exports.  Each iteration opens the help
// file, exports it and closes it again; only process start and the writes to
// disk are left out (bench/whole_process.sh times the whole processes).
//
// Real files come from the shared corpus when this machine has it; the large
// manuals are written by halibut during the build: bench/large.hlp always,
// large-x4.hlp and large-x16.hlp (4 and 16 times its topics) with the target
// bench_linearity_data, to show that the cost grows with the file's size alone.
#include <benchmark/benchmark.h>
#include <marlet/marlet.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/output.h"
#include "export.h"

namespace {

std::string CorpusFile(const char *name) { return std::string(QUILLON_CORPUS_DIR) + "/hlp/" + name; }
std::string BenchFile(const char *name) { return std::string(QUILLON_BENCH_DATA_DIR) + "/" + name; }

struct Pictures {
  IfsHandle container;
  std::string *files;  // every picture's file, one after the other
};

int32_t MARLET_API ConvertPicture(const char *name, int32_t, MarletUserData user) {
  Pictures &p = *reinterpret_cast<Pictures *>(user);
  if (!hlp2rtf::IsPictureName(name)) return 1;
  if (IfsFileHandle file = IFSOpenFile(p.container, name)) {
    hlp2rtf::Picture picture(file);
    IFSCloseFile(file);
    programs::Output out(p.files);
    picture.Write(out);
  }
  return 1;
}

// hlp2rtf -o F.rtf -p DIR (text false) or hlp2rtf -t (text true).
void Export(benchmark::State &state, const std::string &path, bool text) {
  if ((std::string(QUILLON_CORPUS_DIR).empty() && path.find("/hlp/") != std::string::npos) ||
      !std::filesystem::exists(path)) {
    state.SkipWithError("left out: file not on this machine");
    return;
  }
  // Kept from run to run: the first run of a large file grows them, and the
  // fresh pages of an 80 MB string would otherwise be most of what a run of
  // one iteration measures.
  static std::string document, pictureFiles;
  for (auto _ : state) {
    document.clear();  // the capacities stay: the strings' growth is not measured
    pictureFiles.clear();
    IfsHandle container = IFSOpen(path.c_str());
    TopicHandle topic = HlpTopicOpen(container, text ? 0 : HLP_TOPIC_FONTS);
    {
      programs::Output out(&document);
      hlp2rtf::ExportTopics(container, topic, text, out);
      out.Flush();
    }
    if (!text) {
      Pictures pictures{container, &pictureFiles};
      IFSEnumerateFiles(container, ConvertPicture, reinterpret_cast<MarletUserData>(&pictures));
    }
    HlpTopicClose(topic);
    IFSClose(container);
    benchmark::DoNotOptimize(document.data());
  }
  const double fileBytes = static_cast<double>(std::filesystem::file_size(path));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fileBytes));
  state.counters["file_MB"] = fileBytes / 1e6;
  state.counters["output_MB"] = static_cast<double>(document.size()) / 1e6;
  if (!text) state.counters["picture_MB"] = static_cast<double>(pictureFiles.size()) / 1e6;
}

void Rtf(benchmark::State &state, const std::string &path) { Export(state, path, false); }
void Text(benchmark::State &state, const std::string &path) { Export(state, path, true); }

}  // namespace

BENCHMARK_CAPTURE(Rtf, EUDORA, CorpusFile("eudora-win__EUDORA.HLP"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Rtf, Apro, CorpusFile("AsyncPro__Apro.hlp"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Rtf, OT50, CorpusFile("eudora-win__OT50.HLP"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Rtf, FlexDSL_pictures, CorpusFile("FlexDSL__HELP.HLP"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Rtf, MWBACKUP_30, CorpusFile("oemdisplay-tandy__MWBACKUP.HLP"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Rtf, LargeHalibut_x1, BenchFile("large.hlp"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Rtf, LargeHalibut_x4, BenchFile("large-x4.hlp"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Rtf, LargeHalibut_x16, BenchFile("large-x16.hlp"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Text, EUDORA, CorpusFile("eudora-win__EUDORA.HLP"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Text, MWBACKUP_30, CorpusFile("oemdisplay-tandy__MWBACKUP.HLP"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Text, LargeHalibut_x1, BenchFile("large.hlp"))->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
