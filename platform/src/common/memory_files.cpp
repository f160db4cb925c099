// Memory files: bytes registered under a path of their own, read through the
// same QuillonFile calls as files on disk.
//
// A registration is counted like an open file: the bytes are released when
// the registration has ended and the last file opened on it is closed, so a
// caller may unregister while other threads still read.  The lock is a spin
// lock on an atomic flag because the Windows builds use the compiler's
// "win32" thread model, which has no std::mutex; what it guards is a map
// look-up.
#include <quillon/platform.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <string_view>
#if !defined(_WIN32)
#include <sched.h>
#endif

namespace quillon_platform {

namespace {

constexpr std::string_view kPrefix = "//quillon-memory/";

struct MemoryFile {
  const unsigned char *data;
  size_t size;
  QuillonMemoryRelease release;
  void *context;
  size_t references;  // the registration, and each open file
};

class SpinLock {
 public:
  void lock() {
    while (flag_.test_and_set(std::memory_order_acquire)) {
#if defined(_WIN32)
      Sleep(0);
#else
      sched_yield();
#endif
    }
  }
  void unlock() { flag_.clear(std::memory_order_release); }

 private:
  std::atomic_flag flag_ = ATOMIC_FLAG_INIT;
};

struct Registry {
  SpinLock lock;
  std::map<unsigned long long, MemoryFile *> files;
  unsigned long long next = 1;
};

Registry &TheRegistry() {
  static Registry *registry = new Registry;  // never destroyed: files may close during exit
  return *registry;
}

// The number in "//quillon-memory/N/NAME", 0 for any other path.
unsigned long long IdOf(const char *path) {
  std::string_view p(path);
  if (p.substr(0, kPrefix.size()) != kPrefix) return 0;
  p.remove_prefix(kPrefix.size());
  unsigned long long id = 0;
  size_t digits = 0;
  for (; digits < p.size() && digits < 19 && p[digits] >= '0' && p[digits] <= '9'; ++digits)
    id = id * 10 + static_cast<unsigned>(p[digits] - '0');
  if (digits == 0 || digits >= p.size() || p[digits] != '/') return 0;
  return id;
}

// Drops one reference; the last one releases the bytes.  Called with the lock
// not held, so that release may do what it likes.
void Drop(MemoryFile *file, Registry &registry) {
  registry.lock.lock();
  bool last = --file->references == 0;
  registry.lock.unlock();
  if (!last) return;
  if (file->release != nullptr) file->release(file->context);
  delete file;
}

int32_t ReadAt(void *, void *handle, uint64_t offset, void *buffer, uint32_t count) {
  auto *file = static_cast<MemoryFile *>(handle);
  if (offset >= file->size) return 0;
  size_t n = file->size - static_cast<size_t>(offset);
  if (n > count) n = count;
  if (n > INT32_MAX) n = INT32_MAX;
  std::memcpy(buffer, file->data + offset, n);
  return static_cast<int32_t>(n);
}

void Close(void *, void *handle) { Drop(static_cast<MemoryFile *>(handle), TheRegistry()); }

void *OpenUnused(void *, const char *, char *, size_t) { return nullptr; }

const QuillonFileOps kMemoryOps{OpenUnused, ReadAt, Close, nullptr};

}  // namespace

// For QuillonFileOpen: the open memory file a path names (null when it names
// none) and the operations that read it.
void *OpenMemoryFile(const char *path, char *fullPath, size_t fullPathSize, const QuillonFileOps **ops) {
  unsigned long long id = IdOf(path);
  if (id == 0) return nullptr;
  Registry &registry = TheRegistry();
  registry.lock.lock();
  auto found = registry.files.find(id);
  MemoryFile *file = found == registry.files.end() ? nullptr : found->second;
  if (file != nullptr) ++file->references;
  registry.lock.unlock();
  if (file == nullptr) return nullptr;
  if (fullPath != nullptr && fullPathSize > 0) {
    size_t n = std::strlen(path);
    if (n >= fullPathSize) n = fullPathSize - 1;
    std::memcpy(fullPath, path, n);
    fullPath[n] = '\0';
  }
  *ops = &kMemoryOps;
  return file;
}

}  // namespace quillon_platform

using namespace quillon_platform;

extern "C" {

int QuillonRegisterMemoryFile(const void *data, size_t size, const char *name, QuillonMemoryRelease release,
                              void *context, char *path, size_t pathSize) {
  if (data == nullptr && size > 0) return 0;
  if (path == nullptr || pathSize == 0) return 0;
  std::string_view base = name != nullptr ? name : "";
  size_t slash = base.find_last_of("/\\");
  if (slash != std::string_view::npos) base.remove_prefix(slash + 1);
  if (base.empty()) base = "file";
  auto *file = new (std::nothrow) MemoryFile{static_cast<const unsigned char *>(data), size, release, context, 1};
  if (file == nullptr) return 0;
  Registry &registry = TheRegistry();
  registry.lock.lock();
  unsigned long long id = registry.next;
  bool stored = false;
  try {
    stored = registry.files.emplace(id, file).second;
  } catch (...) {
  }
  if (stored) ++registry.next;
  registry.lock.unlock();
  if (!stored) {
    delete file;
    return 0;
  }
  char number[24];
  int digits = std::snprintf(number, sizeof number, "%llu/", id);
  size_t needed = kPrefix.size() + static_cast<size_t>(digits) + base.size();
  if (needed >= pathSize) {
    registry.lock.lock();
    registry.files.erase(id);
    registry.lock.unlock();
    delete file;
    path[0] = '\0';
    return 0;
  }
  char *at = path;
  std::memcpy(at, kPrefix.data(), kPrefix.size());
  at += kPrefix.size();
  std::memcpy(at, number, static_cast<size_t>(digits));
  at += digits;
  std::memcpy(at, base.data(), base.size());
  at[base.size()] = '\0';
  return 1;
}

int QuillonUnregisterMemoryFile(const char *path) {
  if (path == nullptr) return 0;
  unsigned long long id = IdOf(path);
  if (id == 0) return 0;
  Registry &registry = TheRegistry();
  registry.lock.lock();
  auto found = registry.files.find(id);
  MemoryFile *file = nullptr;
  if (found != registry.files.end()) {
    file = found->second;
    registry.files.erase(found);
  }
  registry.lock.unlock();
  if (file == nullptr) return 0;
  Drop(file, registry);
  return 1;
}

}  // extern "C"
