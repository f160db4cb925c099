// Starting programs: WinExec and FindExecutableA on a POSIX system.
//
// WinExec.  The first word of the command line names the program; a name
// without "/" is looked up on PATH, as Windows looks up WINHELP.EXE on its
// search path.  The other words, split at blanks (runs of spaces and tabs),
// become its arguments; there is no quoting.  WinExec does not wait for the
// program, and the program must not stay behind as a zombie of the caller, so
// it is started by a double fork: an intermediate child forks the program and
// exits at once, we reap the intermediate child, and the program belongs to
// the system's reaper (init or a subreaper) from then on.  That needs no
// SIGCHLD handler and reaps only the one child we made, so the host program's
// own children and signal dispositions are left alone.  Whether the program
// could be started is known from a close-on-exec pipe: it reaches end of file
// when exec succeeds, and carries the errno of a failed exec otherwise.
//
// FindExecutableA.  Windows keeps a program per file type in its registry;
// the free desktops keep it in the MIME database, which `xdg-mime` reads:
//   xdg-mime query filetype FILE   -> the file's MIME type
//   xdg-mime query default TYPE    -> the desktop file ID of its program
// and the program is the first word of the Exec key in that desktop file's
// [Desktop Entry] group.  Without xdg-mime, or without a registered program,
// there is no result.
#include <fcntl.h>
#include <quillon/platform.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

extern char **environ;

namespace {

// WinExec's results below 32, as Windows gives them.
constexpr UINT kOutOfResources = 0;
constexpr UINT kFileNotFound = 2;  // ERROR_FILE_NOT_FOUND
constexpr UINT kPathNotFound = 3;  // ERROR_PATH_NOT_FOUND
constexpr UINT kAccessDenied = 5;  // ERROR_ACCESS_DENIED
constexpr UINT kBadFormat = 11;    // ERROR_BAD_FORMAT
constexpr UINT kStarted = 33;      // any value above 31 means started

// FindExecutableA's results.
constexpr intptr_t kNoFile = 2;          // SE_ERR_FNF
constexpr intptr_t kNoAssociation = 31;  // SE_ERR_NOASSOC
constexpr intptr_t kFound = 42;          // above 32: found

// What xdg-mime may print that we read: a MIME type or a desktop file ID.
constexpr size_t kQueryOutputLimit = 4096;

UINT ExecError(int error) {
  switch (error) {
    case ENOENT:
      return kFileNotFound;
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG:
      return kPathNotFound;
    case EACCES:
    case EPERM:
      return kAccessDenied;
    case ENOMEM:
    case EAGAIN:
      return kOutOfResources;
    default:
      return kBadFormat;  // ENOEXEC, E2BIG, ELIBBAD ...
  }
}

std::vector<std::string> SplitAtBlanks(std::string_view text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
    if (i > start) words.emplace_back(text.substr(start, i - start));
  }
  return words;
}

bool IsExecutableFile(const std::string &path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The program a name stands for, found as execvp would find it: a name with
// a "/" as it is, any other in the folders of PATH (an empty entry is the
// current folder).  On failure, the errno that exec would have given.
std::optional<std::string> FindProgram(const std::string &name, int *error) {
  if (name.find('/') != std::string::npos) return name;
  const char *path = std::getenv("PATH");
  std::string_view folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  *error = ENOENT;
  for (size_t start = 0;;) {
    size_t end = folders.find(':', start);
    std::string_view folder = folders.substr(start, end == std::string_view::npos ? end : end - start);
    std::string candidate = folder.empty() ? name : std::string(folder) + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    if (::access(candidate.c_str(), F_OK) == 0) *error = EACCES;  // there, but not runnable
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return std::nullopt;
}

// Only async-signal-safe calls from here on: the caller may have threads.
[[noreturn]] void ExecDetached(const char *program, char *const *argv, int reportFd) {
  // A session of its own, so that the terminal's signals (Ctrl-C in the
  // caller's terminal) do not reach it: it is independent of its starter.
  ::setsid();
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  ::signal(SIGPIPE, SIG_DFL);
  ::signal(SIGCHLD, SIG_DFL);
  ::execv(program, argv);
  int error = errno;
  ssize_t ignored = ::write(reportFd, &error, sizeof error);
  (void)ignored;
  ::_exit(127);
}

UINT StartDetached(const std::string &program, std::vector<std::string> &words) {
  std::vector<char *> argv;
  for (std::string &word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return kOutOfResources;
  pid_t child = ::fork();
  if (child < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return kOutOfResources;
  }
  if (child == 0) {
    ::close(report[0]);
    pid_t grandchild = ::fork();
    if (grandchild == 0) ExecDetached(program.c_str(), argv.data(), report[1]);
    if (grandchild < 0) {
      int error = errno;
      ssize_t ignored = ::write(report[1], &error, sizeof error);
      (void)ignored;
    }
    ::_exit(0);
  }
  ::close(report[1]);
  int error = 0;
  ssize_t got;
  do got = ::read(report[0], &error, sizeof error);
  while (got < 0 && errno == EINTR);
  ::close(report[0]);
  // A host that ignores SIGCHLD has its children reaped by the kernel; then
  // there is nothing to wait for (ECHILD).
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  if (got == static_cast<ssize_t>(sizeof error)) return ExecError(error);
  return kStarted;
}

// Runs a program found on PATH with its output captured (stdin and stderr
// on /dev/null) and waits for it; nullopt when it cannot be started or does
// not exit with 0.
std::optional<std::string> Capture(const std::vector<std::string> &words) {
  std::vector<char *> argv;
  for (const std::string &word : words) argv.push_back(const_cast<char *>(word.c_str()));
  argv.push_back(nullptr);
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (spawned != 0) {
    ::close(out[0]);
    return std::nullopt;
  }
  std::string text;
  char buffer[512];
  for (;;) {
    ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (text.size() < kQueryOutputLimit) text.append(buffer, static_cast<size_t>(n));
  }
  ::close(out[0]);
  int status = 0;
  int waited;
  while ((waited = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  // ECHILD: a host that ignores SIGCHLD; the output alone must do.
  if (waited == pid && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) return std::nullopt;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  if (text.empty() || text.find('\n') != std::string::npos) return std::nullopt;
  return text;
}

std::string EnvOr(const char *name, const std::string &fallback) {
  const char *value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

// The folders that hold desktop files, most important first.
std::vector<std::string> ApplicationFolders() {
  const char *home = std::getenv("HOME");
  std::vector<std::string> folders{
      EnvOr("XDG_DATA_HOME", std::string(home != nullptr ? home : "") + "/.local/share")};
  std::string dirs = EnvOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
  for (size_t start = 0;;) {
    size_t end = dirs.find(':', start);
    std::string dir = dirs.substr(start, end == std::string::npos ? end : end - start);
    if (!dir.empty()) folders.push_back(dir);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  for (std::string &folder : folders) folder += "/applications/";
  return folders;
}

// The first word of a desktop file's Exec value: the program.  It may be
// quoted, with backslash escapes inside the quotes.
std::string ExecProgram(std::string_view exec) {
  size_t i = 0;
  while (i < exec.size() && (exec[i] == ' ' || exec[i] == '\t')) ++i;
  std::string program;
  if (i < exec.size() && exec[i] == '"') {
    for (++i; i < exec.size() && exec[i] != '"'; ++i) {
      if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
      program += exec[i];
    }
  } else {
    while (i < exec.size() && exec[i] != ' ' && exec[i] != '\t') program += exec[i++];
  }
  return program;
}

// The whole of a small text file; nullopt when it cannot be opened.  (Read
// with stdio rather than a file stream: the streams bring the run-time's
// locale machinery, a megabyte, into the platform library.)
std::optional<std::string> ReadSmallFile(const std::string &path) {
  FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  std::string text;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
  std::fclose(file);
  return text;
}

// The Exec value of the [Desktop Entry] group; nullopt when there is none.
std::optional<std::string> DesktopExec(const std::string &path) {
  std::optional<std::string> text = ReadSmallFile(path);
  if (!text) return std::nullopt;
  bool inEntry = false;
  // Line by line; a last line without its line end counts too.
  for (size_t start = 0, end; start < text->size(); start = end + 1) {
    end = text->find('\n', start);
    if (end == std::string::npos) end = text->size();
    std::string line = text->substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    if (!inEntry) continue;
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string_view key = std::string_view(line).substr(0, equals);
    while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
    if (key != "Exec") continue;
    size_t value = equals + 1;
    while (value < line.size() && line[value] == ' ') ++value;
    return line.substr(value);
  }
  return std::nullopt;
}

std::optional<std::string> RegisteredProgram(const std::string &file) {
  std::optional<std::string> type = Capture({"xdg-mime", "query", "filetype", file});
  if (!type) return std::nullopt;
  // Some back ends of xdg-mime add parameters: "application/x-winhelp; charset=binary".
  type->erase(std::min(type->find(';'), type->size()));
  std::optional<std::string> desktopId = Capture({"xdg-mime", "query", "default", *type});
  if (!desktopId || desktopId->find('/') != std::string::npos) return std::nullopt;
  for (const std::string &folder : ApplicationFolders()) {
    std::optional<std::string> exec = DesktopExec(folder + *desktopId);
    if (!exec) continue;
    std::string program = ExecProgram(*exec);
    if (program.empty()) return std::nullopt;
    int error = 0;
    // The registry names a program file; a desktop file may name one on
    // PATH, which is resolved to where it is so that the result names a
    // file, as on Windows.
    std::optional<std::string> found = FindProgram(program, &error);
    if (found && IsExecutableFile(*found)) return found;
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

extern "C" {

UINT WinExec(LPCSTR commandLine, UINT) {
  if (commandLine == nullptr) return kFileNotFound;
  try {
    std::vector<std::string> words = SplitAtBlanks(commandLine);
    if (words.empty()) return kFileNotFound;
    int error = 0;
    std::optional<std::string> program = FindProgram(words[0], &error);
    if (!program) return ExecError(error);
    return StartDetached(*program, words);
  } catch (...) {
    return kOutOfResources;
  }
}

// directory is where a relative file name is taken from.  result receives
// the program's path, or an empty string, in MAX_PATH bytes.
HINSTANCE FindExecutableA(LPCSTR file, LPCSTR directory, LPSTR result) {
  if (result != nullptr) result[0] = '\0';
  if (file == nullptr || result == nullptr) return reinterpret_cast<HINSTANCE>(kNoFile);
  try {
    std::string path = file;
    if (!path.empty() && path[0] != '/' && directory != nullptr && directory[0] != '\0')
      path = std::string(directory) + "/" + path;
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return reinterpret_cast<HINSTANCE>(kNoFile);
    std::optional<std::string> program = RegisteredProgram(path);
    if (!program || program->size() >= MAX_PATH) return reinterpret_cast<HINSTANCE>(kNoAssociation);
    lstrcpynA(result, program->c_str(), MAX_PATH);
    return reinterpret_cast<HINSTANCE>(kFound);
  } catch (...) {
    result[0] = '\0';
    return reinterpret_cast<HINSTANCE>(kNoAssociation);
  }
}

}  // extern "C"
