#include "support/fake_programs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace fixture {

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string> &value) : name_(std::move(name)) {
  if (const char *old = std::getenv(name_.c_str())) saved_ = old;
  if (value)
    ::setenv(name_.c_str(), value->c_str(), 1);
  else
    ::unsetenv(name_.c_str());
}

ScopedEnv::~ScopedEnv() {
  if (saved_)
    ::setenv(name_.c_str(), saved_->c_str(), 1);
  else
    ::unsetenv(name_.c_str());
}

std::string WriteScript(const std::string &path, const std::string &body) {
  {
    std::ofstream out(path, std::ios::binary);
    out << "#!/bin/sh\n" << body;
    if (!out) throw std::runtime_error("cannot write " + path);
  }
  if (::chmod(path.c_str(), 0755) != 0) throw std::runtime_error("cannot make " + path + " executable");
  return path;
}

std::string WriteRecorder(const std::string &path, const std::string &launchDir) {
  std::filesystem::create_directories(launchDir);
  return WriteScript(
      path,
      "out='" + launchDir +
          "'/$$\n"
          "{ printf '%s\\n' \"$0\"; for arg in \"$@\"; do printf '%s\\n' \"$arg\"; done; } > \"$out.tmp\"\n"
          "mv \"$out.tmp\" \"$out\"\n");
}

namespace {

std::vector<Launch> ReadLaunches(const std::string &launchDir) {
  std::vector<Launch> launches;
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator(launchDir, error)) {
    const std::string name = entry.path().filename().string();
    if (name.find('.') != std::string::npos) continue;  // not yet complete
    Launch launch;
    launch.pid = std::atoi(name.c_str());
    std::ifstream in(entry.path());
    std::getline(in, launch.program);
    for (std::string line; std::getline(in, line);) launch.args.push_back(line);
    launches.push_back(std::move(launch));
  }
  std::sort(launches.begin(), launches.end(), [](const Launch &a, const Launch &b) { return a.pid < b.pid; });
  return launches;
}

}  // namespace

std::vector<Launch> WaitForLaunches(const std::string &launchDir, size_t count,
                                    std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  std::vector<Launch> launches = ReadLaunches(launchDir);
  while (launches.size() < count && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    launches = ReadLaunches(launchDir);
  }
  return launches;
}

bool WaitForFile(const std::string &path, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (::access(path.c_str(), F_OK) != 0) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

FakeSystem::FakeSystem(bool keepSystemPath)
    : bin_(dir_.path() + "/bin"),
      launches_(dir_.path() + "/launches"),
      path_("PATH",
            keepSystemPath && std::getenv("PATH") != nullptr ? bin_ + ":" + std::getenv("PATH") : bin_),
      dataHome_("XDG_DATA_HOME", dir_.path() + "/share"),
      dataDirs_("XDG_DATA_DIRS", dir_.path() + "/no-system-share") {
  std::filesystem::create_directories(bin_);
  std::filesystem::create_directories(launches_);
  std::filesystem::create_directories(dir_.path() + "/share/applications");
}

std::string FakeSystem::AddRecorder(const std::string &name) {
  return WriteRecorder(bin_ + "/" + name, launches_);
}

void FakeSystem::AddXdgMime(const std::string &mimeType, const std::string &desktopId) {
  WriteScript(bin_ + "/xdg-mime",
              "case \"$1 $2\" in\n"
              "  'query filetype') [ -e \"$3\" ] && echo '" +
                  mimeType +
                  "' ;;\n"
                  "  'query default') [ \"$3\" = '" +
                  mimeType + "' ] && [ -n '" + desktopId + "' ] && echo '" + desktopId +
                  "' ;;\n"
                  "esac\n"
                  "exit 0\n");
}

void FakeSystem::AddDesktopFile(const std::string &desktopId, const std::string &contents) {
  std::ofstream out(dir_.path() + "/share/applications/" + desktopId, std::ios::binary);
  out << contents;
}

}  // namespace fixture
