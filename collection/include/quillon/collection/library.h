// A collection of help files as one linked library:
//
//   OUT/index.html      the top page: every help file with its title,
//                       copyright, where it was found and its topic count;
//                       what could not be converted, and why
//   OUT/manifest.json   every input, what was written, what failed and why
//   OUT/SITE/           one site per help file (html::WriteSite); SITE is the
//                       help file's key (HelpFileKey, made a SafeName), with
//                       "-2", "-3" ... for later files of the same name
//
// The work comes in pieces so that one machine's threads (BuildLibrary) and a
// cluster's workers (the Python binding's quillon.library) do the same thing
// and write the same bytes:
//
//   Scan            one walk over the input: every input file recorded, each
//                   help file's content hash, title and reachable contexts,
//                   site names given.  The result (a Catalogue) is small: some
//                   bytes per input and 4 per context, plus the contents
//                   files (.CNT), which the conversions need.
//   ReadHelpFiles   a second walk, handing each help file's bytes over in
//                   catalogue order, so that memory holds only those being
//                   converted.
//   KeptSite        an earlier run's site that is complete and still right.
//   ConvertHelpFile one help file into its site, its jumps into other help
//                   files of the collection resolved through the catalogue.
//   WriteLibraryPages  the top page and the manifest from the results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quillon/collection/inputs.h"

namespace quillon::collection {

// One file of the input, in walk order.
struct InputRecord {
  std::string origin;  // where it was found (inputs.h: printable)
  std::string name;    // its own name (for a compressed file: the name it expands to)
  // "help" (a help file), "contents" (a .CNT), "index" (the viewer's .GID,
  // .ANN, .BMK, .FTS: a help container without topics), "other" (not a help
  // file), "failed" (could not be read: damaged, truncated, over a bound).
  std::string kind;
  std::string why;  // for "other", "index" and "failed"
  uint64_t size = 0;
  int help = -1;  // index into Catalogue::helps for kind "help"
};

struct HelpEntry {
  std::string origin, folder, name;
  std::string key;   // HelpFileKey(name): how jumps name it
  std::string site;  // its folder in the library
  std::string sha256;
  uint64_t size = 0;
  std::string title, copyright;
  std::vector<uint32_t> contexts;  // reachable from other sites, ascending
  std::vector<std::string> companions;  // origins of the .CNT and .GID beside it
  size_t input = 0;  // index into Catalogue::inputs
};

// What became of one help file: what the manifest says of it.
struct Converted {
  std::string status;  // "converted", "unchanged" (kept from an earlier run) or "failed"
  std::string why;
  size_t topics = 0, topicsExpected = 0, links = 0, dangling = 0, pictures = 0, picturesFailed = 0;
  size_t filesWritten = 0, filesFailed = 0;
  bool endedEarly = false;
  // Whether something of the help file did not reach its site.
  bool Lost() const {
    return status == "failed" || endedEarly || picturesFailed > 0 || filesFailed > 0 || topics < topicsExpected;
  }
  std::string ToJson() const;
  static std::optional<Converted> FromJson(std::string_view json);
};

class Catalogue {
 public:
  std::vector<InputRecord> inputs;
  std::vector<HelpEntry> helps;

  // The href from help file `from`'s site to the page of context `hash` in
  // the help file a jump names by `key`; "" when the collection has no such
  // file or that file no such context.  Of several files of that name, the
  // one nearest to `from` (the same folder, else the longest common part of
  // their origins, else the first found).
  std::string ExternalHref(size_t from, std::string_view key, uint32_t hash) const;
  std::string ExternalContents(size_t from, std::string_view key) const;
  // The site chosen for key from help file `from`, or -1.
  int Target(size_t from, std::string_view key) const;
  // A companion beside help file `help` by name (without regard to case).
  std::optional<std::string> Companion(size_t help, std::string_view name) const;

  std::string ToJson() const;
  static std::optional<Catalogue> FromJson(std::string_view json);

  // Building, for Scan: one input at a time in walk order, then Finish.
  void Add(Input &&input);
  void Finish();

 private:
  std::map<std::string, std::string> contents_;  // folder "\n" lower-case name -> .CNT bytes
  std::multimap<std::string, size_t> byKey_;     // key -> help
};

// Called now and then during Scan with the inputs looked at so far.
using ScanProgress = std::function<void(size_t inputs, size_t helpFiles)>;

// The first walk.  nullopt (why in *why) when the input cannot be read at all.
std::optional<Catalogue> Scan(const std::string &input, const Limits &limits, std::string *why = nullptr,
                              const ScanProgress &progress = {});

// The second walk: `each(help, bytes)` for every help file of the catalogue
// that `wanted(help)` asks for, in catalogue order; false from `each` stops.
// A help file whose bytes are not those scanned (the input changed) is handed
// over with null bytes.
void ReadHelpFiles(const Catalogue &catalogue, const std::string &input, const Limits &limits,
                   const std::function<bool(size_t help)> &wanted,
                   const std::function<bool(size_t help, std::shared_ptr<const std::string> bytes)> &each);

// An earlier run's site of help file `help` in the library at outDir, when
// it was made from the same bytes with the same links and companions and all
// its files are there: what it said then, with status "unchanged".
std::optional<Converted> KeptSite(const Catalogue &catalogue, size_t help, const std::string &outDir);

// Converts help file `help` (its bytes) into outDir/SITE; pictures and pages
// on the calling thread and at most one more.  Then stamps the site so that
// KeptSite knows it.
Converted ConvertHelpFile(const Catalogue &catalogue, size_t help, std::shared_ptr<const std::string> bytes,
                          const std::string &outDir, const std::function<void(size_t done, size_t total)> &progress = {});

// index.html and manifest.json.  `results` has one entry per help file.
// `input` is the input as the user named it, for the manifest.
bool WriteLibraryPages(const Catalogue &catalogue, const std::vector<Converted> &results, const std::string &input,
                       const std::string &outDir, std::string *why = nullptr);

// The manifest's bytes (as WriteLibraryPages writes them) and the top page's.
std::string ManifestJson(const Catalogue &catalogue, const std::vector<Converted> &results, const std::string &input);
std::string TopPage(const Catalogue &catalogue, const std::vector<Converted> &results);

// ---- All of it on one machine ----------------------------------------------------------------

struct BuildProgress {
  size_t helpFiles = 0, done = 0, failed = 0, topics = 0;
  uint64_t bytes = 0, bytesDone = 0;  // help files' bytes: for the time left
  double seconds = 0;
  bool scanning = false;  // still on the first walk (inputs so far in `done`)
};

struct BuildOptions {
  unsigned jobs = 0;  // help files converted at once; 0: one per core
  Limits limits;
  std::function<void(const BuildProgress &)> progress;  // from any thread, never two at once
};

struct BuildReport {
  bool ok = false;  // the input could be read and the library written
  std::string why;
  size_t inputs = 0, helpFiles = 0, converted = 0, unchanged = 0, failed = 0, topics = 0, others = 0;
  std::vector<std::string> failures;  // "ORIGIN: WHY"
  // Whether anything failed: an input not read, a help file not converted,
  // something of one lost.
  bool AnyFailed() const { return !ok || failed > 0; }
};

BuildReport BuildLibrary(const std::string &input, const std::string &outDir, const BuildOptions &options = {});

// What BuildLibrary reports, from a catalogue and its results (ok set: the
// library was written).
BuildReport Summarize(const Catalogue &catalogue, const std::vector<Converted> &results);

// Whether a path names a collection (a folder, or a file that is an archive
// or a disc image, possibly compressed) rather than a single help file.
bool IsCollection(const std::string &path);

}  // namespace quillon::collection
