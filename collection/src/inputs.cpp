// The one reader of inputs: folders, archives (libarchive, from disk or from
// memory), COMPRESS files (libmspack, from memory), down to named bytes.
#include "quillon/collection/inputs.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <string>
#include <vector>

#include "expand.h"

namespace quillon::collection {

namespace {

constexpr size_t kComponentBytes = 200;  // a printable origin's components ...
constexpr size_t kPathBytes = 2000;      // ... and the whole of it
constexpr int kFolderDepth = 64;         // folders inside folders on disk

bool HasMagic(const std::string &bytes, std::string_view magic) {
  return bytes.size() >= magic.size() && std::memcmp(bytes.data(), magic.data(), magic.size()) == 0;
}

// A help container (help file, .GID, .ANN ...): the magic number of its header.
constexpr std::string_view kContainerMagic("\x3F\x5F\x03\x00", 4);

bool EndsWithNoCase(std::string_view name, std::string_view suffix) {
  if (name.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    char c = name[name.size() - suffix.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

std::string Join(const std::string &folder, const std::string &name) { return folder.empty() ? name : folder + "/" + name; }

std::string LastComponent(const std::string &origin) {
  size_t slash = origin.rfind('/');
  return slash == std::string::npos ? origin : origin.substr(slash + 1);
}

std::string ParentOf(const std::string &origin) {
  size_t slash = origin.rfind('/');
  return slash == std::string::npos ? "" : origin.substr(0, slash);
}

// Appends one code point as UTF-8.
void PutUtf8(std::string &out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// One component made printable: each valid UTF-8 sequence kept, each other
// byte U+FFFD, control characters "?"; at most kComponentBytes.
std::string PrintableComponent(std::string_view raw) {
  std::string out;
  size_t i = 0;
  while (i < raw.size()) {
    unsigned char c = static_cast<unsigned char>(raw[i]);
    uint32_t point = 0xFFFD;
    size_t length = 1;
    if (c < 0x80) {
      point = c;
    } else {
      size_t need = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
      if (need > 0 && i + need <= raw.size()) {
        uint32_t value = c & (need == 2 ? 0x1F : need == 3 ? 0x0F : 0x07);
        bool ok = true;
        for (size_t k = 1; k < need; ++k) {
          unsigned char next = static_cast<unsigned char>(raw[i + k]);
          if ((next & 0xC0) != 0x80) ok = false;
          value = (value << 6) | (next & 0x3F);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && value >= least[need] && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF)) {
          point = value;
          length = need;
        }
      }
    }
    if (point < 0x20 || point == 0x7F || (point >= 0x80 && point < 0xA0)) point = '?';
    std::string piece;
    PutUtf8(piece, point);
    if (out.size() + piece.size() > kComponentBytes) {
      out += "\xE2\x80\xA6";  // an ellipsis where it was cut
      break;
    }
    out += piece;
    i += length;
  }
  return out;
}

// ---- The walk ------------------------------------------------------------------------------

struct ArchiveCloser {
  void operator()(struct archive *a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<struct archive, ArchiveCloser>;

// A reader for archives and disc images.  Formats and filters are named one
// by one rather than "all": libarchive's mtree reader takes plain text for a
// file list, its raw reader takes anything, and some filters run external
// programs on the data.
ArchivePtr NewArchiveReader() {
  ArchivePtr a(archive_read_new());
  if (!a) return a;
  for (auto support : {archive_read_support_format_zip, archive_read_support_format_iso9660,
                       archive_read_support_format_tar, archive_read_support_format_7zip,
                       archive_read_support_format_cab, archive_read_support_format_rar,
                       archive_read_support_format_rar5, archive_read_support_format_lha,
                       archive_read_support_format_cpio, archive_read_support_format_xar,
                       archive_read_support_format_ar})
    support(a.get());
  for (auto support : {archive_read_support_filter_gzip, archive_read_support_filter_bzip2,
                       archive_read_support_filter_xz, archive_read_support_filter_lzma,
                       archive_read_support_filter_zstd, archive_read_support_filter_compress,
                       archive_read_support_filter_lzip})
    support(a.get());
  return a;
}

class Walker {
 public:
  Walker(const Limits &limits, const std::function<bool(Input &&)> &each) : limits_(limits), each_(each) {}

  void Memory(std::shared_ptr<const std::string> bytes, const std::string &name) {
    std::string origin = PrintableComponent(LastComponent(name));
    if (origin.empty()) origin = "input";
    if (bytes->empty()) {
      Other(origin, "", "an empty file", 0);
      return;
    }
    uint64_t size = bytes->size();
    Blob(origin, "", origin, std::move(bytes), 0, size);
  }

  bool Top(const std::string &path, std::string *why) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
      if (why) *why = std::string("cannot read ") + path + ": " + std::strerror(errno);
      return false;
    }
    if (S_ISDIR(info.st_mode)) {
      Folder(path, "", 0);
      return true;
    }
    std::string base = path;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    DiskFile(path, PrintableComponent(LastComponent(base)), "", info);
    return true;
  }

 private:
  bool Emit(Input input) {
    if (stopped_) return false;
    if (input.name.empty()) input.name = LastComponent(input.origin);
    if (!each_(std::move(input))) stopped_ = true;
    return !stopped_;
  }

  void Fail(const std::string &origin, const std::string &folder, std::string why, uint64_t size = 0) {
    Input input;
    input.kind = Input::Kind::Failed;
    input.origin = origin;
    input.folder = folder;
    input.why = std::move(why);
    input.size = size;
    Emit(std::move(input));
  }

  void Other(const std::string &origin, const std::string &folder, std::string why, uint64_t size) {
    Input input;
    input.kind = Input::Kind::Other;
    input.origin = origin;
    input.folder = folder;
    input.why = std::move(why);
    input.size = size;
    Emit(std::move(input));
  }

  void Folder(const std::string &path, const std::string &origin, int depth) {
    if (stopped_) return;
    if (depth > kFolderDepth) {
      Fail(origin, ParentOf(origin), "folders nested deeper than " + std::to_string(kFolderDepth));
      return;
    }
    DIR *dir = ::opendir(path.c_str());
    if (dir == nullptr) {
      Fail(origin.empty() ? "." : origin, ParentOf(origin), std::string("cannot read the folder: ") + std::strerror(errno));
      return;
    }
    std::vector<std::string> names;
    while (struct dirent *entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(std::move(name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());  // the same order on every walk
    for (const std::string &name : names) {
      if (stopped_) return;
      std::string child = path + "/" + name;
      std::string childOrigin = Join(origin, PrintableComponent(name));
      struct stat info;
      if (::lstat(child.c_str(), &info) != 0) {
        Fail(childOrigin, origin, std::string("cannot read: ") + std::strerror(errno));
      } else if (S_ISLNK(info.st_mode)) {
        Other(childOrigin, origin, "a symbolic link, not followed", 0);
      } else if (S_ISDIR(info.st_mode)) {
        Folder(child, childOrigin, depth + 1);
      } else if (S_ISREG(info.st_mode)) {
        DiskFile(child, childOrigin, origin, info);
      } else {
        Other(childOrigin, origin, "not a regular file", 0);
      }
    }
  }

  // Reads a whole file from disk, to the entry bound.
  bool ReadDisk(const std::string &path, uint64_t size, std::string &out, std::string &why) {
    if (size > limits_.entryBytes) {
      why = "larger than the bound of " + std::to_string(limits_.entryBytes) + " bytes for one file";
      return false;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      why = std::string("cannot open: ") + std::strerror(errno);
      return false;
    }
    out.resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < out.size()) {
      ssize_t n = ::read(fd, out.data() + done, out.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::close(fd);
    out.resize(done);  // a file that shrank while we read: what there was
    return true;
  }

  // A regular file: the walk saw it with lstat (links are skipped there), or
  // the user named it, link or not.  Files are only read, never written.
  void DiskFile(const std::string &path, const std::string &origin, const std::string &folder,
                const struct stat &info) {
    uint64_t size = static_cast<uint64_t>(info.st_size);
    if (size == 0) {
      Other(origin, folder, "an empty file", 0);
      return;
    }
    char head[8] = {};
    {
      int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) {
        Fail(origin, folder, std::string("cannot open: ") + std::strerror(errno), size);
        return;
      }
      ssize_t n = ::read(fd, head, sizeof head);
      ::close(fd);
      if (n < 0) {
        Fail(origin, folder, std::string("cannot read: ") + std::strerror(errno), size);
        return;
      }
    }
    std::string sniff(head, sizeof head);
    if (HasMagic(sniff, kContainerMagic) || IsCompressed(sniff) || EndsWithNoCase(origin, ".cnt")) {
      auto bytes = std::make_shared<std::string>();
      std::string why;
      if (!ReadDisk(path, size, *bytes, why)) {
        Fail(origin, folder, why, size);
        return;
      }
      Blob(origin, folder, LastComponent(origin), std::move(bytes), 0, size);
      return;
    }
    // Anything else may be an archive or a disc image: libarchive reads it
    // from the disk as it goes, however large.
    ArchivePtr a = NewArchiveReader();
    if (!a || archive_read_open_filename(a.get(), path.c_str(), 64 << 10) != ARCHIVE_OK ||
        !Archive(a.get(), origin, folder, 1, size))
      Other(origin, folder, "not a help file", size);
  }

  // Bytes in memory: what are they?
  void Blob(const std::string &origin, const std::string &folder, const std::string &name,
            std::shared_ptr<const std::string> bytes, int depth, uint64_t size) {
    if (stopped_) return;
    if (HasMagic(*bytes, kContainerMagic)) {
      EmitBytes(Input::Kind::Container, origin, folder, name, std::move(bytes), size);
      return;
    }
    if (IsCompressed(*bytes)) {
      if (depth >= limits_.depth) {
        Fail(origin, folder, "compressed files and archives nested deeper than " + std::to_string(limits_.depth), size);
        return;
      }
      uint64_t room = std::min(limits_.entryBytes, limits_.totalBytes - std::min(limits_.totalBytes, unpacked_));
      Expanded expanded = Expand(*bytes, name, room);
      if (!expanded.ok) {
        Fail(origin, folder, expanded.why, size);
        return;
      }
      unpacked_ += expanded.bytes.size();
      bytes.reset();  // the compressed bytes go before the expanded ones are looked at
      std::string expandedName = expanded.name;  // from the data (KWAJ keeps a name): one component, printable
      size_t cut = expandedName.find_last_of("/\\");
      if (cut != std::string::npos) expandedName.erase(0, cut + 1);
      expandedName = PrintableComponent(expandedName);
      if (expandedName.empty()) expandedName = name;
      Blob(origin, folder, expandedName, std::make_shared<std::string>(std::move(expanded.bytes)), depth + 1, size);
      return;
    }
    if (!EndsWithNoCase(name, ".cnt")) {
      // Perhaps an archive inside an archive.
      ArchivePtr a = NewArchiveReader();
      if (a && archive_read_open_memory(a.get(), bytes->data(), bytes->size()) == ARCHIVE_OK) {
        if (depth >= limits_.depth) {
          // libarchive tells the format only once it has read a header.
          struct archive_entry *probe = nullptr;
          if (archive_read_next_header(a.get(), &probe) == ARCHIVE_OK || archive_format(a.get()) != 0) {
            Fail(origin, folder, "archives nested deeper than " + std::to_string(limits_.depth), size);
            return;
          }
        } else if (Archive(a.get(), origin, folder, depth + 1, size)) {
          return;
        }
      }
    }
    if (EndsWithNoCase(name, ".cnt")) {
      EmitBytes(Input::Kind::Contents, origin, folder, name, std::move(bytes), size);
      return;
    }
    Other(origin, folder, "not a help file", size);
  }

  void EmitBytes(Input::Kind kind, const std::string &origin, const std::string &folder, const std::string &name,
                 std::shared_ptr<const std::string> bytes, uint64_t size) {
    Input input;
    input.kind = kind;
    input.origin = origin;
    input.folder = folder;
    input.name = name;
    input.size = size;
    input.bytes = std::move(bytes);
    Emit(std::move(input));
  }

  // The entries of an open archive; false (and nothing handed over) when it is
  // no archive at all.
  bool Archive(struct archive *a, const std::string &origin, const std::string &folder, int depth, uint64_t size) {
    size_t entries = 0;
    for (;;) {
      if (stopped_) return true;
      struct archive_entry *entry = nullptr;
      int status = archive_read_next_header(a, &entry);
      if (status == ARCHIVE_EOF) break;
      if (status < ARCHIVE_WARN) {
        // No archive at all: the caller looks further.  libarchive says so in
        // words only; anything else at the first header is a damaged archive.
        if (entries == 0 && ErrorOf(a).rfind("Unrecognized archive format", 0) == 0) return false;
        Fail(origin, folder,
             "damaged archive (after " + std::to_string(entries) + " entries): " + ErrorOf(a), size);
        return true;
      }
      ++entries;
      const char *raw = archive_entry_pathname(entry);
      std::string inner = PrintablePath(raw != nullptr ? raw : "");
      if (inner.empty()) inner = "(unnamed entry " + std::to_string(entries) + ")";
      std::string entryOrigin = PrintablePath(origin + "/" + inner);
      std::string entryFolder = ParentOf(entryOrigin);
      mode_t type = archive_entry_filetype(entry);
      if (type == AE_IFDIR) continue;
      if (type != AE_IFREG) {
        Other(entryOrigin, entryFolder, "not a regular file (a link or device in the archive)", 0);
        continue;
      }
      if (archive_entry_size_is_set(entry) && archive_entry_size(entry) < 0) {
        Fail(entryOrigin, entryFolder, "a negative size");
        continue;
      }
      uint64_t declared = archive_entry_size_is_set(entry) ? static_cast<uint64_t>(archive_entry_size(entry)) : 0;
      if (declared > limits_.entryBytes) {
        Fail(entryOrigin, entryFolder,
             "claims " + std::to_string(declared) + " bytes, more than the bound of " +
                 std::to_string(limits_.entryBytes) + " for one file: not read",
             declared);
        continue;
      }
      if (unpacked_ >= limits_.totalBytes) {
        Fail(entryOrigin, entryFolder,
             "the bound of " + std::to_string(limits_.totalBytes) + " bytes unpacked for the collection is reached: not read",
             declared);
        continue;
      }
      uint64_t room = std::min(limits_.entryBytes, limits_.totalBytes - unpacked_);
      auto bytes = std::make_shared<std::string>();
      std::string why;
      int read = ReadEntry(a, room, *bytes, why);
      unpacked_ += bytes->size();
      if (read < 0) {
        Fail(entryOrigin, entryFolder, why, declared);
        if (read == -2) return true;  // the archive cannot go on
        continue;
      }
      if (bytes->empty()) {
        Other(entryOrigin, entryFolder, "an empty file", 0);
        continue;
      }
      uint64_t found = bytes->size();
      Blob(entryOrigin, entryFolder, LastComponent(entryOrigin), std::move(bytes), depth, found);
    }
    return true;
  }

  // 0 when the entry was read whole, -1 when this entry failed, -2 when the
  // archive cannot be read further.
  static int ReadEntry(struct archive *a, uint64_t room, std::string &out, std::string &why) {
    char buffer[64 << 10];
    for (;;) {
      la_ssize_t n = archive_read_data(a, buffer, sizeof buffer);
      if (n == 0) return 0;
      if (n < 0) {
        why = "damaged: " + ErrorOf(a);
        out.clear();
        return n == ARCHIVE_FATAL ? -2 : -1;
      }
      if (out.size() + static_cast<uint64_t>(n) > room) {
        why = "unpacks to more than the bound of " + std::to_string(room) + " bytes for one file: not read";
        out.clear();
        out.shrink_to_fit();
        return -1;
      }
      out.append(buffer, static_cast<size_t>(n));
    }
  }

  static std::string ErrorOf(struct archive *a) {
    const char *message = archive_error_string(a);
    return PrintableComponent(message != nullptr ? message : "unknown error");
  }

  const Limits &limits_;
  const std::function<bool(Input &&)> &each_;
  uint64_t unpacked_ = 0;
  bool stopped_ = false;
};

}  // namespace

std::string PrintablePath(std::string_view raw) {
  std::string out;
  size_t start = 0;
  while (start <= raw.size()) {
    size_t end = raw.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = raw.size();
    std::string_view component = raw.substr(start, end - start);
    start = end + 1;
    if (component.empty() || component == ".") continue;
    std::string piece = PrintableComponent(component);
    if (out.size() + piece.size() + 1 > kPathBytes) {
      out += "/\xE2\x80\xA6";
      break;
    }
    if (!out.empty()) out += '/';
    out += piece;
  }
  return out;
}

bool ReadInputs(const std::string &path, const Limits &limits, const std::function<bool(Input &&)> &each,
                std::string *why) {
  Walker walker(limits, each);
  return walker.Top(path, why);
}

bool IsArchive(const std::string &path) {
  ArchivePtr a = NewArchiveReader();
  if (!a || archive_read_open_filename(a.get(), path.c_str(), 64 << 10) != ARCHIVE_OK) return false;
  struct archive_entry *entry = nullptr;
  int status = archive_read_next_header(a.get(), &entry);
  if (status >= ARCHIVE_WARN || status == ARCHIVE_EOF) return true;
  const char *message = archive_error_string(a.get());
  return message == nullptr || std::string_view(message).rfind("Unrecognized archive format", 0) != 0;
}

void ReadInputsFromMemory(std::shared_ptr<const std::string> bytes, const std::string &name, const Limits &limits,
                          const std::function<bool(Input &&)> &each) {
  Walker walker(limits, each);
  walker.Memory(bytes ? std::move(bytes) : std::make_shared<const std::string>(), name);
}

}  // namespace quillon::collection
