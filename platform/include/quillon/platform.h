/*
 * Quillon platform layer.
 *
 * The help-file library is written against a small set of Win32 calls: file
 * access, the local and global heaps, string and wsprintf-style formatting,
 * MulDiv, the message box, metafile handles, process start and file search.
 * On Windows this header maps them to the system's own calls; elsewhere it
 * declares our stand-ins with the same names and meanings, implemented in the
 * quillon-platform library.  Callers of marlet that receive global memory
 * blocks or metafile handles free them with the calls declared here.
 *
 * Plain C, self-contained.
 */
#ifndef QUILLON_PLATFORM_H
#define QUILLON_PLATFORM_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  ifndef NOMINMAX
#    define NOMINMAX /* std::min and std::max stay usable */
#  endif
#  include <windows.h>
#  include <shlwapi.h>
#  include <shellapi.h>
/* quillon-platform.dll exports our own calls, and nothing else. */
#  if defined(QUILLON_PLATFORM_BUILD)
#    define QUILLON_PLATFORM_API __declspec(dllexport)
#  else
#    define QUILLON_PLATFORM_API __declspec(dllimport)
#  endif
#else
#  define QUILLON_PLATFORM_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#if !defined(_WIN32)

/* ---- Win32 base types ------------------------------------------------- */

typedef int BOOL;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int32_t LONG;
typedef char CHAR;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef void *LPVOID;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef void *HANDLE;

typedef struct QuillonWindow *HWND;
typedef struct QuillonInstance *HINSTANCE;
typedef struct QuillonGlobalBlock *HGLOBAL;
typedef void *HLOCAL;
typedef struct QuillonMetafile *HMETAFILE;

#ifndef TRUE
#  define TRUE 1
#endif
#ifndef FALSE
#  define FALSE 0
#endif
#define MAX_PATH 260
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

/* ---- Local heap ------------------------------------------------------- */

#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

/* Fixed blocks only: the handle is the block's address.  LocalFree returns
 * null on success, as the platform does. */
QUILLON_PLATFORM_API HLOCAL LocalAlloc(UINT flags, size_t bytes);
QUILLON_PLATFORM_API HLOCAL LocalFree(HLOCAL block);

/* ---- Global memory ---------------------------------------------------- */

#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

/* Movable blocks: a handle names the block, GlobalLock gives its current
 * address, GlobalReAlloc may move it (a locked block only with GMEM_MOVEABLE
 * in its flags; without, it shrinks in place and does not grow).  GlobalFree
 * returns null on success and the handle itself when it is not a block of
 * ours. */
QUILLON_PLATFORM_API HGLOBAL GlobalAlloc(UINT flags, size_t bytes);
QUILLON_PLATFORM_API LPVOID GlobalLock(HGLOBAL block);
QUILLON_PLATFORM_API BOOL GlobalUnlock(HGLOBAL block);
QUILLON_PLATFORM_API HGLOBAL GlobalReAlloc(HGLOBAL block, size_t bytes, UINT flags);
QUILLON_PLATFORM_API size_t GlobalSize(HGLOBAL block);
QUILLON_PLATFORM_API HGLOBAL GlobalFree(HGLOBAL block);

/* ---- Strings and formatting ------------------------------------------- */

QUILLON_PLATFORM_API int lstrlenA(LPCSTR text);
QUILLON_PLATFORM_API LPSTR lstrcpyA(LPSTR target, LPCSTR source);
QUILLON_PLATFORM_API LPSTR lstrcpynA(LPSTR target, LPCSTR source, int targetSize);
QUILLON_PLATFORM_API LPSTR lstrcatA(LPSTR target, LPCSTR source);
/* Compares without regard to case.  Our stand-in folds the ASCII capitals to
 * small letters and compares the bytes as unsigned values; it knows no locale,
 * so letters outside ASCII compare by their code. */
QUILLON_PLATFORM_API int lstrcmpiA(LPCSTR left, LPCSTR right);

/* wsprintf-style formatting: %[-][0][width][.precision][h|l](d|i|u|x|X|c|s|%),
 * no floating point.  wsprintfA/wvsprintfA write at most 1024 bytes, as the
 * platform's do; wnsprintfA/wvnsprintfA at most targetSize bytes, terminator
 * included.  All return the number of characters written, terminator not
 * counted. */
QUILLON_PLATFORM_API int wsprintfA(LPSTR target, LPCSTR format, ...);
QUILLON_PLATFORM_API int wvsprintfA(LPSTR target, LPCSTR format, va_list args);
QUILLON_PLATFORM_API int wnsprintfA(LPSTR target, int targetSize, LPCSTR format, ...);
QUILLON_PLATFORM_API int wvnsprintfA(LPSTR target, int targetSize, LPCSTR format, va_list args);

/* number * numerator / denominator without intermediate overflow, rounded to
 * the nearest integer (halves away from zero); -1 when the denominator is 0 or
 * the result does not fit 32 bits. */
QUILLON_PLATFORM_API int MulDiv(int number, int numerator, int denominator);

/* ---- Message box ------------------------------------------------------ */

#define MB_OK 0x00000000u
#define MB_ICONHAND 0x00000010u
#define MB_ICONSTOP MB_ICONHAND
#define MB_SYSTEMMODAL 0x00001000u
#define IDOK 1

QUILLON_PLATFORM_API int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style);

/* ---- Metafiles -------------------------------------------------------- */

/* A metafile handle keeps a copy of the metafile's bytes.  SetMetaFileBitsEx
 * gives null when the bytes do not begin with a metafile header. */
QUILLON_PLATFORM_API HMETAFILE SetMetaFileBitsEx(UINT bytes, const BYTE *data);
/* With a null buffer: the size of the metafile's bytes.  Otherwise copies them
 * when they fit and returns their size, else returns 0. */
QUILLON_PLATFORM_API UINT GetMetaFileBitsEx(HMETAFILE metafile, UINT bufferSize, LPVOID buffer);
QUILLON_PLATFORM_API BOOL DeleteMetaFile(HMETAFILE metafile);

/* ---- Bitmaps ---------------------------------------------------------- */

typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER;

#define BI_RGB 0u

/* ---- File search ------------------------------------------------------ */

#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u

typedef struct _WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA;

QUILLON_PLATFORM_API HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA *found);
QUILLON_PLATFORM_API BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA *found);
QUILLON_PLATFORM_API BOOL FindClose(HANDLE search);

/* ---- Processes -------------------------------------------------------- */

#define SW_SHOW 5

QUILLON_PLATFORM_API UINT WinExec(LPCSTR commandLine, UINT show);
QUILLON_PLATFORM_API HINSTANCE FindExecutableA(LPCSTR file, LPCSTR directory, LPSTR result);

#endif /* !_WIN32 */

/* ---- Quillon's own calls, on every system ----------------------------- */

/* Replaces the function that shows message boxes and returns the previous one;
 * null restores the default, which on POSIX systems writes the caption, ": " and
 * the text to standard error and returns IDOK at once, and on Windows is the
 * system's MessageBoxA. */
typedef int (*QuillonMessageBoxHandler)(HWND owner, const char *text, const char *caption,
                                        unsigned style);
QUILLON_PLATFORM_API QuillonMessageBoxHandler QuillonSetMessageBoxHandler(QuillonMessageBoxHandler handler);

#if defined(_WIN32)
/* On Windows MessageBoxA is the system's; so that the handler above sees the
 * message boxes of the code that includes this header, the name is routed to
 * QuillonMessageBoxA, which calls the handler or, by default, the system's
 * MessageBoxA. */
QUILLON_PLATFORM_API int WINAPI QuillonMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
#  if !defined(QUILLON_PLATFORM_BUILD)
#    undef MessageBoxA
#    define MessageBoxA QuillonMessageBoxA
#  endif
#endif

/* File access of the library: open read-only (others may read, not write),
 * read n bytes at an absolute offset (one positioned read), close.  The
 * operations can be replaced, for instance by an in-memory file system in
 * tests. */
typedef struct QuillonFileOps {
  /* Opens path for reading; null on failure.  Writes the full path, cut to
   * fullPathSize - 1 characters, when fullPath is not null. */
  void *(*open)(void *context, const char *path, char *fullPath, size_t fullPathSize);
  /* Reads up to count bytes at offset; the number read (short at the end of
   * the file), or -1 on failure. */
  int32_t (*readAt)(void *context, void *file, uint64_t offset, void *buffer, uint32_t count);
  void (*close)(void *context, void *file);
  void *context;
} QuillonFileOps;

/* Installs ops for all files opened from now on; null restores the system's
 * files.  Files already open keep the operations they were opened with. */
QUILLON_PLATFORM_API void QuillonSetFileOps(const QuillonFileOps *ops);

/* Bytes held in memory, readable as a file by a path of their own: a help
 * file taken out of an archive is read through marlet without being unpacked
 * to disk.  QuillonRegisterMemoryFile writes into path (pathSize bytes; 48
 * plus the name's length suffice) a path of the form
 * "//quillon-memory/N/NAME", NAME being the last component of name (the help
 * file's own name, so that what derives a name from the path finds it).
 * QuillonFileOpen resolves that path to the bytes whichever file operations
 * are installed; every other path goes to them as before, and so does this
 * one once it is unregistered.  The bytes are not copied: they must stay
 * unchanged until release(context) is called, which happens once the path is
 * unregistered and the last file opened on it closed (release may be null).
 * Thread-safe.  1 on success; 0 when data is null, the path does not fit or
 * memory runs out (release is not called then). */
typedef void (*QuillonMemoryRelease)(void *context);
QUILLON_PLATFORM_API int QuillonRegisterMemoryFile(const void *data, size_t size, const char *name,
                                                   QuillonMemoryRelease release, void *context, char *path,
                                                   size_t pathSize);
/* Ends a registration: 1 when path was a registered memory file.  Files
 * already open on it stay readable until they are closed. */
QUILLON_PLATFORM_API int QuillonUnregisterMemoryFile(const char *path);

typedef struct QuillonFile QuillonFile;
QUILLON_PLATFORM_API QuillonFile *QuillonFileOpen(const char *path, char *fullPath, size_t fullPathSize);
QUILLON_PLATFORM_API int32_t QuillonFileReadAt(QuillonFile *file, uint64_t offset, void *buffer, uint32_t count);
QUILLON_PLATFORM_API void QuillonFileClose(QuillonFile *file);

#ifdef __cplusplus
}
#endif

#endif /* QUILLON_PLATFORM_H */
