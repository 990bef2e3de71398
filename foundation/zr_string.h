// ZrString: the library's growable, NUL-terminated single-byte text.
//
// A ZrString is a value: copies get a buffer of their own. A null text reads
// as "" everywhere, and an empty string normally owns no buffer at all.
//
// Buffer policy: a buffer is a pool slot (the smallest slot size that holds
// the text and its terminator, see zr_granularity.h), counted on the class's
// "InternalAlloc" watcher, and it never shrinks; a longer text moves to a
// larger slot and the old one goes back to its granularity. So a 3-letter
// text lives in an 8-byte slot and growing it to 9 letters moves it to a
// 16-byte slot. ZrString objects made with new take pool slots as well.
//
// Thread safety: one ZrString may be used by one thread at a time.
#ifndef PV_FOUNDATION_ZR_STRING_H_
#define PV_FOUNDATION_ZR_STRING_H_

#include <cstdint>

#include "foundation/zr_memory_pooled.h"
#include "foundation/zr_string_base.h"

class ZrGranularity;

class ZrString {
  ZR_POOLED_CLASS(ZrString)
  ZR_INTERNAL_ALLOC_WATCHER(ZrString)

 public:
  ZrString() = default;
  // REQUIRES: text != nullptr.
  ZrString(const char* text);  // NOLINT: implicit, texts convert freely
  ZrString(const ZrString& other);
  ZrString(ZrString&& other) noexcept;
  // printf-style formatting of one value into a 1024-byte buffer. A format
  // longer than 896 characters gives "*ZrString: Format string too long*";
  // an expansion that would not fit is cut at 1023 bytes.
  ZrString(const char* format, int32_t value);
  ZrString(uint32_t value, const char* format);
  ~ZrString();

  ZrString& operator=(const ZrString& other);
  ZrString& operator=(ZrString&& other) noexcept;
  ZrString& operator=(const char* text) {
    Assign(text);
    return *this;
  }

  // Copies text (null counts as "") under the buffer policy. text may point
  // into this string's own buffer.
  void Assign(const char* text);
  // Starts without a buffer, then as Assign.
  void Init(const char* text);
  // Appends exactly n bytes of text and a terminator; n == 0 changes nothing.
  // text may point into this string's own buffer.
  void ConcatN(const char* text, uint32_t n);

  ZrString& operator+=(const ZrString& other);
  ZrString& operator+=(const char* text);

  operator const char*() const { return text_ != nullptr ? text_ : ""; }
  const char* GetText() const { return *this; }
  uint32_t GetLength() const;
  bool IsEmpty() const { return text_ == nullptr || text_[0] == '\0'; }
  // Bytes of the owned buffer, terminator included; 0 without a buffer.
  uint32_t GetCapacity() const;

  // Byte-wise comparison (strcmp order), and the same ignoring ASCII case.
  int Compare(const char* other) const;
  int CompareNoCase(const char* other) const;

  // ASCII case conversion in place.
  ZrString& MakeUpper();
  ZrString& MakeLower();

  // Position of the first c or text at or after start, or -1.
  int32_t Find(char c, uint32_t start = 0) const;
  int32_t Find(const char* text, uint32_t start = 0) const;

  // Pads with blanks to n characters; a string of n or more is unchanged.
  ZrString& FillBlank(uint32_t n);
  // Substring of count bytes from start; both are cut at the end.
  ZrString operator()(uint32_t start, uint32_t count) const;
  // Substring: a start outside [0, length) gives ""; a negative count, or
  // one reaching beyond the end, takes the rest.
  ZrString Mid(int32_t start, int32_t count) const;
  // Returns the text before the first byte of delimiters and keeps what
  // follows the run of delimiters there. Leading delimiters are not
  // skipped: ";a" yields "" and leaves "a".
  ZrString ExtractToken(const char* delimiters);
  // Ends a non-empty text at position. A position beyond the buffer is
  // logged and raised through ZrThrow ("AppendBackslashNullAtPosition: lPos
  // out of range"); a negative one changes nothing.
  ZrString& AppendBackslashNullAtPosition(int32_t position);

 private:
  // Makes room for n bytes (terminator included), keeping the current text.
  void AllocIfNecessary(uint32_t n);
  void FormatValue(const char* format, uint32_t value, bool is_signed);

  // Returns the buffer to its granularity.
  void FreeBuffer();

  char* text_ = nullptr;                  // null while the string owns no buffer
  ZrGranularity* granularity_ = nullptr;  // text_'s pool; its slot size is the capacity
};

ZrString operator+(const ZrString& left, const ZrString& right);
ZrString operator+(const ZrString& left, const char* right);
ZrString operator+(const char* left, const ZrString& right);

inline bool operator==(const ZrString& a, const ZrString& b) { return a.Compare(b) == 0; }
inline bool operator==(const ZrString& a, const char* b) { return a.Compare(b) == 0; }
inline bool operator!=(const ZrString& a, const ZrString& b) { return a.Compare(b) != 0; }
inline bool operator!=(const ZrString& a, const char* b) { return a.Compare(b) != 0; }
inline bool operator<(const ZrString& a, const ZrString& b) { return a.Compare(b) < 0; }

#endif  // PV_FOUNDATION_ZR_STRING_H_
