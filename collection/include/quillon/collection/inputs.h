// Inputs behind one reader: a folder tree, an archive or disc image (what
// libarchive reads: ZIP, ISO 9660, tar, 7z, CAB ...), archives inside
// archives, and the old installers' COMPRESS files (SZDD, KWAJ: HELP.HL_)
// all come out as the same thing: named bytes in memory with the path where
// they were found ("disk1.iso/SETUP/HELP.HL_").  Nothing is unpacked to disk.
//
// What a file is, is decided by its bytes: a help container by its magic
// number, a compressed file by its signature, an archive by libarchive's
// reading of it.  Only companions (a .CNT) are recognised by name, as the
// help viewer found them.
//
// Bounds, for damaged and hostile inputs: archives inside archives are read
// to a depth, every file taken into memory to a number of bytes (a zip bomb's
// entry stops there), and the whole walk to a number of bytes unpacked.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace quillon::collection {

struct Limits {
  // Bytes of one file taken into memory: a help file, a companion, an
  // archive inside an archive, a compressed file expanded.  The largest help
  // files known are a few tens of megabytes.
  uint64_t entryBytes = 256ull << 20;
  // Bytes unpacked from archives and compressed files over the whole walk.
  uint64_t totalBytes = 64ull << 30;
  // Archives inside archives (a disc image holding a ZIP holding a CAB is 3).
  int depth = 6;
};

struct Input {
  enum class Kind {
    Container,  // a help container (help file, or the viewer's .GID and the like): bytes given
    Contents,   // a contents file (.CNT) by name: bytes given
    Other,      // not a help file; what it is in `why`
    Failed,     // could not be read: why in `why`
  };
  Kind kind = Kind::Other;
  // Where it was found, from the top of the input: components separated by
  // "/", archives and compressed files as components ("cd.iso/SETUP/HELP.HL_").
  // Made printable: valid UTF-8, no control characters, bounded lengths.
  std::string origin;
  // The origin of the folder or archive folder it lay in (its companions lie
  // there too): origin without its last component.
  std::string folder;
  // The file's own name: origin's last component, or for a compressed file
  // the name it expands to (HELP.HL_ with its missing letter P: HELP.HLP).
  std::string name;
  std::shared_ptr<const std::string> bytes;  // Container and Contents
  std::string why;
  uint64_t size = 0;  // bytes as found (before expanding)
};

// Walks the input (a folder, recursively in name order, symbolic links not
// followed; or one file) and hands every file found to `each`, in an order
// that is the same on every walk of the same input.  false from `each` stops
// the walk.  Returns false when the input itself cannot be read (why in *why).
bool ReadInputs(const std::string &path, const Limits &limits, const std::function<bool(Input &&)> &each,
                std::string *why = nullptr);

// The same for bytes already in memory under a name (the origin of all they
// hold): a help file, a compressed file or an archive.
void ReadInputsFromMemory(std::shared_ptr<const std::string> bytes, const std::string &name, const Limits &limits,
                          const std::function<bool(Input &&)> &each);

// Whether the file at path is an archive or disc image that libarchive
// reads (a first entry's header is read, nothing more).
bool IsArchive(const std::string &path);

// How an origin is made printable: invalid UTF-8 and control characters
// replaced, empty and "." components dropped, components and the whole
// bounded.  ".." is kept as text: an origin only names, it is never a path
// that is opened or written.
std::string PrintablePath(std::string_view raw);

}  // namespace quillon::collection
