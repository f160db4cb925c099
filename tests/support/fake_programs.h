// Test-only stand-ins for the programs that the launcher starts, and the
// environment they are found through.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/help_builder.h"

namespace fixture {

// Sets (or, with nullopt, removes) an environment variable for the length of
// a scope.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string> &value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv &) = delete;
  ScopedEnv &operator=(const ScopedEnv &) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

// Writes an executable /bin/sh script and returns its path.
std::string WriteScript(const std::string &path, const std::string &body);

// A program that records how it was started and exits: one file per start in
// launchDir, named after its process id, holding the path it was run as and
// then each argument, one per line.  The file appears whole (it is renamed
// into place), so a reader never sees half of it.
std::string WriteRecorder(const std::string &path, const std::string &launchDir);

struct Launch {
  std::string program;  // the path it was run as
  std::vector<std::string> args;
  int pid = 0;
};

// The starts recorded in launchDir, waiting up to `timeout` until there are
// at least `count` of them.
std::vector<Launch> WaitForLaunches(const std::string &launchDir, size_t count,
                                    std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Waits until a file exists; false when the time runs out.
bool WaitForFile(const std::string &path, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// A folder of programs put first on PATH and a desktop MIME database of its
// own (XDG_DATA_HOME, XDG_DATA_DIRS), for the length of a scope: what
// WinExec and FindExecutableA find is only what a test puts there, whatever
// the machine has installed.
class FakeSystem {
 public:
  // keepSystemPath: the system's folders stay on PATH behind ours (for the
  // tools the scripts use); otherwise PATH holds our folder alone.
  explicit FakeSystem(bool keepSystemPath = true);
  const std::string &bin() const { return bin_; }
  const std::string &launches() const { return launches_; }
  const std::string &root() const { return dir_.path(); }

  // A recorder named `name` in bin(), recording into launches().
  std::string AddRecorder(const std::string &name);
  // An xdg-mime in bin() that gives every existing file the MIME type
  // mimeType and names desktopId (nothing when empty) as its program.
  void AddXdgMime(const std::string &mimeType, const std::string &desktopId);
  // A desktop file in the user's applications folder.
  void AddDesktopFile(const std::string &desktopId, const std::string &contents);
  std::vector<Launch> WaitForLaunches(size_t count,
                                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
    return fixture::WaitForLaunches(launches_, count, timeout);
  }

 private:
  TempDir dir_;
  std::string bin_, launches_;
  ScopedEnv path_, dataHome_, dataDirs_;
};

}  // namespace fixture
