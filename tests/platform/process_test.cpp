// Starting programs: WinExec and FindExecutableA.
#include <gtest/gtest.h>
#include <quillon/platform.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/fake_programs.h"

using namespace fixture;

namespace {

using Args = std::vector<std::string>;

// True when this process has no child at all: none running and no zombie.
bool HasNoChild() {
  errno = 0;
  return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

// ---- WinExec --------------------------------------------------------------------

TEST(WinExec, StartsTheFirstWordFromPathWithTheRestAsArguments) {
  FakeSystem system;
  const std::string viewer = system.AddRecorder("WINHELP.EXE");
  const std::string other = system.AddRecorder("viewer");
  struct Case {
    std::string commandLine;
    std::string program;
    Args args;
  } cases[] = {
      {"WINHELP.EXE -iabc /tmp/x.hlp", viewer, {"-iabc", "/tmp/x.hlp"}},
      {"WINHELP.EXE", viewer, {}},
      {"  WINHELP.EXE \t -i   two  words ", viewer, {"-i", "two", "words"}},  // runs of blanks split once
      {other + " -i a", other, {"-i", "a"}},                                  // a path is taken as it is
  };
  for (const Case &c : cases) {
    std::filesystem::remove_all(system.launches());
    std::filesystem::create_directories(system.launches());
    EXPECT_GE(WinExec(c.commandLine.c_str(), SW_SHOW), 32u) << c.commandLine;
    std::vector<Launch> launches = system.WaitForLaunches(1);
    ASSERT_EQ(launches.size(), 1u) << c.commandLine;
    EXPECT_EQ(launches[0].program, c.program) << c.commandLine;
    EXPECT_EQ(launches[0].args, c.args) << c.commandLine;
  }
}

TEST(WinExec, ReturnsWithoutWaitingAndLeavesNoChildBehind) {
  FakeSystem system;
  const std::string started = system.root() + "/started", release = system.root() + "/release",
                    done = system.root() + "/done";
  WriteScript(system.bin() + "/waiter", "touch '" + started +
                                            "'\n"
                                            "while [ ! -e '" +
                                            release +
                                            "' ]; do sleep 0.02; done\n"
                                            "touch '" +
                                            done + "'\n");
  struct Release {  // whatever happens, the program is let go
    std::string path;
    ~Release() { WriteScript(path, ""); }
  } letGo{release};

  const int descriptors = OpenDescriptorCount();
  ASSERT_GE(WinExec("waiter", SW_SHOW), 32u);
  ASSERT_TRUE(WaitForFile(started));
  // Still running, and yet not our child: the one we made is reaped.
  EXPECT_FALSE(std::filesystem::exists(done));
  EXPECT_TRUE(HasNoChild());
  EXPECT_EQ(OpenDescriptorCount(), descriptors);

  WriteScript(release, "");
  EXPECT_TRUE(WaitForFile(done));
}

TEST(WinExec, ReportsWhyAProgramCouldNotStart) {
  FakeSystem system(false);
  WriteScript(system.bin() + "/not-runnable", "");
  std::filesystem::permissions(system.bin() + "/not-runnable",
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  {
    std::ofstream garbage(system.bin() + "/garbage", std::ios::binary);
    garbage << "\x7f"
            << "not a program";
  }
  std::filesystem::permissions(system.bin() + "/garbage", std::filesystem::perms::owner_all);
  struct Case {
    std::string commandLine;
    UINT result;
  } cases[] = {
      {"WINHELP.EXE -i x.hlp", 2},  // not on PATH
      {"", 2},
      {"   ", 2},
      {system.root() + "/missing/program", 2},
      {system.bin() + "/not-runnable/below", 3},  // a file where a folder should be
      {"not-runnable", 5},
      {"garbage", 11},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(WinExec(c.commandLine.c_str(), SW_SHOW), c.result) << c.commandLine;
  }
  EXPECT_EQ(WinExec(nullptr, SW_SHOW), 2u);
  EXPECT_TRUE(HasNoChild());
}

TEST(WinExec, WorksInAHostThatIgnoresChildSignals) {
  FakeSystem system;
  system.AddRecorder("WINHELP.EXE");
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGCHLD, &ignore, &previous), 0);
  UINT result = WinExec("WINHELP.EXE -ia b", SW_SHOW);
  ::sigaction(SIGCHLD, &previous, nullptr);
  EXPECT_GE(result, 32u);
  std::vector<Launch> launches = system.WaitForLaunches(1);
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].args, (Args{"-ia", "b"}));
}

// ---- FindExecutableA ------------------------------------------------------------

constexpr const char *kType = "application/x-winhelp";

struct Found {
  intptr_t result;
  std::string program;
};

Found Find(const std::string &file, const char *directory = ".") {
  char buffer[MAX_PATH];
  std::memset(buffer, 'x', sizeof buffer);
  Found found;
  found.result = reinterpret_cast<intptr_t>(FindExecutableA(file.c_str(), directory, buffer));
  found.program = buffer;
  return found;
}

TEST(FindExecutable, TheProgramOfTheDesktopFileRegisteredForTheType) {
  FakeSystem system;
  const std::string viewer = system.AddRecorder("quillon-viewer");
  const std::string spaced = system.root() + "/my viewer";
  WriteScript(spaced, "");
  TempDir files;
  const std::string help = files.Write("guide.hlp", Bytes(16, 0));
  struct Case {
    const char *what;
    std::string desktop;  // contents of the desktop file; "" for none
    intptr_t result;      // 0: above 32
    std::string program;
  } cases[] = {
      {"program on PATH", "[Desktop Entry]\nType=Application\nExec=quillon-viewer %f\n", 0, viewer},
      {"absolute path", "[Desktop Entry]\nExec=" + viewer + " %u\n", 0, viewer},
      {"quoted path with a blank", "[Desktop Entry]\nExec=\"" + spaced + "\" %f\n", 0, spaced},
      {"blanks around =, CRLF", "[Desktop Entry]\r\nExec = quillon-viewer\r\n", 0, viewer},
      {"Exec of another group only", "[Desktop Action x]\nExec=quillon-viewer\n[Desktop Entry]\nName=v\n", 31,
       ""},
      {"program not installed", "[Desktop Entry]\nExec=no-such-viewer %f\n", 31, ""},
      {"no desktop file", "", 31, ""},
  };
  for (const Case &c : cases) {
    std::filesystem::remove(system.root() + "/share/applications/quillon.desktop");
    system.AddXdgMime(kType, "quillon.desktop");
    if (!c.desktop.empty()) system.AddDesktopFile("quillon.desktop", c.desktop);
    Found found = Find(help);
    if (c.result == 0)
      EXPECT_GT(found.result, 32) << c.what;
    else
      EXPECT_EQ(found.result, c.result) << c.what;
    EXPECT_EQ(found.program, c.program) << c.what;
  }
}

TEST(FindExecutable, NoResultWithoutARegisteredProgram) {
  TempDir files;
  const std::string help = files.Write("guide.hlp", Bytes(16, 0));
  {
    FakeSystem system;
    system.AddXdgMime(kType, "");  // a type, but no program for it
    Found found = Find(help);
    EXPECT_EQ(found.result, 31);
    EXPECT_EQ(found.program, "");
  }
  {
    FakeSystem system(false);  // no xdg-mime at all
    Found found = Find(help);
    EXPECT_EQ(found.result, 31);
    EXPECT_EQ(found.program, "");
  }
}

TEST(FindExecutable, TheFileMustExistAndIsTakenFromTheDirectory) {
  FakeSystem system;
  const std::string viewer = system.AddRecorder("quillon-viewer");
  system.AddXdgMime(kType, "quillon.desktop");
  system.AddDesktopFile("quillon.desktop", "[Desktop Entry]\nExec=quillon-viewer %f\n");
  TempDir files;
  files.Write("guide.hlp", Bytes(16, 0));
  EXPECT_EQ(Find(files.path() + "/missing.hlp").result, 2);
  EXPECT_EQ(Find(files.path() + "/missing.hlp").program, "");
  EXPECT_EQ(Find("guide.hlp", files.path().c_str()).program, viewer);
  EXPECT_EQ(Find("guide.hlp", system.root().c_str()).result, 2);  // not in that folder
  EXPECT_TRUE(HasNoChild());                                      // xdg-mime was waited for
}

}  // namespace
