// quillon.HelpFile and quillon.open, and the iterator of topics().
//
// topics() reads the whole topic stream once, as HelpFile::ReadAll does, on a
// thread of its own through a second HelpFile of the same path: the stream
// is read front to back without seeking back for every topic (ReadTopicAt
// would decode each block again for each of its topics), and while Python
// works on one topic the next ones are read.  A short queue between the two
// keeps memory to a few topics.  The reader has its own HelpFile so that the
// caller may use the file (topic_at, html()) while it iterates.
#include <sys/stat.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <set>
#include <thread>

#include "binding.h"

namespace quillon::python {

using namespace document;

namespace {

constexpr size_t kQueuedTopics = 16;

// ---- The reader of topics() ---------------------------------------------------------------

class Reader {
 public:
  Reader(std::string path, OpenOptions options) : path_(std::move(path)), options_(std::move(options)) {}
  ~Reader();

  void Start();
  // Waits (the caller has released the GIL) for the next topic; false at the end.
  bool Next(Topic &topic);
  void Stop();
  // After the end: why the file could not be read, "" when it could.
  const std::string &failure() const { return failure_; }
  const ReadReport &report() const { return report_; }
  size_t expected() const { return expected_; }

 private:
  void Run();

  std::string path_;
  OpenOptions options_;
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::deque<Topic> queue_;
  bool done_ = false, cancelled_ = false;
  std::string failure_;
  ReadReport report_;
  size_t expected_ = 0;
  std::mutex joinMutex_;
  std::thread thread_;
};

// Every reader there is, for StopReaders at exit.  A reader leaves the set
// before it goes, under the set's mutex, so that StopReaders never holds one
// that is being destroyed.
std::mutex g_readersMutex;
std::set<Reader *> g_readers;

Reader::~Reader() {
  {
    std::lock_guard lock(g_readersMutex);
    g_readers.erase(this);
  }
  Stop();
}

void Reader::Start() {
  {
    std::lock_guard lock(g_readersMutex);
    g_readers.insert(this);
  }
  thread_ = std::thread([this] { Run(); });
}

void Reader::Run() {
  std::string why;
  std::unique_ptr<HelpFile> file = HelpFile::Open(path_, &why, options_);
  ReadReport report;
  size_t expected = 0;
  if (file) {
    expected = file->TopicStarts().size();
    report = file->ReadAll([this](Topic &topic) {
      std::unique_lock lock(mutex_);
      room_.wait(lock, [&] { return queue_.size() < kQueuedTopics || cancelled_; });
      if (cancelled_) return false;
      queue_.push_back(std::move(topic));
      ready_.notify_one();
      return true;
    });
  }
  std::lock_guard lock(mutex_);
  if (!file) failure_ = why.empty() ? "the help file cannot be opened again" : why;
  report_ = report;
  expected_ = expected;
  done_ = true;
  ready_.notify_all();
}

bool Reader::Next(Topic &topic) {
  std::unique_lock lock(mutex_);
  ready_.wait(lock, [&] { return !queue_.empty() || done_; });
  if (queue_.empty()) return false;
  topic = std::move(queue_.front());
  queue_.pop_front();
  room_.notify_one();
  return true;
}

void Reader::Stop() {
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    room_.notify_all();
  }
  std::lock_guard lock(joinMutex_);
  if (thread_.joinable()) thread_.join();
}

class TopicIterator {
 public:
  TopicIterator(std::shared_ptr<FileState> state) : state_(std::move(state)) {}
  ~TopicIterator() {
    if (reader_) {
      py::gil_scoped_release release;
      reader_.reset();
    }
  }

  py::object Next() {
    if (finished_) throw py::stop_iteration();
    if (state_->closed) throw py::value_error("I/O operation on a closed help file");
    if (!reader_) {
      reader_ = std::make_unique<Reader>(state_->absolute, state_->options);
      reader_->Start();
    }
    auto topic = std::make_shared<Topic>();
    bool got;
    {
      py::gil_scoped_release release;
      got = reader_->Next(*topic);
    }
    if (got) {
      ++delivered_;
      return py::cast(PyTopic{state_, std::move(topic)});
    }
    finished_ = true;
    // Whatever could be read has been handed over; a stream that stopped
    // short of the topics the indexes list is said, not passed over.
    if (!reader_->failure().empty()) throw FileError{0, reader_->failure(), state_->path};
    if (reader_->report().endedEarly)
      throw FileError{0,
                      "the topic stream ends early (damaged |TOPIC): " + std::to_string(delivered_) + " of " +
                          std::to_string(reader_->expected()) + " topics read",
                      state_->path};
    throw py::stop_iteration();
  }

 private:
  std::shared_ptr<FileState> state_;
  std::unique_ptr<Reader> reader_;
  size_t delivered_ = 0;
  bool finished_ = false;
};

// ---- Opening ---------------------------------------------------------------------------------

std::shared_ptr<FileState> OpenState(const std::string &path, bool symbolFonts) {
  auto state = std::make_shared<FileState>();
  state->path = path;
  state->options.symbolFonts = symbolFonts;
  std::string why;
  {
    py::gil_scoped_release release;
    // What the system says about the path, for the error number: the
    // library says only that it could not open it.
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
      int error = errno;
      throw FileError{error, std::strerror(error), path};
    }
    if (S_ISDIR(info.st_mode)) throw FileError{EISDIR, std::strerror(EISDIR), path};
    if (FILE *probe = std::fopen(path.c_str(), "rb")) {
      std::fclose(probe);
    } else {
      int error = errno;
      throw FileError{error, std::strerror(error), path};
    }
    state->file = HelpFile::Open(path, &why, state->options);
    if (state->file) {
      std::error_code error;
      std::filesystem::path absolute = std::filesystem::absolute(path, error);
      state->absolute = error ? path : absolute.string();
      state->info = std::make_shared<FileInfo>(state->file->info());
    }
  }
  if (!state->file) throw FileError{0, why, path};
  return state;
}

py::object Topic_(const std::shared_ptr<FileState> &state, std::optional<Topic> topic) {
  if (!topic) return py::none();
  return py::cast(PyTopic{state, std::make_shared<const Topic>(std::move(*topic))});
}

py::object IntOrNone(int value) { return value < 0 ? py::object(py::none()) : py::object(py::int_(value)); }
py::object ColourOrNone(int64_t value) {
  return value < 0 ? py::object(py::none()) : py::object(py::int_(value));
}

}  // namespace

void StopReaders() {
  py::gil_scoped_release release;
  std::lock_guard lock(g_readersMutex);  // the reader threads never take it
  for (Reader *reader : g_readers) reader->Stop();
}

void BindHelpFile(py::module_ &m) {
  py::class_<TopicIterator> iterator(m, "TopicIterator", "The iterator HelpFile.topics() returns.");
  iterator.attr("__module__") = "quillon";
  iterator.def("__iter__", [](py::object self) { return self; }).def("__next__", &TopicIterator::Next);

  py::class_<PyHelpFile> cls(m, "HelpFile", R"(A compiled Windows Help file (.HLP), open for reading.

HelpFile(path) or quillon.open(path); a context manager that closes the file
at the end of the with block.  Text is str, decoded from the file's code page;
internal files are bytes.  Reading releases the GIL: separate HelpFile objects
may be read in separate threads at once (one object is read by one thread at
a time; others wait).  Raises quillon.Error when the file cannot be opened.)");
  cls.attr("__module__") = "quillon";
  cls.def(py::init([](const py::object &path, bool symbolFonts) {
            return PyHelpFile{OpenState(FileSystemPath(path), symbolFonts)};
          }),
          py::arg("path"), py::kw_only(), py::arg("symbol_fonts") = true)
      .def("close", [](PyHelpFile &f) {
            py::gil_scoped_release release;
            std::lock_guard lock(f.state->mutex);
            f.state->Close();
          },
          "Closes the file.  Topics already read keep their text; reading more\n"
          "raises ValueError.  Closing twice does nothing.")
      .def_property_readonly("closed", [](PyHelpFile &f) { return f.state->closed.load(); },
          "Whether the file is closed.")
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](PyHelpFile &f, const py::args &) {
        py::gil_scoped_release release;
        std::lock_guard lock(f.state->mutex);
        f.state->Close();
        return false;
      })
      .def("__repr__",
           [](PyHelpFile &f) {
             return py::str("<quillon.HelpFile {!r} title={!r}>").format(PathObject(f.state->path), Str(f.info().title));
           })
      // ---- What |SYSTEM says ----
      .def_property_readonly("path", [](PyHelpFile &f) { return PathObject(f.state->path); },
                             "The path the file was opened with.")
      .def_property_readonly("title", [](PyHelpFile &f) { return Str(f.info().title); },
                             "The help file's title (\"\" where it has none).")
      .def_property_readonly("copyright", [](PyHelpFile &f) { return Str(f.info().copyright); },
                             "The copyright notice (\"\" where it has none).")
      .def_property_readonly("citation", [](PyHelpFile &f) { return Str(f.info().citation); },
                             "The citation appended to copied text (\"\" where it has none).")
      .def_property_readonly("version", [](PyHelpFile &f) { return f.info().minorVersion; },
                             "The format's minor version: 15 Windows 3.0, 21 Windows 3.1, 33 later.")
      .def_property_readonly("code_page", [](PyHelpFile &f) { return f.info().codePage; },
                             "The Windows code page the file's text is decoded from (1252, 1251 ...).")
      .def_property_readonly(
          "language",
          [](PyHelpFile &f) {
            return f.info().language ? py::object(py::int_(f.info().language)) : py::object(py::none());
          },
          "The language (a Windows LCID) the file names, or None.")
      .def_property_readonly(
          "windows",
          [](PyHelpFile &f) {
            py::list out;
            for (const Window &w : f.info().windows)
              out.append(types().window(Str(w.type), Str(w.name), Str(w.caption), IntOrNone(w.x), IntOrNone(w.y),
                                        IntOrNone(w.width), IntOrNone(w.height), py::bool_(w.maximized),
                                        ColourOrNone(w.background), ColourOrNone(w.nonScrollingBackground)));
            return out;
          },
          "The windows the file defines (the main window and secondary ones): a\n"
          "list of Window.")
      .def_property_readonly("contents_topic", [](PyHelpFile &f) { return OffsetOrNone(f.info().contentsTopic); },
                             "The offset of the topic the viewer shows first, where the file names one.")
      .def_property_readonly(
          "startup_macros",
          [](PyHelpFile &f) {
            py::list out;
            for (const std::string &macro : f.info().startupMacros) out.append(Str(macro));
            return out;
          },
          "The macros the viewer runs when it opens the file.")
      .def_property_readonly(
          "keyword_lists",
          [](PyHelpFile &f) {
            py::list out;
            for (const std::string &list : f.info().keywordLists) out.append(Str(list));
            return out;
          },
          "The keyword lists the file has (\"K\", \"A\", ...), for keywords().")
      // ---- Internal files ----
      .def(
          "files",
          [](PyHelpFile &f) {
            std::vector<InternalFile> files = Locked(*f.state, [](HelpFile &file) { return file.Files(); });
            py::list out;
            for (const InternalFile &entry : files) out.append(types().file(Str(entry.name), entry.size));
            return out;
          },
          "The internal files of the container, in directory order: File(name, size).")
      .def(
          "read",
          [](PyHelpFile &f, const std::string &name) {
            // The size the directory gives, beside the bytes there are: a
            // file cut short is an error, not a shorter file.
            std::optional<uint32_t> declared;
            std::optional<std::vector<uint8_t>> bytes = Locked(*f.state, [&](HelpFile &file) {
              for (const InternalFile &entry : file.Files())
                if (entry.name == name) declared = entry.size;
              return declared ? file.Read(name) : std::nullopt;
            });
            if (!declared) throw py::key_error("no internal file named " + py::repr(Str(name)).cast<std::string>());
            if (!bytes) throw FileError{0, "the internal file " + name + " cannot be read", f.state->path};
            if (bytes->size() < *declared)
              throw FileError{0,
                              "the internal file " + name + " is cut short: " + std::to_string(bytes->size()) + " of " +
                                  std::to_string(*declared) + " bytes",
                              f.state->path};
            return py::bytes(reinterpret_cast<const char *>(bytes->data()), bytes->size());
          },
          py::arg("name"),
          "The bytes of an internal file (\"|SYSTEM\", \"|bm0\" ...).  KeyError when\n"
          "the container holds no file of that name.")
      // ---- Indexes ----
      .def(
          "titles",
          [](PyHelpFile &f) {
            std::vector<TitleEntry> titles = Locked(*f.state, [](HelpFile &file) { return file.Titles(); });
            py::list out;
            for (const TitleEntry &entry : titles) out.append(types().title(entry.offset, Str(entry.title)));
            return out;
          },
          "The title index, in its order: Title(offset, title).")
      .def(
          "contexts",
          [](PyHelpFile &f) {
            std::vector<std::pair<ContextEntry, std::string>> contexts = Locked(*f.state, [](HelpFile &file) {
              std::vector<std::pair<ContextEntry, std::string>> out;
              for (const ContextEntry &entry : file.Contexts()) out.push_back({entry, file.ContextString(entry.hash)});
              return out;
            });
            py::list out;
            for (const auto &[entry, context] : contexts)
              out.append(types().context(entry.hash, entry.offset, StrOrNone(context)));
            return out;
          },
          "The context index, in unsigned hash order: Context(hash, offset, context),\n"
          "the context string made up to hash to the stored value.")
      .def(
          "keywords",
          [](PyHelpFile &f, const std::string &list) {
            if (list.empty() || list.size() > 2) throw py::value_error("a keyword list is named by a letter (\"K\", \"A\" ...)");
            std::vector<KeywordEntry> keywords = Locked(*f.state, [&](HelpFile &file) { return file.Keywords(list); });
            py::list out;
            for (const KeywordEntry &entry : keywords) {
              py::list topics;
              for (TopicOffset offset : entry.topics) topics.append(offset);
              out.append(types().keywordEntry(Str(entry.keyword), topics));
            }
            return out;
          },
          py::arg("list") = "K",
          "A keyword index in its order: KeywordEntry(keyword, topics), topics being\n"
          "the offsets stored for the keyword.  An empty list for a list the file does\n"
          "not have (see keyword_lists).")
      // ---- Topics ----
      .def("topics", [](PyHelpFile &f) { return std::make_unique<TopicIterator>(f.state); },
           "Every topic in file order.  The topics are read on a thread beside the\n"
           "caller's, a few ahead.  Where damage stops the topic stream before the\n"
           "topics the indexes list, the iterator raises quillon.Error after the\n"
           "topics it could read.")
      .def(
          "topic_at",
          [](PyHelpFile &f, uint32_t offset) {
            std::optional<Topic> topic = Locked(*f.state, [&](HelpFile &file) { return file.ReadTopic(offset); });
            if (!topic) throw py::key_error("no topic holds the offset " + std::to_string(offset));
            return Topic_(f.state, std::move(topic));
          },
          py::arg("offset"),
          "The topic that begins at offset or holds it (any position inside it, as\n"
          "Context.offset and Hotspot.target give): the one that begins last before\n"
          "it.  KeyError when none does.")
      .def(
          "find",
          [](PyHelpFile &f, const std::string &context) {
            std::optional<Topic> topic = Locked(*f.state, [&](HelpFile &file) -> std::optional<Topic> {
              TopicOffset offset = file.Find(context);
              if (offset == kNoTopic) return std::nullopt;
              return file.ReadTopic(offset);
            });
            return Topic_(f.state, std::move(topic));
          },
          py::arg("context_string"),
          "The topic a context string names (compared by hash, letter case aside),\n"
          "or None.  Windows 3.0 files keep no context index: None.");

  m.def(
      "open",
      [](const py::object &path, bool symbolFonts) { return PyHelpFile{OpenState(FileSystemPath(path), symbolFonts)}; },
      py::arg("path"), py::kw_only(), py::arg("symbol_fonts") = true,
      "Opens a help file for reading (str, bytes or os.PathLike).  Raises\n"
      "quillon.Error (an OSError) with the path and what failed when the file\n"
      "is missing, unreadable, no help file, or has no topics.\n\n"
      "symbol_fonts: text in the Symbol and Wingdings fonts as the characters\n"
      "those fonts draw (Greek letters, arrows, bullets); False leaves it as the\n"
      "file's code page reads it, as the C tools print it.");
}

}  // namespace quillon::python
