// quillon._library: the collection layer's pieces for quillon.library, which
// converts a collection on Dask's distributed scheduler.  The client scans
// and reads the input and writes the top page and the manifest; workers
// convert one help file each.  Every piece is the C++ code hlp2html runs, so
// both write the same bytes.
//
// Work that takes time (walks, conversions) runs without the GIL; the walk's
// callback takes it back for the Python side.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <vector>

#include "quillon/collection/library.h"

namespace py = pybind11;
using namespace quillon::collection;

namespace {

std::string PathOf(const py::object &path) {
  std::string out = py::module_::import("os").attr("fsencode")(path).cast<std::string>();
  if (out.find('\0') != std::string::npos) throw py::value_error("embedded null byte in the path");
  return out;
}

Limits LimitsOf(uint64_t maxFileBytes, uint64_t maxUnpackedBytes, int depth) {
  Limits limits;
  if (maxFileBytes) limits.entryBytes = maxFileBytes;
  if (maxUnpackedBytes) limits.totalBytes = maxUnpackedBytes;
  if (depth > 0) limits.depth = depth;
  return limits;
}

std::vector<Converted> ResultsOf(const Catalogue &catalogue, const std::vector<std::string> &json) {
  if (json.size() != catalogue.helps.size())
    throw py::value_error("one result per help file of the catalogue is needed");
  std::vector<Converted> results;
  for (const std::string &text : json) {
    std::optional<Converted> c = Converted::FromJson(text);
    if (!c) throw py::value_error("not a conversion's result");
    results.push_back(std::move(*c));
  }
  return results;
}

py::dict ReportDict(const BuildReport &r) {
  py::dict d;
  d["inputs"] = r.inputs;
  d["help_files"] = r.helpFiles;
  d["converted"] = r.converted;
  d["unchanged"] = r.unchanged;
  d["failed"] = r.failed;
  d["topics"] = r.topics;
  d["others"] = r.others;
  d["failures"] = r.failures;
  return d;
}

}  // namespace

PYBIND11_MODULE(_library, m) {
  m.doc() = "The collection layer's pieces behind quillon.library.";

  py::class_<Catalogue>(m, "Catalogue", "Every input of a collection, its help files and their sites.")
      .def_static(
          "from_json",
          [](const std::string &json) {
            std::optional<Catalogue> c = Catalogue::FromJson(json);
            if (!c) throw py::value_error("not a catalogue");
            return std::move(*c);
          },
          py::arg("json"))
      .def("to_json", &Catalogue::ToJson)
      .def_property_readonly("input_count", [](const Catalogue &c) { return c.inputs.size(); })
      .def_property_readonly("help_count", [](const Catalogue &c) { return c.helps.size(); })
      .def(
          "help",
          [](const Catalogue &c, size_t index) {
            if (index >= c.helps.size()) throw py::index_error("no such help file");
            const HelpEntry &e = c.helps[index];
            py::dict d;
            d["origin"] = e.origin;
            d["name"] = e.name;
            d["site"] = e.site;
            d["size"] = e.size;
            d["sha256"] = e.sha256;
            return d;
          },
          py::arg("index"));

  m.def(
      "scan",
      [](const py::object &input, uint64_t maxFileBytes, uint64_t maxUnpackedBytes, int depth) {
        std::string path = PathOf(input);
        std::string why;
        std::optional<Catalogue> c;
        {
          py::gil_scoped_release release;
          c = Scan(path, LimitsOf(maxFileBytes, maxUnpackedBytes, depth), &why);
        }
        if (!c) throw py::value_error(why);
        return std::move(*c);
      },
      py::arg("input"), py::arg("max_file_bytes") = 0, py::arg("max_unpacked_bytes") = 0, py::arg("depth") = 0,
      "The first walk over a folder, archive or disc image (0: the default bounds).");

  m.def(
      "read_help_files",
      [](const Catalogue &catalogue, const py::object &input, const std::vector<size_t> &wanted,
         const py::function &each, uint64_t maxFileBytes, uint64_t maxUnpackedBytes, int depth) {
        std::string path = PathOf(input);
        std::vector<bool> want(catalogue.helps.size(), false);
        for (size_t help : wanted)
          if (help < want.size()) want[help] = true;
        std::optional<py::error_already_set> failure;
        {
          py::gil_scoped_release release;
          ReadHelpFiles(
              catalogue, path, LimitsOf(maxFileBytes, maxUnpackedBytes, depth),
              [&](size_t help) { return static_cast<bool>(want[help]); },
              [&](size_t help, std::shared_ptr<const std::string> bytes) {
                py::gil_scoped_acquire acquire;
                try {
                  py::object data = bytes ? py::object(py::bytes(*bytes)) : py::object(py::none());
                  bytes.reset();
                  py::object go = each(help, data);
                  return go.is_none() || go.cast<bool>();
                } catch (py::error_already_set &error) {
                  failure = std::move(error);
                  return false;
                }
              });
        }
        if (failure) throw *failure;
      },
      py::arg("catalogue"), py::arg("input"), py::arg("wanted"), py::arg("each"), py::arg("max_file_bytes") = 0,
      py::arg("max_unpacked_bytes") = 0, py::arg("depth") = 0,
      "The second walk: each(help, data) for the wanted help files, in catalogue order (data None when the "
      "input changed); a false result stops.");

  m.def(
      "kept_site",
      [](const Catalogue &catalogue, size_t help, const py::object &outDir) -> std::optional<std::string> {
        std::string out = PathOf(outDir);
        std::optional<Converted> kept;
        {
          py::gil_scoped_release release;
          kept = KeptSite(catalogue, help, out);
        }
        if (!kept) return std::nullopt;
        return kept->ToJson();
      },
      py::arg("catalogue"), py::arg("help"), py::arg("out_dir"),
      "An earlier run's complete site of the help file: its result as JSON, or None.");

  m.def(
      "convert",
      [](const Catalogue &catalogue, size_t help, const py::object &data, const py::object &outDir) {
        std::string out = PathOf(outDir);
        std::shared_ptr<const std::string> bytes;
        if (!data.is_none()) bytes = std::make_shared<const std::string>(data.cast<std::string>());
        py::gil_scoped_release release;
        return ConvertHelpFile(catalogue, help, std::move(bytes), out).ToJson();
      },
      py::arg("catalogue"), py::arg("help"), py::arg("data"), py::arg("out_dir"),
      "Converts one help file of the catalogue into its site under out_dir: the result as JSON.");

  m.def(
      "unread_result",
      [] {
        Converted c;
        c.status = "failed";
        c.why = "not found again on the second reading of the input";
        return c.ToJson();
      },
      "The result of a help file the second walk did not find (the input changed).");

  m.def(
      "write_library_pages",
      [](const Catalogue &catalogue, const std::vector<std::string> &results, const std::string &input,
         const py::object &outDir) {
        std::vector<Converted> converted = ResultsOf(catalogue, results);
        std::string out = PathOf(outDir);
        std::string why;
        bool ok;
        {
          py::gil_scoped_release release;
          ok = WriteLibraryPages(catalogue, converted, input, out, &why);
        }
        if (!ok) throw py::value_error(why);
        return ReportDict(Summarize(catalogue, converted));
      },
      py::arg("catalogue"), py::arg("results"), py::arg("input"), py::arg("out_dir"),
      "index.html and manifest.json; the summary as a dict.");
}
