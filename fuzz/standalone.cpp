// A main() for a target built without libFuzzer: runs it once on every file
// named on the command line, and on every file in the folders named there, as
// libFuzzer runs a target on the files it is given.  Arguments beginning with
// "-" (libFuzzer's options) are ignored.  Prints the number of inputs and the
// slowest one.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

std::vector<uint8_t> ReadFile(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument.empty() || argument[0] == '-') continue;
    std::error_code error;
    if (std::filesystem::is_directory(argument, error)) {
      for (const auto &entry : std::filesystem::recursive_directory_iterator(argument, error))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    } else if (std::filesystem::is_regular_file(argument, error)) {
      inputs.push_back(argument);
    } else {
      std::fprintf(stderr, "%s: no such file or folder\n", argument.c_str());
      return 2;
    }
  }
  std::sort(inputs.begin(), inputs.end());
  double slowest = 0;
  std::string slowestName;
  for (const auto &path : inputs) {
    std::vector<uint8_t> bytes = ReadFile(path);
    auto start = std::chrono::steady_clock::now();
    // A valid address for an empty input, as libFuzzer passes one.
    static const uint8_t kNothing = 0;
    LLVMFuzzerTestOneInput(bytes.empty() ? &kNothing : bytes.data(), bytes.size());
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (ms > slowest) slowest = ms, slowestName = path.string();
  }
  std::printf("%zu inputs; slowest %.1f ms (%s)\n", inputs.size(), slowest, slowestName.c_str());
  return 0;
}
