// quillon._quillon: the extension module behind `import quillon`.
//
// The module binds the document layer (quillon::document), its writers (plain
// text, RTF, the HTML of one topic) and the picture layer; it never reads the
// help file's structures itself.  Records are the named tuples of
// quillon._types; errors are quillon.Error, an OSError.
#include <marlet/marlet.h>

#include <cerrno>
#include <cstring>

#include "binding.h"

namespace quillon::python {

namespace {

Types *g_types = nullptr;

}  // namespace

Types &types() { return *g_types; }

py::str Str(std::string_view utf8) {
  PyObject *text = PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "replace");
  if (text == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(text);
}

py::object StrOrNone(std::string_view utf8) { return utf8.empty() ? py::object(py::none()) : Str(utf8); }

py::object OffsetOrNone(uint32_t offset) {
  return offset == document::kNoTopic ? py::object(py::none()) : py::object(py::int_(offset));
}

std::string FileSystemPath(const py::object &path) {
  py::object bytes = py::module_::import("os").attr("fsencode")(path);  // TypeError for what is no path
  std::string out = bytes.cast<std::string>();
  if (out.find('\0') != std::string::npos) throw py::value_error("embedded null byte in the path");
  return out;
}

py::object PathObject(const std::string &path) {
  return py::module_::import("os").attr("fsdecode")(py::bytes(path));
}

const char *LinkKindName(document::LinkKind kind) {
  switch (kind) {
    case document::LinkKind::Jump: return "jump";
    case document::LinkKind::Popup: return "popup";
    case document::LinkKind::Macro: return "macro";
  }
  return "jump";
}

py::object ActionName(document::MacroAction action) {
  switch (action) {
    case document::MacroAction::Jump: return py::str("jump");
    case document::MacroAction::Popup: return py::str("popup");
    case document::MacroAction::Keyword: return py::str("keyword");
    case document::MacroAction::Url: return py::str("url");
    case document::MacroAction::Contents: return py::str("contents");
    case document::MacroAction::None: break;
  }
  return py::none();
}

namespace {

// Context strings are taken as the viewer took them: bytes, of which only
// letters, digits, "." and "_" count.  A str is encoded as UTF-8; its
// characters beyond ASCII count for nothing, as bytes above 0x7F do.
std::string ContextBytes(const py::object &context) {
  std::string bytes;
  if (py::isinstance<py::bytes>(context)) bytes = context.cast<std::string>();
  else if (py::isinstance<py::str>(context)) bytes = context.cast<std::string>();
  else throw py::type_error("a context string must be str or bytes");
  if (bytes.find('\0') != std::string::npos) throw py::value_error("embedded null character in the context string");
  return bytes;
}

uint32_t HashOf(const py::object &context) {
  return static_cast<uint32_t>(HlpGenerateHashValue(ContextBytes(context).c_str()));
}

std::string ContextStringOf(const py::int_ &hash) {
  // Both forms a hash is seen in: unsigned, as the indexes and daskol show
  // it, and signed, as the C interface's ContextHash holds it.
  long long value = 0;
  try {
    value = hash.cast<long long>();
  } catch (const py::cast_error &) {
    value = -1LL << 40;  // beyond both ranges
  }
  if (value < -(1LL << 31) || value >= (1LL << 32))
    throw py::value_error("a hash is a 32-bit number (0 to 0xFFFFFFFF, or signed -0x80000000 to 0x7FFFFFFF)");
  char buffer[64] = {};
  if (!HlpCreateStringForHashValue(static_cast<ContextHash>(static_cast<uint32_t>(value)), buffer))
    throw py::value_error("no context string hashes to this value");
  return buffer;
}

}  // namespace

}  // namespace quillon::python

using namespace quillon::python;

PYBIND11_MODULE(_quillon, m) {
  m.doc() = "The extension module behind quillon; import quillon instead.";
  py::module_ records = py::module_::import("quillon._types");
  g_types = new Types{records.attr("Error"),   records.attr("Title"),  records.attr("Context"),
                      records.attr("KeywordEntry"), records.attr("Keyword"), records.attr("File"),
                      records.attr("Window"),  records.attr("Hotspot"), records.attr("PictureHotspot")};

  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const FileError &e) {
      py::object error = e.error != 0 ? py::object(py::int_(e.error)) : py::object(py::none());
      py::object path = e.path ? PathObject(*e.path) : py::object(py::none());
      py::object instance = types().error(error, Str(e.what), path);
      PyErr_SetObject(types().error.ptr(), instance.ptr());
    }
  });

  m.def("hash", &HashOf, py::arg("context_string"),
        "The 32-bit hash a help file stores for a context string, as an unsigned\n"
        "number (0 to 0xFFFFFFFF, the form the file's index and daskol show).\n"
        "Letters count alike in both cases; characters other than letters, digits,\n"
        "'.' and '_' count for nothing.  bytes are taken as they are.");
  m.def("context_string", [](const py::int_ &hash) { return ContextStringOf(hash); }, py::arg("hash"),
        "A context string that hashes to hash: made up, since help files keep only\n"
        "the hashes.  hash may be unsigned or signed (the C interface's form).\n"
        "ValueError for a number beyond 32 bits or a hash no string reaches.");

  BindTopic(m);
  BindHelpFile(m);
  BindPictures(m);

  // Readers of topics() left running end before the interpreter does.
  py::module_::import("atexit").attr("register")(py::cpp_function([] { StopReaders(); }));
  m.attr("__version__") = QUILLON_VERSION;
}
