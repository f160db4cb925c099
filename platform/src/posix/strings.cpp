// String calls and the wsprintf-style formatter.
#include <quillon/platform.h>

#include <cstdint>
#include <cstring>

extern "C" {

int lstrlenA(LPCSTR text) { return text != nullptr ? static_cast<int>(std::strlen(text)) : 0; }

LPSTR lstrcpyA(LPSTR target, LPCSTR source) {
  if (target == nullptr || source == nullptr) return nullptr;
  std::memmove(target, source, std::strlen(source) + 1);
  return target;
}

LPSTR lstrcpynA(LPSTR target, LPCSTR source, int targetSize) {
  if (target == nullptr || targetSize <= 0) return target;
  if (source == nullptr) source = "";
  int i = 0;
  for (; i < targetSize - 1 && source[i] != '\0'; ++i) target[i] = source[i];
  target[i] = '\0';
  return target;
}

LPSTR lstrcatA(LPSTR target, LPCSTR source) {
  if (target == nullptr || source == nullptr) return nullptr;
  std::memmove(target + std::strlen(target), source, std::strlen(source) + 1);
  return target;
}

int lstrcmpiA(LPCSTR left, LPCSTR right) {
  if (left == nullptr) left = "";
  if (right == nullptr) right = "";
  auto fold = [](unsigned char c) -> unsigned { return (c >= 'A' && c <= 'Z') ? c + 32u : c; };
  for (;; ++left, ++right) {
    unsigned a = fold(static_cast<unsigned char>(*left));
    unsigned b = fold(static_cast<unsigned char>(*right));
    if (a != b) return a < b ? -1 : 1;
    if (a == 0) return 0;
  }
}

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  int64_t product = static_cast<int64_t>(number) * numerator;
  int64_t d = denominator;
  bool negative = (product < 0) != (d < 0);
  uint64_t p = product < 0 ? static_cast<uint64_t>(-product) : static_cast<uint64_t>(product);
  uint64_t q = d < 0 ? static_cast<uint64_t>(-d) : static_cast<uint64_t>(d);
  uint64_t result = (p + q / 2) / q;
  if (result > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return -1;
  return negative ? static_cast<int>(-static_cast<int64_t>(result)) : static_cast<int>(result);
}

}  // extern "C"

namespace {

// Appends to a bounded buffer, always leaving room for the terminator.
struct Sink {
  char *out;
  int capacity;  // bytes available for characters (terminator excluded)
  int length = 0;
  void Put(char c) {
    if (length < capacity) out[length++] = c;
  }
  void Repeat(char c, int n) {
    for (int i = 0; i < n; ++i) Put(c);
  }
  void Append(const char *text, size_t n) {
    size_t room = static_cast<size_t>(capacity - length);
    if (n > room) n = room;
    std::memcpy(out + length, text, n);
    length += static_cast<int>(n);
  }
};

void FormatInto(Sink &sink, const char *format, va_list args) {
  for (const char *p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      // The text up to the next conversion, in one copy.
      const char *end = std::strchr(p, '%');
      size_t n = end != nullptr ? static_cast<size_t>(end - p) : std::strlen(p);
      sink.Append(p, n);
      p += n - 1;
      continue;
    }
    ++p;
    bool left = false, zero = false, prefix = false;
    for (;; ++p) {
      if (*p == '-') left = true;
      else if (*p == '0') zero = true;
      else if (*p == '#') prefix = true;
      else break;
    }
    int width = 0;
    while (*p >= '0' && *p <= '9') width = width * 10 + (*p++ - '0');
    int precision = -1;
    if (*p == '.') {
      ++p;
      precision = 0;
      while (*p >= '0' && *p <= '9') precision = precision * 10 + (*p++ - '0');
    }
    bool isLong = false, isShort = false;
    if (*p == 'l') isLong = true, ++p;
    else if (*p == 'h') isShort = true, ++p;
    if (*p == '\0') break;

    char digits[32];
    int count = 0;
    const char *text = nullptr;
    int textLength = 0;
    const char *sign = "";
    switch (*p) {
      case 'c': {
        digits[0] = static_cast<char>(va_arg(args, int));
        text = digits;
        textLength = 1;
        break;
      }
      case 's': {
        text = va_arg(args, const char *);
        if (text == nullptr) text = "(null)";
        textLength = static_cast<int>(precision >= 0 ? strnlen(text, static_cast<size_t>(precision))
                                                     : std::strlen(text));
        break;
      }
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X': {
        uint64_t value;
        bool isSigned = (*p == 'd' || *p == 'i');
        if (isLong) {
          long v = va_arg(args, long);
          value = isSigned ? static_cast<uint64_t>(static_cast<int64_t>(v))
                           : static_cast<uint64_t>(static_cast<unsigned long>(v));
        } else {
          int v = va_arg(args, int);
          if (isShort) v = isSigned ? static_cast<short>(v) : static_cast<unsigned short>(v);
          value = isSigned ? static_cast<uint64_t>(static_cast<int64_t>(v))
                           : static_cast<uint64_t>(static_cast<unsigned>(v));
        }
        if (isSigned && static_cast<int64_t>(value) < 0) {
          sign = "-";
          value = static_cast<uint64_t>(-static_cast<int64_t>(value));
        }
        unsigned base = (*p == 'x' || *p == 'X') ? 16 : 10;
        const char *alphabet = (*p == 'X') ? "0123456789ABCDEF" : "0123456789abcdef";
        char reversed[32];
        do {
          reversed[count++] = alphabet[value % base];
          value /= base;
        } while (value != 0);
        while (count < precision && count < 30) reversed[count++] = '0';
        for (int i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
        text = digits;
        textLength = count;
        if (prefix && base == 16) sign = (*p == 'X') ? "0X" : "0x";
        break;
      }
      default:  // "%%" and unknown conversions print the character itself
        sink.Put(*p);
        continue;
    }
    int signLength = static_cast<int>(std::strlen(sign));
    int pad = width - textLength - signLength;
    if (pad < 0) pad = 0;
    bool zeroPad = zero && !left && *p != 's' && *p != 'c';
    if (!left && !zeroPad) sink.Repeat(' ', pad);
    for (int i = 0; i < signLength; ++i) sink.Put(sign[i]);
    if (zeroPad) sink.Repeat('0', pad);
    sink.Append(text, static_cast<size_t>(textLength));
    if (left) sink.Repeat(' ', pad);
  }
}

int Format(char *target, int targetSize, const char *format, va_list args) {
  if (target == nullptr || targetSize <= 0) return 0;
  Sink sink{target, targetSize - 1};
  if (format != nullptr) FormatInto(sink, format, args);
  target[sink.length] = '\0';
  return sink.length;
}

constexpr int kWsprintfLimit = 1024;

}  // namespace

extern "C" {

int wvnsprintfA(LPSTR target, int targetSize, LPCSTR format, va_list args) {
  return Format(target, targetSize, format, args);
}

int wnsprintfA(LPSTR target, int targetSize, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  int n = Format(target, targetSize, format, args);
  va_end(args);
  return n;
}

int wvsprintfA(LPSTR target, LPCSTR format, va_list args) {
  return Format(target, kWsprintfLimit, format, args);
}

int wsprintfA(LPSTR target, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  int n = Format(target, kWsprintfLimit, format, args);
  va_end(args);
  return n;
}

}  // extern "C"
