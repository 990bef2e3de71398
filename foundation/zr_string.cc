#include "foundation/zr_string.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <utility>

#include "foundation/zr_debug_output.h"
#include "foundation/zr_granularity.h"
#include "foundation/zr_throw.h"


ZrString::ZrString(const char* text) { Init(text); }

ZrString::ZrString(const ZrString& other) { Init(other.text_); }

ZrString::ZrString(ZrString&& other) noexcept
    : text_(std::exchange(other.text_, nullptr)), granularity_(std::exchange(other.granularity_, nullptr)) {}

ZrString::ZrString(const char* format, int32_t value) {
  FormatValue(format, static_cast<uint32_t>(value), true);
}

ZrString::ZrString(uint32_t value, const char* format) { FormatValue(format, value, false); }

ZrString::~ZrString() { FreeBuffer(); }

void ZrString::FreeBuffer() {
  if (text_ != nullptr) granularity_->Free(text_, _GetInternalAllocWatcher());
  text_ = nullptr;
  granularity_ = nullptr;
}

uint32_t ZrString::GetCapacity() const { return granularity_ != nullptr ? granularity_->GetSize() : 0; }

ZrString& ZrString::operator=(const ZrString& other) {
  Assign(other.text_);
  return *this;
}

ZrString& ZrString::operator=(ZrString&& other) noexcept {
  if (this != &other) {
    FreeBuffer();
    text_ = std::exchange(other.text_, nullptr);
    granularity_ = std::exchange(other.granularity_, nullptr);
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
  if (n <= GetCapacity()) return;
  // The new buffer is taken before anything changes, so a pool failure
  // (raised through ZrThrow) leaves the string as it was.
  char* fresh = nullptr;
  ZrGranularity* fresh_granularity = nullptr;
  if (n > 1) {
    fresh = static_cast<char*>(ZrGranularity::AllocFor(n, _GetInternalAllocWatcher(), &fresh_granularity));
    if (text_ != nullptr) memcpy(fresh, text_, strlen(text_) + 1);
  }
  char* old = std::exchange(text_, fresh);
  ZrGranularity* old_granularity = std::exchange(granularity_, fresh_granularity);
  if (old != nullptr) {
    old_granularity->Free(old, _GetInternalAllocWatcher());
    if (text_ == old) ZrAssertReport("_psz != pszOld", "OSTR", __LINE__);
  }
}

void ZrString::Init(const char* text) {
  text_ = nullptr;
  granularity_ = nullptr;
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
  bool inside = text_ != nullptr && text >= text_ && text < text_ + GetCapacity();
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

ZrString& ZrString::AppendBackslashNullAtPosition(int32_t position) {
  if (IsEmpty() || position < 0) return *this;
  if (static_cast<uint32_t>(position) > GetCapacity() - 1) {
    char line[64];
    _DebugOutput("AppendBackslashNullAtPosition:");
    snprintf(line, sizeof(line), "String Length = %d TCHARs", static_cast<int32_t>(GetLength()));
    _DebugOutput(line);
    snprintf(line, sizeof(line), "String Max Length = %d TCHARs", static_cast<int32_t>(GetCapacity()));
    _DebugOutput(line);
    snprintf(line, sizeof(line), "lPos = %d TCHARs", position);
    _DebugOutput(line);
    ZrThrow("AppendBackslashNullAtPosition: lPos out of range");
  }
  text_[position] = '\0';
  return *this;
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
