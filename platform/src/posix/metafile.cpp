// Metafile handles: a handle keeps its own copy of the metafile's bytes.
#include <quillon/platform.h>

#include <cstdlib>
#include <cstring>

struct QuillonMetafile {
  UINT size;
  BYTE bytes[1];
};

extern "C" {

// A Windows metafile begins with an 18-byte METAHEADER: type 1 (memory) or 2
// (disk), then its own size in 16-bit words, 9; at offset 6 the size of the
// whole metafile in words.  The system's SetMetaFileBitsEx sets that size
// from the bytes it is given, whatever the header said (GetMetaFileBitsEx
// then gives it back so), and so does this one.
HMETAFILE SetMetaFileBitsEx(UINT bytes, const BYTE *data) {
  if (data == nullptr || bytes < 18) return nullptr;
  unsigned type = data[0] | (data[1] << 8);
  unsigned headerWords = data[2] | (data[3] << 8);
  if ((type != 1 && type != 2) || headerWords != 9) return nullptr;
  auto *metafile = static_cast<QuillonMetafile *>(std::malloc(sizeof(QuillonMetafile) + bytes));
  if (metafile == nullptr) return nullptr;
  metafile->size = bytes;
  std::memcpy(metafile->bytes, data, bytes);
  const UINT words = bytes / 2;
  for (int i = 0; i < 4; ++i) metafile->bytes[6 + i] = static_cast<BYTE>(words >> (8 * i));
  return metafile;
}

UINT GetMetaFileBitsEx(HMETAFILE metafile, UINT bufferSize, LPVOID buffer) {
  if (metafile == nullptr) return 0;
  if (buffer == nullptr) return metafile->size;
  if (bufferSize < metafile->size) return 0;
  std::memcpy(buffer, metafile->bytes, metafile->size);
  return metafile->size;
}

BOOL DeleteMetaFile(HMETAFILE metafile) {
  if (metafile == nullptr) return FALSE;
  std::free(metafile);
  return TRUE;
}

}  // extern "C"
