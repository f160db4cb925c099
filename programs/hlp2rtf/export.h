// hlp2rtf's work, apart from its command line: the topic stream written as
// one RTF document or as plain text, and the help file's pictures as files.
// A library of its own so that the benchmarks run the program's whole path,
// into memory.
#pragma once

#include <marlet/marlet.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/output.h"

namespace hlp2rtf {

// Every topic of the stream, from the reader's place on, as RTF (or, with
// text, as plain text) into out, with a progress line of the topics against
// the size of the title index.
void ExportTopics(IfsHandle container, TopicHandle topic, bool text, programs::Output &out);

// Whether an internal file holds a picture: "|bm" and a number ("bm" and a
// number in 3.0 files).
bool IsPictureName(const char *name);

// The picture that an open internal file holds, converted by the SHG import,
// and the file it makes: a .bmp for a bitmap (written from the import's DIB
// without a copy of its pixels), a placeable .wmf for a metafile.
class Picture {
 public:
  explicit Picture(IfsFileHandle file);
  ~Picture();
  Picture(const Picture &) = delete;
  Picture &operator=(const Picture &) = delete;

  // False when the picture could not be read or converted: it has no file.
  bool converted() const { return converted_; }
  const char *extension() const { return metafile_ != nullptr ? ".wmf" : ".bmp"; }
  // Writes the picture's file.
  void Write(programs::Output &out) const;

 private:
  HGLOBAL dib_ = nullptr;
  HGLOBAL hotspots_ = nullptr;
  HMETAFILE metafile_ = nullptr;
  bool converted_ = false;
  uint8_t bmpHead_[14 + 40] = {};
  size_t dibBytes_ = 0;
  std::unique_ptr<uint8_t[]> wmf_;  // the placeable header and the metafile's bytes
  size_t wmfBytes_ = 0;
};

struct PictureCounts {
  int written = 0;
  int failed = 0;
};

// Writes every picture of the help file into directory (which must exist) as
// bm0.bmp, bm1.wmf, ...; each that fails is reported on standard error.
PictureCounts ExportPictures(IfsHandle container, const std::string &directory);

}  // namespace hlp2rtf
