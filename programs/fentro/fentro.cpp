// fentro: lists the internal files of a help file with the offset of each
// one's header and its size.
#include <marlet/marlet.h>

#include <cstdio>

namespace {

int32_t MARLET_API ListFile(const char *name, int32_t fileOffset, MarletUserData userData) {
  auto container = reinterpret_cast<IfsHandle>(userData);
  unsigned long offset = static_cast<uint32_t>(fileOffset);
  IfsFileHandle file = IFSOpenFile(container, name);
  if (file != nullptr) {
    unsigned long size = IFSSeekFile(file, 0, 2);
    std::printf("FileOffset:0x%08lx Size:0x%08lx\tFileName:\"%s\"\n", offset, size, name);
    IFSCloseFile(file);
  } else {
    std::printf("FileOffset:0x%08lx Access ERROR!\tFileName:\"%s\"\n", offset, name);
  }
  return 1;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc <= 1) {
    std::printf(
        "FENTRO : Simple Example program for Quillon\n"
        "          Enumerates the List of Files (Baggage and internal) contained in a"
        "          Help internal file System.Usage: FENTRO Filename\n");
    return 0;
  }
  IfsHandle container = IFSOpen(argv[1]);
  if (container == nullptr) {
    std::printf("File could not be opened\n");
    return 0;
  }
  IFSEnumerateFiles(container, ListFile, reinterpret_cast<MarletUserData>(container));
  IFSClose(container);
  return 0;
}
