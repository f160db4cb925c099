// The Python binding's shared pieces.
//
// Locking: every HelpFile object owns a FileState, shared with the topics and
// iterators made from it.  Reading releases the GIL first and then takes the
// state's mutex, and gives the mutex back before it takes the GIL again, so
// that no thread ever waits for one while holding the other.  Python objects
// are only made with the GIL held, after the reading is done.
#pragma once

#include <pybind11/pybind11.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "quillon/document/help_file.h"
#include "quillon/html/site.h"

namespace quillon::python {

namespace py = pybind11;

// A failure that becomes quillon.Error: the system's error number (0: none),
// what failed, and the help file's path where there is one.  Thrown with or
// without the GIL; the translator makes the exception once it holds it.
struct FileError {
  int error = 0;
  std::string what;
  std::optional<std::string> path;
};

// The records of quillon._types, looked up when the module loads.
struct Types {
  py::object error, title, context, keywordEntry, keyword, file, window, hotspot, pictureHotspot;
};
Types &types();

// UTF-8 from the document layer as str.  The layer converts the file's text;
// a few pieces (context strings of jumps) are bytes as stored, so invalid
// UTF-8 becomes U+FFFD rather than an exception.
py::str Str(std::string_view utf8);
py::object StrOrNone(std::string_view utf8);  // None for ""
py::object OffsetOrNone(uint32_t offset);     // None for kNoTopic
// A path as the file system takes it: str or os.PathLike (encoded as os.fsencode does), or bytes.
std::string FileSystemPath(const py::object &path);
py::object PathObject(const std::string &path);  // the path back as str (os.fsdecode)

struct FileState {
  std::mutex mutex;
  std::unique_ptr<document::HelpFile> file;  // null once closed
  std::unique_ptr<html::TopicHtml> html;     // made on first use; refers to file
  std::shared_ptr<const document::FileInfo> info;  // outlives close: topics write RTF with it
  std::string path;      // as given
  std::string absolute;  // for the readers of topics(), which open the file again
  document::OpenOptions options;  // the same for them
  std::atomic<bool> closed{false};  // file is null; read without the mutex
  void Close() {
    closed = true;
    html.reset();
    file.reset();
  }
  ~FileState() { Close(); }
};

// Runs work(HelpFile&) with the GIL released and the file's mutex held.
template <class Work>
auto Locked(FileState &state, Work &&work) {
  py::gil_scoped_release release;
  std::lock_guard lock(state.mutex);
  if (!state.file) throw py::value_error("I/O operation on a closed help file");
  return work(*state.file);
}

struct PyHelpFile {
  std::shared_ptr<FileState> state;
  const document::FileInfo &info() const { return *state->info; }
};

struct PyTopic {
  std::shared_ptr<FileState> state;
  std::shared_ptr<const document::Topic> topic;
};

const char *LinkKindName(document::LinkKind kind);
py::object ActionName(document::MacroAction action);

void BindTopic(py::module_ &m);
void BindHelpFile(py::module_ &m);
void BindPictures(py::module_ &m);
// Stops the readers of topics() still running (at interpreter exit).
void StopReaders();

}  // namespace quillon::python
