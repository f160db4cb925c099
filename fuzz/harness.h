// Fuzz targets of the library: one per family of entry points.
//
// Each target takes one input of any length, runs the library on it and
// checks what the interface promises about the results (strings terminated,
// stop rules kept, blocks as large as their headers say, every file and block
// released).  A broken promise aborts, so that libFuzzer and the regression
// tests report it like a sanitizer finding.  Every loop over the library's
// results is bounded, so that one input stays well under 100 ms.
//
// The same sources serve three builds: libFuzzer targets (entry.cpp, built
// with clang and QUILLON_FUZZ), stand-alone runners over seed files
// (entry.cpp with standalone.cpp, any compiler) and the regression tests,
// which call the Run functions directly.
#pragma once

#include <marlet/marlet.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillon_fuzz {

// Help file: IFSOpen, the internal files, titles, contexts, keywords of every
// list, |SYSTEM, IsSecondaryWindow and IsTopic.
int RunContainer(const uint8_t *data, size_t size);
// Help file: HlpTopicOpen with fonts, keywords and contexts, the whole
// stream, then seeks to the indexed positions.
int RunTopic(const uint8_t *data, size_t size);
// Help file: the document layer (the whole model, topics one at a time, the
// keyword lists, the contents file) and each topic's HTML.
int RunDocument(const uint8_t *data, size_t size);
// SHG file image: SHGImportEx, and the picture files of what it made.
int RunShgImport(const uint8_t *data, size_t size);
// A DIB block and a hotspot list block (layout in shg_export_fuzzer.cpp):
// SHGExport, then SHGImportEx of the file it wrote.
int RunShgExport(const uint8_t *data, size_t size);
// SHG image: the picture layer's Decode, then Png and Svg of what it made
// (built only with the picture layer, pictures/).
int RunPictures(const uint8_t *data, size_t size);

// Bytes as a file of a collection: the collection's reader (archives, disc
// images, compressed files, nested) and the catalogue's reading of the help
// containers found (built only with the collection layer, collection/).
int RunCollection(const uint8_t *data, size_t size);

// The name under which the input is served as a help file.
inline constexpr const char *kInputName = "input.hlp";

// Serves the input as the one file kInputName through the platform's file
// seam while it lives (no other name opens), and keeps message boxes silent.
// Checks at its end that every file opened through it was closed.
class InputFile {
 public:
  InputFile(const uint8_t *data, size_t size);
  ~InputFile();
  InputFile(const InputFile &) = delete;
  InputFile &operator=(const InputFile &) = delete;

 private:
  static void *Open(void *context, const char *path, char *fullPath, size_t fullPathSize);
  static int32_t ReadAt(void *context, void *file, uint64_t offset, void *buffer, uint32_t count);
  static void Close(void *context, void *file);

  const uint8_t *data_;
  size_t size_;
  int open_ = 0;
  QuillonFileOps ops_;
};

// Keeps message boxes silent while it lives.
class SilentMessages {
 public:
  SilentMessages();
  ~SilentMessages();
  SilentMessages(const SilentMessages &) = delete;
  SilentMessages &operator=(const SilentMessages &) = delete;

 private:
  QuillonMessageBoxHandler previous_;
};

// Reports a broken promise of the library and aborts.
[[noreturn]] void Fail(const char *what);
inline void Check(bool ok, const char *what) {
  if (!ok) Fail(what);
}

// True when text has a terminator within its first `room` bytes.
bool Terminated(const char *text, size_t room);

// Reads values from the input, front to back; zero past its end.
class InputReader {
 public:
  InputReader(const uint8_t *data, size_t size) : data_(data), size_(size) {}
  uint8_t U8() { return at_ < size_ ? data_[at_++] : 0; }
  uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
  uint32_t U32() { return U16() | (static_cast<uint32_t>(U16()) << 16); }
  size_t remaining() const { return size_ - at_; }
  // The next n bytes (fewer at the end).
  std::vector<uint8_t> Take(size_t n) {
    n = n < remaining() ? n : remaining();
    std::vector<uint8_t> bytes(data_ + at_, data_ + at_ + n);
    at_ += n;
    return bytes;
  }

 private:
  const uint8_t *data_;
  size_t size_;
  size_t at_ = 0;
};

}  // namespace quillon_fuzz
