// SZDD and KWAJ expansion from memory to memory.
//
// libmspack reads and writes through an mspack_system of the caller's: ours
// hands it "file names" that are pointers to a Stream (the compressed bytes,
// or the output string with its bound), so nothing touches the disk.  Output
// past the bound fails the write, and with it the expansion.
//
// SZDD header (little-endian):  0  8  "SZDD\x88\xF0\x27\x33"
//                                8  1  compression mode ('A')
//                                9  1  the last letter of the name's extension, 0 when not kept
//                               10  4  length expanded
#include "expand.h"

#include <mspack.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace quillon::collection {

namespace {

constexpr std::string_view kSzdd("SZDD\x88\xF0\x27\x33", 8);
constexpr std::string_view kKwaj("KWAJ\x88\xF0\x27\xD1", 8);

struct Stream {
  const std::string *input = nullptr;  // reading
  std::string *output = nullptr;       // writing
  uint64_t room = 0;
  bool overflow = false;
};

struct Handle {
  Stream *stream;
  size_t position = 0;
};

mspack_file *Open(mspack_system *, const char *filename, int mode) {
  auto *stream = reinterpret_cast<Stream *>(const_cast<char *>(filename));
  if (mode == MSPACK_SYS_OPEN_READ && stream->input == nullptr) return nullptr;
  if (mode != MSPACK_SYS_OPEN_READ && (mode != MSPACK_SYS_OPEN_WRITE || stream->output == nullptr)) return nullptr;
  return reinterpret_cast<mspack_file *>(new Handle{stream});
}

void Close(mspack_file *file) { delete reinterpret_cast<Handle *>(file); }

int Read(mspack_file *file, void *buffer, int bytes) {
  auto *h = reinterpret_cast<Handle *>(file);
  if (bytes < 0 || h->stream->input == nullptr) return -1;
  const std::string &in = *h->stream->input;
  size_t n = h->position >= in.size() ? 0 : std::min(in.size() - h->position, static_cast<size_t>(bytes));
  std::memcpy(buffer, in.data() + h->position, n);
  h->position += n;
  return static_cast<int>(n);
}

int Write(mspack_file *file, void *buffer, int bytes) {
  auto *h = reinterpret_cast<Handle *>(file);
  Stream *s = h->stream;
  if (bytes < 0 || s->output == nullptr) return -1;
  if (s->output->size() + static_cast<uint64_t>(bytes) > s->room) {
    s->overflow = true;
    return -1;
  }
  s->output->append(static_cast<const char *>(buffer), static_cast<size_t>(bytes));
  return bytes;
}

int Seek(mspack_file *file, off_t offset, int mode) {
  auto *h = reinterpret_cast<Handle *>(file);
  if (h->stream->input == nullptr) return -1;
  off_t size = static_cast<off_t>(h->stream->input->size());
  off_t base = mode == MSPACK_SYS_SEEK_START ? 0 : mode == MSPACK_SYS_SEEK_CUR ? static_cast<off_t>(h->position) : size;
  if (mode != MSPACK_SYS_SEEK_START && mode != MSPACK_SYS_SEEK_CUR && mode != MSPACK_SYS_SEEK_END) return -1;
  off_t target = base + offset;
  if (target < 0 || target > size) return -1;
  h->position = static_cast<size_t>(target);
  return 0;
}

off_t Tell(mspack_file *file) { return static_cast<off_t>(reinterpret_cast<Handle *>(file)->position); }

void Message(mspack_file *, const char *, ...) {}  // failures are told by the result
// Blocks are handed out zeroed: libmspack 0.11 frees the name fields of a
// KWAJ header that ends before they are read without having set them, and a
// zeroed header makes those null.
void *Alloc(mspack_system *, size_t bytes) { return std::calloc(1, bytes); }
void Free(void *block) { std::free(block); }
void Copy(void *from, void *to, size_t bytes) { std::memmove(to, from, bytes); }

mspack_system kMemory = {Open, Close, Read, Write, Seek, Tell, Message, Alloc, Free, Copy, nullptr};

const char *AsName(Stream &stream) { return reinterpret_cast<const char *>(&stream); }

std::string ErrorText(int error) {
  switch (error) {
    case MSPACK_ERR_SIGNATURE: return "not a compressed file after all (signature)";
    case MSPACK_ERR_DATAFORMAT: return "damaged compressed data";
    case MSPACK_ERR_READ: return "truncated: the compressed data ends early";
    case MSPACK_ERR_DECRUNCH: return "damaged compressed data";
    case MSPACK_ERR_NOMEMORY: return "out of memory";
    default: return "cannot be expanded (libmspack error " + std::to_string(error) + ")";
  }
}

}  // namespace

bool IsCompressed(std::string_view bytes) {
  return bytes.substr(0, 8) == kSzdd || bytes.substr(0, 8) == kKwaj;
}

Expanded Expand(const std::string &bytes, const std::string &name, uint64_t room) {
  Expanded result;
  Stream input;
  input.input = &bytes;
  Stream output;
  output.output = &result.bytes;
  output.room = room;
  auto bound = [&] {
    result.why = "expands to more than the bound of " + std::to_string(room) + " bytes: not expanded";
    result.bytes.clear();
    return result;
  };
  if (bytes.substr(0, 8) == kSzdd) {
    std::unique_ptr<msszdd_decompressor, void (*)(msszdd_decompressor *)> d(mspack_create_szdd_decompressor(&kMemory),
                                                                           mspack_destroy_szdd_decompressor);
    if (!d) return result.why = "out of memory", result;
    msszddd_header *header = d->open(d.get(), AsName(input));
    if (header == nullptr) return result.why = ErrorText(d->last_error(d.get())), result;
    uint64_t length = header->length < 0 ? 0 : static_cast<uint64_t>(header->length);
    if (length > room) {
      d->close(d.get(), header);
      return bound();
    }
    char missing = header->missing_char;
    int error = d->extract(d.get(), header, AsName(output));
    d->close(d.get(), header);
    if (output.overflow) return bound();
    if (error != MSPACK_ERR_OK) return result.why = ErrorText(error), result;
    // libmspack stops quietly where the data ends; the header says how long
    // the file was.
    if (result.bytes.size() != length)
      return result.why = "truncated: expands to " + std::to_string(result.bytes.size()) + " of the " +
                          std::to_string(length) + " bytes its header gives",
             result.bytes.clear(), result;
    result.name = name;
    if (!result.name.empty() && (result.name.back() == '_' || result.name.back() == '$') && missing != 0 &&
        static_cast<unsigned char>(missing) >= 0x20)
      result.name.back() = missing;
    result.ok = true;
    return result;
  }
  if (bytes.substr(0, 8) == kKwaj) {
    std::unique_ptr<mskwaj_decompressor, void (*)(mskwaj_decompressor *)> d(mspack_create_kwaj_decompressor(&kMemory),
                                                                           mspack_destroy_kwaj_decompressor);
    if (!d) return result.why = "out of memory", result;
    mskwajd_header *header = d->open(d.get(), AsName(input));
    if (header == nullptr) return result.why = ErrorText(d->last_error(d.get())), result;
    uint64_t length = header->length < 0 ? 0 : static_cast<uint64_t>(header->length);
    std::string kept = header->filename != nullptr ? header->filename : "";
    if (length > room) {
      d->close(d.get(), header);
      return bound();
    }
    int error = d->extract(d.get(), header, AsName(output));
    d->close(d.get(), header);
    if (output.overflow) return bound();
    if (error != MSPACK_ERR_OK) return result.why = ErrorText(error), result;
    if (length != 0 && result.bytes.size() != length)
      return result.why = "truncated: expands to " + std::to_string(result.bytes.size()) + " of the " +
                          std::to_string(length) + " bytes its header gives",
             result.bytes.clear(), result;
    result.name = kept.empty() ? name : kept;
    result.ok = true;
    return result;
  }
  result.why = "not a compressed file";
  return result;
}

}  // namespace quillon::collection
