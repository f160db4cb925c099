/*
 * marlet: reads compiled Windows Help files (.HLP) and Media Viewer files, and
 * converts segmented-hypergraphics (SHG) pictures.
 *
 * A flat C interface.  Handles are opaque; records handed out belong to the
 * caller until their release call:
 *   IfsHandle       IFSOpen       -> IFSClose
 *   IfsFileHandle   IFSOpenFile   -> IFSCloseFile
 *   HelpTitleInfo*  HlpGetHelpTitle -> HlpFreeHelpTitle
 *   TopicHandle     HlpTopicOpen  -> HlpTopicClose
 *   SHG results are global memory blocks (GlobalFree) and metafile handles
 *   (DeleteMetaFile), see <quillon/platform.h>.
 * Internal files and topic handles refer to their IfsHandle without owning
 * it: close them before the container.  Strings handed to callbacks live only
 * during the call.  Failure is reported by the result alone.
 *
 * The library starts no threads and takes no locks: use one container, and
 * everything opened from it, from one thread at a time.  Only the picture
 * conversion may run beside other calls.
 */
#ifndef MARLET_MARLET_H
#define MARLET_MARLET_H

#include <stddef.h>
#include <stdint.h>

#include <quillon/platform.h>

/* Exports and callbacks use the standard Windows calling convention on 32-bit
 * Windows (arguments pushed right to left, removed by the callee); elsewhere
 * the system's default. */
#if defined(_WIN32) && !defined(_WIN64)
#  define MARLET_API __stdcall
#else
#  define MARLET_API
#endif

#if defined(_WIN32)
#  define MARLET_EXPORT
#else
#  define MARLET_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Common types ----------------------------------------------------- */

typedef struct IfsHandleRecord *IfsHandle;         /* an opened help file */
typedef struct IfsFileHandleRecord *IfsFileHandle; /* an opened internal file */
typedef struct TopicHandleRecord *TopicHandle;     /* an open topic stream */

/* The 32-bit hash by which help files name their topics.  Indexes order it as
 * a signed value. */
typedef int32_t ContextHash;

/* A position in the topic text, as the title, context and keyword indexes
 * store it. */
typedef uint32_t TopicOffset;

/* The value a caller passes to an enumeration and gets back in each callback,
 * unchanged: pointer-sized, so that it can carry an address (32 bits on 32-bit
 * Windows). */
typedef intptr_t MarletUserData;

/* HlpIsTopic's result for a hash that names no topic. */
#define MARLET_NO_TOPIC ((TopicOffset)0xFFFFFFFFu)

/* ---- Container and internal files ------------------------------------- */

/* Called once per directory entry: the internal file's name, the offset of its
 * header in the help file, and the caller's value.  The result is ignored. */
typedef int32_t(MARLET_API *FileEnumCallback)(const char *name, int32_t fileOffset,
                                              MarletUserData userData);

/* Opens a help file; null when it cannot be opened or is no help container. */
MARLET_EXPORT IfsHandle MARLET_API IFSOpen(const char *fileName);
/* Closes the file and releases the handle; null does nothing. */
MARLET_EXPORT void MARLET_API IFSClose(IfsHandle container);

/* Opens an internal file by its exact name; null when there is none. */
MARLET_EXPORT IfsFileHandle MARLET_API IFSOpenFile(IfsHandle container, const char *name);
MARLET_EXPORT void MARLET_API IFSCloseFile(IfsFileHandle file);
/* origin 0: from the start, 1: from the current position, 2: from the end.
 * Returns the new position; 32-bit arithmetic that wraps. */
MARLET_EXPORT uint32_t MARLET_API IFSSeekFile(IfsFileHandle file, int32_t offset, int32_t origin);
/* Reads up to count bytes at the position and advances it.  The number of
 * bytes read (short at the end), or -1 when the help file cannot be read. */
MARLET_EXPORT int32_t MARLET_API IFSReadFile(IfsFileHandle file, void *buffer, uint32_t count);
/* Lists the directory in ascending bytewise name order. */
MARLET_EXPORT void MARLET_API IFSEnumerateFiles(IfsHandle container, FileEnumCallback callback,
                                                MarletUserData userData);

/* ---- Context hash ----------------------------------------------------- */

MARLET_EXPORT ContextHash MARLET_API HlpGenerateHashValue(const char *contextString);
/* Writes a context string that hashes to hash (at most 9 characters) and
 * returns 1, or returns 0 when none is found.  buffer: at least 20 bytes. */
MARLET_EXPORT int32_t MARLET_API HlpCreateStringForHashValue(ContextHash hash, char *buffer);

/* ---- System information ----------------------------------------------- */

typedef struct HelpTitleInfo {
  char *title;          /* help title, or null */
  char *citation;       /* citation text, or null */
  char *copyright;      /* copyright text, or null */
  uint8_t minorVersion; /* 15: the Windows 3.0 format */
  uint16_t flags;
  int32_t groupCount;
  char **groups; /* groupCount group texts in record order, or null */
} HelpTitleInfo;

/* Null when the help file has no |SYSTEM or memory runs out. */
MARLET_EXPORT HelpTitleInfo *MARLET_API HlpGetHelpTitle(IfsHandle container);
MARLET_EXPORT void MARLET_API HlpFreeHelpTitle(HelpTitleInfo *info);
/* 1 when the help file defines a secondary window of that name (letters
 * compared without regard to case), else 0.  Opens and closes the file. */
MARLET_EXPORT int32_t MARLET_API IsSecondaryWindow(const char *helpFileName, const char *windowName);

/* ---- Title index ------------------------------------------------------ */

/* Non-zero to go on, 0 to stop. */
typedef int32_t(MARLET_API *TitleCallback)(const char *title, TopicOffset topicOffset,
                                           MarletUserData userData);

/* 1 when every title was delivered; 0 without |TTLBTREE, when stopped, or on
 * a page that cannot be read. */
MARLET_EXPORT int32_t MARLET_API HlpEnumTitles(IfsHandle container, TitleCallback callback,
                                               MarletUserData userData);
/* Finds the topic that contains offset: copies its title into buffer (when not
 * null, cut to bufferSize - 1 characters) and its start into *topicStart (when
 * not null).  1 when the search reached the leaf level (also when no topic
 * begins at or below offset: nothing is written then), else 0. */
MARLET_EXPORT int32_t MARLET_API HlpGetTopicTitle(IfsHandle container, TopicOffset offset, char *buffer,
                                                  int32_t bufferSize, TopicOffset *topicStart);

/* ---- Context index ---------------------------------------------------- */

typedef int32_t(MARLET_API *ContextCallback)(ContextHash hash, TopicOffset topicOffset,
                                             MarletUserData userData);

MARLET_EXPORT int32_t MARLET_API HlpEnumContext(IfsHandle container, ContextCallback callback,
                                                MarletUserData userData);
/* The TopicOffset stored for hash, or MARLET_NO_TOPIC. */
MARLET_EXPORT TopicOffset MARLET_API HlpIsTopic(IfsHandle container, ContextHash hash);
/* 1 when the help file has a topic for contextString, else 0. */
MARLET_EXPORT int32_t MARLET_API IsTopic(const char *helpFileName, const char *contextString);

/* ---- Keyword index ---------------------------------------------------- */

/* The result is ignored: the walk cannot be stopped. */
typedef int32_t(MARLET_API *KeywordCallback)(const char *keyword, int32_t dataOffset, int32_t count,
                                             MarletUserData userData);

/* Lists the keywords of treeFileName ("|KWBTREE", "|AWBTREE", ...) from
 * startKeyword on.  1 when the walk ran to its end, 0 when the tree is missing
 * or a page cannot be read. */
MARLET_EXPORT int32_t MARLET_API HlpEnumKeyWords(IfsHandle container, KeywordCallback callback,
                                                 const char *startKeyword, const char *treeFileName,
                                                 MarletUserData userData);

/* ---- Topic text ------------------------------------------------------- */

/* HlpTopicOpen options. */
#define HLP_TOPIC_FONTS 0x1u    /* font and colour tables, font changes */
#define HLP_TOPIC_KEYWORDS 0x2u /* keywords of each position (event 14) */
#define HLP_TOPIC_CONTEXTS 0x4u /* context strings of each position (event 13) */
/* Opt-in pieces for readers that build a document rather than copy the RTF.
 * Without these bits every piece is exactly as before. */
#define HLP_TOPIC_JUMP_PLACES 0x8u  /* the file and window a jump names (event 17) */
#define HLP_TOPIC_HEADERS 0x10u     /* every topic header, titled or not (event 18) */
#define HLP_TOPIC_CHARSETS 0x20u    /* "\fcharsetN" in the font table, where |FONT gives it */

/* What a piece delivered to a TopicCallback is.  The RTF document is made of
 * events 6, 0, 7, 9, 10, 11 and 8 in the order they arrive; the others are
 * annotations beside it.  Events 0 and 1 alone give the plain text. */
typedef enum TopicEvent {
  TopicEventText = 0,            /* a run of paragraph text, as stored */
  TopicEventPlainBreak = 1,      /* "\n" or "\t" standing for a break, tab or cell end */
  TopicEventTitle = 2,           /* the topic's title */
  TopicEventGroup = 3,           /* the topic's group name */
  TopicEventTitleExtra = 4,      /* the string after the title */
  TopicEventMacroTarget = 5,     /* target of a macro hotspot */
  TopicEventRtfHeader = 6,       /* the RTF document header */
  TopicEventControl = 7,         /* RTF control text */
  TopicEventRtfEnd = 8,          /* "}" closing the document */
  TopicEventEmbeddedWindow = 9,  /* text of an embedded window */
  TopicEventBitmap = 10,         /* a bitmap reference */
  TopicEventMediaClip = 11,      /* a media-clip reference */
  TopicEventEmbeddedMacro = 12,  /* text of an embedded macro */
  TopicEventContext = 13,        /* a context string naming this position */
  TopicEventKeyword = 14,        /* index name, a tab and a keyword */
  TopicEventJumpTarget = 15,     /* target of a jump hotspot */
  TopicEventHotspotEnd = 16,     /* end of a hotspot, with its target */
  /* Only with HLP_TOPIC_JUMP_PLACES: right after event 15 of a jump that names
   * another help file or a window: "FILE>WINDOW", either part empty when the
   * jump does not name it ("HELP2.HLP>", ">glossary"); a window given by its
   * number in |SYSTEM's window list as "#" and the number (">#2"). */
  TopicEventJumpPlace = 17,
  /* Only with HLP_TOPIC_HEADERS: at every topic header record, before its
   * title: "BACK FORWARD NUMBER", three 8-digit hex numbers: the topics before
   * and after this one in its browse sequence (ffffffff: none) and its topic
   * number.  In 3.0 files the browse neighbours are topic numbers (|TOMAP
   * gives their TopicOffsets) and the number is ffffffff (not stored). */
  TopicEventTopicHeader = 18
} TopicEvent;

/* Called once per piece: its text, the reader's TopicOffset (0 for events 6
 * and 8), the TopicEvent and the caller's value.  0 stops the enumeration. */
typedef int32_t(MARLET_API *TopicCallback)(const char *text, TopicOffset topicOffset, int32_t event,
                                           MarletUserData userData);

/* Opens a topic stream on container, which must stay open until
 * HlpTopicClose.  Null without a readable |SYSTEM or |TOPIC. */
MARLET_EXPORT TopicHandle MARLET_API HlpTopicOpen(IfsHandle container, uint32_t options);
MARLET_EXPORT void MARLET_API HlpTopicClose(TopicHandle topic);
/* Delivers the RTF document from the reader's place on: 1 when the callback
 * returned 0 at some point, else 0. */
MARLET_EXPORT int32_t MARLET_API HlpTopicEnumerate(TopicHandle topic, TopicCallback callback,
                                                   MarletUserData userData);
/* Places the reader at a TopicOffset from one of the indexes, so that the next
 * enumeration starts there. */
MARLET_EXPORT int32_t MARLET_API HlpTopicSeek(TopicHandle topic, TopicOffset target);

/* ---- Segmented-hypergraphics pictures --------------------------------- */

/* Placeable metafile header, 22 bytes. */
#pragma pack(push, 2)
typedef struct PlaceableMetafileHeader {
  uint32_t key; /* 0x9AC6CDD7 */
  uint16_t metafileHandle;
  int16_t left;
  int16_t top;
  int16_t right;
  int16_t bottom;
  uint16_t unitsPerInch;
  uint32_t reserved;
  uint16_t checksum;
} PlaceableMetafileHeader;
#pragma pack(pop)

/* The hotspot list block, a global memory block of SHG_HOTSPOT_LIST_SIZE
 * bytes: a ShgHotspotListHeader, count ShgHotspotEntry records at
 * SHG_HOTSPOT_ENTRIES_OFFSET, then the strings, each named by its offset from
 * the start of the block. */
#define SHG_HOTSPOT_LIST_SIZE 32768
#define SHG_HOTSPOT_LIST_MAGIC 0x2FA7
#define SHG_HOTSPOT_ENTRIES_OFFSET 564

typedef struct ShgHotspotListHeader {
  uint16_t magic; /* SHG_HOTSPOT_LIST_MAGIC */
  int16_t count;
  uint8_t reserved1[516];
  uint32_t endOfData; /* offset of the first byte after the last string */
  uint8_t reserved2[40];
} ShgHotspotListHeader;

#define SHG_HOTSPOT_JUMP 0
#define SHG_HOTSPOT_POPUP 1
#define SHG_HOTSPOT_MACRO 2

typedef struct ShgHotspotEntry {
  int16_t left;
  int16_t top;
  int16_t right;
  int16_t bottom;
  uint32_t targetOffset; /* context string, or macro text of a macro */
  uint32_t nameOffset;
  uint8_t reserved1[8];
  uint32_t kind; /* SHG_HOTSPOT_JUMP, _POPUP or _MACRO */
  uint8_t reserved2[36];
} ShgHotspotEntry;

/* Converts an SHG file image in memory into a DIB (bitmap pictures) or a
 * metafile and its placeable header (metafile pictures), plus the hotspot
 * list.  Null outputs are left alone.  1 on success, 0 on failure.  The caller
 * frees the results with GlobalFree and DeleteMetaFile.  The image's length
 * is not known to this call: use SHGImportEx for data from outside. */
MARLET_EXPORT int32_t MARLET_API SHGImport(HWND owner, const void *data, HGLOBAL *dibOut,
                                           HMETAFILE *metafileOut, PlaceableMetafileHeader *headerOut,
                                           HGLOBAL *hotspotsOut);
/* SHGImport for an image of dataSize bytes: data that points past the image
 * is refused. */
MARLET_EXPORT int32_t MARLET_API SHGImportEx(HWND owner, const void *data, uint32_t dataSize,
                                             HGLOBAL *dibOut, HMETAFILE *metafileOut,
                                             PlaceableMetafileHeader *headerOut, HGLOBAL *hotspotsOut);
/* Writes an SHG file from a packed DIB and an optional hotspot list into a new
 * global memory block of the file's length; null when memory runs out. */
MARLET_EXPORT HGLOBAL MARLET_API SHGExport(MarletUserData reserved, HGLOBAL dib, HGLOBAL hotspots);

/* ---- Help viewer ------------------------------------------------------ */

/* Starts the help viewer on the topic at which topic stands, without waiting.
 * 1 when the viewer was started, else 0. */
MARLET_EXPORT int32_t MARLET_API HlpTopicJumpAPI(const char *file, TopicHandle topic);

#ifdef __cplusplus
}
#endif

#endif /* MARLET_MARLET_H */
