// hlp2rtf's work, apart from its command line: the topic stream written as
// one RTF document or as plain text, and the help file's pictures as files.
// A library of its own so that the benchmarks run the program's whole path,
// into memory.
#pragma once

#include <marlet/marlet.h>

#include <cstdint>
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

// The file of the picture that an open internal file holds: a .bmp for a
// bitmap, a placeable .wmf for a metafile (extension says which).  False
// (bytes empty) when the picture cannot be read or converted.
bool PictureFile(IfsFileHandle file, std::vector<uint8_t> &bytes, const char *&extension);

struct PictureCounts {
  int written = 0;
  int failed = 0;
};

// Writes every picture of the help file into directory (which must exist) as
// bm0.bmp, bm1.wmf, ...; each that fails is reported on standard error.
PictureCounts ExportPictures(IfsHandle container, const std::string &directory);

}  // namespace hlp2rtf
