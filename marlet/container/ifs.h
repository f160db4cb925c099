// The container: an opened help file and its internal files.
//
// ContainerHeader, 16 bytes at offset 0 of the help file:
//   0  4  magic 0x00035F3F (bytes 3F 5F 03 00)
//   4  4  directory offset: where the directory's InternalFileHeader begins
//   8  4  first free block (not used)
//  12  4  size of the whole file (not used)
//
// InternalFileHeader, 9 bytes in front of the data of every internal file,
// the directory included:
//   0  4  reserved space (not used)
//   4  4  used space: the number of data bytes that follow
//   8  1  file flags (not used)
//
// The directory's data is a B-tree (btree.h) whose header lies at directory
// offset + 9 and whose page k lies at directory offset + 47 + k * page size.
// Its keys are internal-file names, its leaf data the 4-byte offset of each
// file's InternalFileHeader.
#pragma once

#include <marlet/marlet.h>

#include <cstdint>

#include "container/btree.h"
#include "container/internal_file.h"

namespace marlet {

inline constexpr uint32_t kContainerMagic = 0x00035F3F;
inline constexpr uint32_t kContainerHeaderSize = 16;
inline constexpr uint32_t kInternalFileHeaderSize = 9;

struct OpenFileRecord {  // the platform's OFSTRUCT
  uint8_t cBytes;
  uint8_t fFixedDisk;
  uint16_t nErrCode;
  uint16_t reserved1;
  uint16_t reserved2;
  char szPathName[128];
};

struct ContainerHeader {
  uint32_t magic;
  uint32_t directoryOffset;
  uint32_t firstFree;
  uint32_t fileSize;
};

// Reads count bytes of the help file at an absolute offset: the number read,
// or -1 when the file cannot be read.
int32_t ContainerRead(IfsHandle container, uint64_t offset, void *buffer, uint32_t count);

// The directory as a tree of pages.
BTreeSource DirectorySource(IfsHandle container);

}  // namespace marlet

struct IfsHandleRecord {
  marlet::OpenFileRecord openFileRecord;
  QuillonFile *file;
  marlet::ContainerHeader header;
  marlet::BTreeHeader directoryHeader;
};

struct IfsFileHandleRecord {
  IfsHandle container;
  uint32_t size;      // data bytes
  uint32_t start;     // offset of the first data byte in the help file
  uint32_t position;  // read position relative to start
};
