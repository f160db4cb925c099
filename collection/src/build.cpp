// The library on one machine: the first walk, then workers converting one
// help file each while the reading thread walks the input again and feeds
// them through a short queue.  Memory is bounded by the queue's length and
// the workers' files (each worker holds one help file and the few topics
// WriteSite keeps), whatever the size of the collection; the catalogue is a
// few bytes per input.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "quillon/collection/library.h"

namespace quillon::collection {

namespace {

struct Job {
  size_t help;
  std::shared_ptr<const std::string> bytes;
};

class JobQueue {
 public:
  explicit JobQueue(size_t length) : length_(std::max<size_t>(1, length)) {}
  void Push(Job job) {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return jobs_.size() < length_; });
    jobs_.push_back(std::move(job));
    ready_.notify_one();
  }
  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    ready_.notify_all();
  }
  bool Pop(Job &job) {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return !jobs_.empty() || closed_; });
    if (jobs_.empty()) return false;
    job = std::move(jobs_.front());
    jobs_.pop_front();
    room_.notify_one();
    return true;
  }

 private:
  size_t length_;
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::deque<Job> jobs_;
  bool closed_ = false;
};

}  // namespace

BuildReport BuildLibrary(const std::string &input, const std::string &outDir, const BuildOptions &options) {
  BuildReport report;
  const auto start = std::chrono::steady_clock::now();
  std::mutex progressMutex;
  BuildProgress state;
  std::chrono::steady_clock::time_point last{};  // under progressMutex, as all of `state`
  auto tell = [&](bool force) {
    if (!options.progress) return;
    auto now = std::chrono::steady_clock::now();
    if (!force && now - last < std::chrono::milliseconds(100)) return;
    last = now;
    state.seconds = std::chrono::duration<double>(now - start).count();
    options.progress(state);
  };

  state.scanning = true;
  std::optional<Catalogue> scanned = Scan(input, options.limits, &report.why, [&](size_t inputs, size_t) {
    std::lock_guard lock(progressMutex);
    state.done = inputs;
    tell(false);
  });
  if (!scanned) return report;
  const Catalogue &catalogue = *scanned;

  std::vector<Converted> results(catalogue.helps.size());
  std::vector<bool> pending(catalogue.helps.size(), false);
  {
    std::lock_guard lock(progressMutex);
    state.scanning = false;
    state.done = 0;
    state.helpFiles = catalogue.helps.size();
    for (const HelpEntry &entry : catalogue.helps) state.bytes += entry.size;
  }
  size_t toConvert = 0;
  for (size_t i = 0; i < catalogue.helps.size(); ++i) {
    if (std::optional<Converted> kept = KeptSite(catalogue, i, outDir)) {
      results[i] = *kept;
      std::lock_guard lock(progressMutex);
      ++state.done;
      state.topics += kept->topics;
      state.bytesDone += catalogue.helps[i].size;
    } else {
      pending[i] = true;
      results[i].status = "failed";
      results[i].why = "not found again on the second reading of the input";
      ++toConvert;
    }
  }
  {
    std::lock_guard lock(progressMutex);
    tell(true);
  }

  if (toConvert > 0) {
    unsigned jobs = options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    jobs = static_cast<unsigned>(std::min<size_t>(jobs, toConvert));
    JobQueue queue(jobs);
    std::vector<std::thread> workers;
    for (unsigned w = 0; w < jobs; ++w)
      workers.emplace_back([&] {
        Job job;
        while (queue.Pop(job)) {
          Converted c = ConvertHelpFile(catalogue, job.help, std::move(job.bytes), outDir);
          job.bytes.reset();
          std::lock_guard lock(progressMutex);
          results[job.help] = c;
          ++state.done;
          if (c.Lost()) ++state.failed;
          state.topics += c.topics;
          state.bytesDone += catalogue.helps[job.help].size;
          tell(false);
        }
      });
    ReadHelpFiles(
        catalogue, input, options.limits, [&](size_t help) { return pending[help]; },
        [&](size_t help, std::shared_ptr<const std::string> bytes) {
          queue.Push({help, std::move(bytes)});
          return true;
        });
    queue.Close();
    for (std::thread &worker : workers) worker.join();
  }
  {
    std::lock_guard lock(progressMutex);
    tell(true);
  }

  std::string why;
  bool written = WriteLibraryPages(catalogue, results, input, outDir, &why);
  report = Summarize(catalogue, results);
  report.ok = written;
  if (!written) report.why = why;
  return report;
}

BuildReport Summarize(const Catalogue &catalogue, const std::vector<Converted> &results) {
  BuildReport report;
  report.ok = true;
  report.inputs = catalogue.inputs.size();
  report.helpFiles = catalogue.helps.size();
  for (const InputRecord &record : catalogue.inputs) {
    if (record.help >= 0 && static_cast<size_t>(record.help) < results.size()) {
      const Converted &c = results[record.help];
      if (c.status == "converted") ++report.converted;
      if (c.status == "unchanged") ++report.unchanged;
      report.topics += c.topics;
      if (c.Lost()) {
        ++report.failed;
        std::string what = !c.why.empty() ? c.why : "something of it did not reach its site";
        report.failures.push_back(record.origin + ": " + what);
      }
    } else if (record.kind == "failed") {
      ++report.failed;
      report.failures.push_back(record.origin + ": " + record.why);
    } else {
      ++report.others;
    }
  }
  return report;
}

}  // namespace quillon::collection
