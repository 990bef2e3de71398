#include "foundation/zr_string.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// Slot sizes of the pool (8 bytes to 16 MiB, no 2048 or 8192).
uint32_t SlotSizeFor(uint32_t n) {
  static const uint32_t kSizes[] = {8,    16,    32,    64,     128,     256,     512,     1024,
                                    4096, 16384, 65536, 262144, 1048576, 4194304, 16777216};
  for (uint32_t s : kSizes) {
    if (n <= s) return s;
  }
  return 0;
}

char* BufferAlloc(uint32_t n, uint32_t* capacity) {
  uint32_t size = SlotSizeFor(n);
  if (size == 0) abort();
  *capacity = size;
  return static_cast<char*>(calloc(1, size));
}

void BufferFree(char* p, uint32_t /*capacity*/) { free(p); }

}  // namespace

ZrString::ZrString(const char* text) { Init(text); }

ZrString::ZrString(const ZrString& other) { Init(other.text_); }

ZrString::ZrString(ZrString&& other) noexcept
    : text_(std::exchange(other.text_, nullptr)), capacity_(std::exchange(other.capacity_, 0)) {}

ZrString::ZrString(const char* format, int32_t value) {
  FormatValue(format, static_cast<uint32_t>(value), true);
}

ZrString::ZrString(uint32_t value, const char* format) { FormatValue(format, value, false); }

ZrString::~ZrString() {
  if (text_ != nullptr) BufferFree(text_, capacity_);
}

ZrString& ZrString::operator=(const ZrString& other) {
  Assign(other.text_);
  return *this;
}

ZrString& ZrString::operator=(ZrString&& other) noexcept {
  if (this != &other) {
    if (text_ != nullptr) BufferFree(text_, capacity_);
    text_ = std::exchange(other.text_, nullptr);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

void ZrString::FormatValue(const char* format, uint32_t value, bool is_signed) {
  // The format is limited so that a sane expansion of one value fits the
  // buffer; snprintf still cuts anything longer at the buffer's end.
  static const size_t kMaxFormat = 896;
  if (strlen(format) > kMaxFormat) {
    Init("*ZrString: Format string too long*");
    return;
  }
  char buf[1024];
  if (is_signed) {
    snprintf(buf, sizeof(buf), format, static_cast<int32_t>(value));
  } else {
    snprintf(buf, sizeof(buf), format, value);
  }
  Init(buf);
}

void ZrString::AllocIfNecessary(uint32_t n) {
  if (n <= capacity_) return;
  char* old = text_;
  uint32_t old_capacity = capacity_;
  text_ = nullptr;
  capacity_ = 0;
  if (n > 1) {
    text_ = BufferAlloc(n, &capacity_);
    if (old != nullptr) memcpy(text_, old, strlen(old) + 1);
  }
  if (old != nullptr) BufferFree(old, old_capacity);
}

void ZrString::Init(const char* text) {
  text_ = nullptr;
  capacity_ = 0;
  Assign(text);
}

void ZrString::Assign(const char* text) {
  if (text == nullptr) text = "";
  uint32_t n = static_cast<uint32_t>(strlen(text)) + 1;
  // A text inside the own buffer is never moved: it fits the capacity.
  AllocIfNecessary(n);
  if (text_ != nullptr) memmove(text_, text, n);
}

void ZrString::ConcatN(const char* text, uint32_t n) {
  if (n == 0) return;
  uint32_t len = GetLength();
  // AllocIfNecessary may move the buffer; keep a text that points into it
  // as an offset.
  bool inside = text_ != nullptr && text >= text_ && text < text_ + capacity_;
  size_t offset = inside ? static_cast<size_t>(text - text_) : 0;
  AllocIfNecessary(len + n + 1);
  if (inside) text = text_ + offset;
  memmove(text_ + len, text, n);
  text_[len + n] = '\0';
}

ZrString& ZrString::operator+=(const ZrString& other) {
  ConcatN(other, other.GetLength());
  return *this;
}

ZrString& ZrString::operator+=(const char* text) {
  if (text != nullptr) ConcatN(text, static_cast<uint32_t>(strlen(text)));
  return *this;
}

uint32_t ZrString::GetLength() const {
  return text_ != nullptr ? static_cast<uint32_t>(strlen(text_)) : 0;
}

int ZrString::Compare(const char* other) const {
  return strcmp(*this, other != nullptr ? other : "");
}

int ZrString::CompareNoCase(const char* other) const {
  const unsigned char* a = reinterpret_cast<const unsigned char*>(static_cast<const char*>(*this));
  const unsigned char* b = reinterpret_cast<const unsigned char*>(other != nullptr ? other : "");
  for (;; ++a, ++b) {
    int ca = tolower(*a), cb = tolower(*b);
    if (ca != cb || ca == 0) return ca - cb;
  }
}

ZrString& ZrString::MakeUpper() {
  for (char* p = text_; p != nullptr && *p != '\0'; ++p) {
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  }
  return *this;
}

ZrString& ZrString::MakeLower() {
  for (char* p = text_; p != nullptr && *p != '\0'; ++p) {
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
  }
  return *this;
}

int32_t ZrString::Find(char c, uint32_t start) const {
  if (start >= GetLength()) return -1;
  const char* p = strchr(text_ + start, c);
  return p != nullptr ? static_cast<int32_t>(p - text_) : -1;
}

int32_t ZrString::Find(const char* text, uint32_t start) const {
  if (start > GetLength() || text == nullptr) return -1;
  const char* p = strstr(GetText() + start, text);
  return p != nullptr ? static_cast<int32_t>(p - GetText()) : -1;
}

ZrString& ZrString::FillBlank(uint32_t n) {
  uint32_t len = GetLength();
  if (len >= n) return *this;
  AllocIfNecessary(n + 1);
  memset(text_ + len, ' ', n - len);
  text_[n] = '\0';
  return *this;
}

ZrString ZrString::operator()(uint32_t start, uint32_t count) const {
  uint32_t len = GetLength();
  if (start > len) start = len;
  if (count > len - start) count = len - start;
  ZrString result;
  result.ConcatN(GetText() + start, count);
  return result;
}

ZrString ZrString::Mid(int32_t start, int32_t count) const {
  int32_t len = static_cast<int32_t>(GetLength());
  ZrString result;
  if (start < 0 || start >= len) return result;
  if (count < 0 || count > len - start) count = len - start;
  result.ConcatN(text_ + start, static_cast<uint32_t>(count));
  return result;
}

ZrString ZrString::ExtractToken(const char* delimiters) {
  ZrString token;
  if (text_ == nullptr) return token;
  size_t i = strcspn(text_, delimiters);
  size_t j = strspn(text_ + i, delimiters);
  token.ConcatN(text_, static_cast<uint32_t>(i));
  const char* rest = text_ + i + j;
  memmove(text_, rest, strlen(rest) + 1);
  return token;
}

ZrString operator+(const ZrString& left, const ZrString& right) {
  ZrString result(left);
  result += right;
  return result;
}

ZrString operator+(const ZrString& left, const char* right) {
  ZrString result(left);
  result += right;
  return result;
}

ZrString operator+(const char* left, const ZrString& right) {
  ZrString result(left != nullptr ? left : "");
  result += right;
  return result;
}
