// The library frame: the two heaps and their owners.
//
// Handles, B-tree pages, record buffers and the HelpTitleInfo strings come
// from the platform's local heap; growable arrays, topic tables and the
// strings kept in them from the run-time heap, reached through the five
// wrappers below.  Callers never free library memory themselves: each result
// that owns memory has its release call.
#pragma once

#include <quillon/platform.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>

namespace marlet {

// ---- Run-time heap --------------------------------------------------------

inline void *RtMalloc(size_t bytes) { return std::malloc(bytes); }
inline void *RtCalloc(size_t count, size_t size) { return std::calloc(count, size); }
inline void *RtRealloc(void *block, size_t bytes) { return std::realloc(block, bytes); }
inline void RtFree(void *block) { std::free(block); }
inline char *RtStrdup(const char *text) { return ::strdup(text); }

struct RtDeleter {
  void operator()(void *block) const { RtFree(block); }
};
template <typename T>
using RtPtr = std::unique_ptr<T, RtDeleter>;

// ---- Local heap -----------------------------------------------------------

// Zero-filled, for handles and page buffers.
template <typename T = unsigned char>
T *LocalZeroed(size_t bytes) {
  return static_cast<T *>(LocalAlloc(LPTR, bytes));
}

struct LocalDeleter {
  void operator()(void *block) const { LocalFree(block); }
};
template <typename T>
using LocalPtr = std::unique_ptr<T, LocalDeleter>;

// A copy of text in a fixed, uncleared local block; null when it cannot be had.
char *LocalStrDup(const char *text);

// ---- Small helpers --------------------------------------------------------

// A non-owning reference to a callable, for callbacks on hot paths that should
// not allocate.
template <typename Signature>
class FunctionRef;

template <typename R, typename... Args>
class FunctionRef<R(Args...)> {
 public:
  template <typename F, typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, FunctionRef>>>
  FunctionRef(F &&f)  // NOLINT: implicit by design
      : object_(const_cast<void *>(static_cast<const void *>(std::addressof(f)))),
        call_([](void *object, Args... args) -> R {
          return (*static_cast<std::remove_reference_t<F> *>(object))(std::forward<Args>(args)...);
        }) {}
  R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

 private:
  void *object_;
  R (*call_)(void *, Args...);
};

}  // namespace marlet
