// corvat in a real terminal: tmux runs it, send-keys types, capture-pane reads
// the screen.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "support/fake_programs.h"
#include "support/help_builder.h"

namespace {

using fixture::CommandResult;
using fixture::RunCommand;

std::string Quote(const std::string &text) { return "'" + text + "'"; }

// A tmux server of our own, on a socket in a temporary folder and with no
// configuration file, so that neither a user's tmux nor their settings are
// involved.  Panes stay when their program ends, so that the last screen can
// still be read.
class Tmux {
 public:
  Tmux() : socket_(dir_.path() + "/tmux.sock"), status_(dir_.path() + "/status") {}
  ~Tmux() { Run("kill-server"); }
  Tmux(const Tmux &) = delete;
  Tmux &operator=(const Tmux &) = delete;

  CommandResult Run(const std::string &args) const {
    return RunCommand("tmux -f /dev/null -S " + Quote(socket_) + " " + args + " 2>&1");
  }

  // Starts a program in a new 80 x 24 terminal.  A shell around it notes its
  // exit status in a file: the shell waits for it itself, which does not
  // depend on the tmux server noticing that its child ended.
  bool Start(const std::string &program) {
    const std::string script = fixture::WriteScript(
        dir_.path() + "/run", Quote(program) + "\necho $? > " + Quote(status_) + ".tmp\nmv " +
                                  Quote(status_ + ".tmp") + " " + Quote(status_) + "\n");
    return Run("start-server \\; set-window-option -g remain-on-exit on \\; new-session -d -s corvat -x 80 "
               "-y 24 " +
               Quote(script))
               .exitCode == 0;
  }
  void Keys(const std::string &keys) const { Run("send-keys -t corvat " + keys); }
  void Type(const std::string &text) const { Run("send-keys -t corvat -l " + Quote(text)); }
  std::string Screen() const { return Run("capture-pane -p -t corvat").out; }

  // Waits until the screen shows the text; false when the time runs out.
  bool WaitFor(const std::string &text) const {
    return Poll([&] { return Screen().find(text) != std::string::npos; });
  }
  // Waits until the program has ended; its exit status, or -1.
  int WaitForExit() const {
    if (!fixture::WaitForFile(status_, std::chrono::seconds(20))) return -1;
    std::ifstream in(status_);
    int status = -1;
    in >> status;
    return status;
  }

 private:
  template <typename Done>
  static bool Poll(Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }
  fixture::TempDir dir_;
  std::string socket_, status_;
};

class Terminal : public testing::Test {
 protected:
  void SetUp() override {
    if (RunCommand("command -v tmux >/dev/null 2>&1").exitCode != 0)
      GTEST_SKIP()
          << "tmux is not installed (scripts/deps.sh installs it): corvat is not tried in a terminal";
  }
};

TEST_F(Terminal, TheHashFollowsTheTypingAndOkEndsWithZero) {
  Tmux tmux;
  ASSERT_TRUE(tmux.Start(fixture::ProgramPath("corvat")));
  ASSERT_TRUE(tmux.WaitFor("Recompute Context Id")) << tmux.Screen();
  for (const char *label : {"Context Id", "Hash-Value in Hex", "presumption", "Regenerated", "Hashcode"})
    EXPECT_NE(tmux.Screen().find(label), std::string::npos) << label << "\n" << tmux.Screen();

  tmux.Keys("Tab");  // the dialog starts with no focus
  tmux.Type("IDH_Contents");
  EXPECT_TRUE(tmux.WaitFor("0x68310bee")) << tmux.Screen();
  tmux.Keys("BSpace");  // "IDH_Content"
  EXPECT_TRUE(tmux.WaitFor("0x5bb9b2e1")) << tmux.Screen();
  tmux.Keys("Tab");
  tmux.Type("IDH_Con");
  EXPECT_TRUE(tmux.WaitFor("IDH_Content ")) << tmux.Screen();  // the regenerated string

  tmux.Keys("Enter");
  EXPECT_EQ(tmux.WaitForExit(), 0) << tmux.Screen();
}

TEST_F(Terminal, EscapeCancelsWithZero) {
  Tmux tmux;
  ASSERT_TRUE(tmux.Start(fixture::ProgramPath("corvat")));
  ASSERT_TRUE(tmux.WaitFor("Recompute Context Id")) << tmux.Screen();
  tmux.Keys("Tab");
  tmux.Type("abc");
  EXPECT_TRUE(tmux.WaitFor("0x00007de2")) << tmux.Screen();
  tmux.Keys("Escape");
  EXPECT_EQ(tmux.WaitForExit(), 0) << tmux.Screen();
}

}  // namespace
