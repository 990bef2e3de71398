// ZrStringBase: a bounded text over storage that someone else owns, and
// ZrFixString<N>, the same with its own N + 1 byte buffer.
//
// The storage behind a ZrStringBase holds max_length + 1 bytes: Assign never
// writes past index max_length and always leaves a terminator there.
// ZrFixString<255> is the exception object of the library's fatal path
// (ZrThrow); callers catch it as ZrFixString<255> or as ZrStringBase.
#ifndef PV_FOUNDATION_ZR_STRING_BASE_H_
#define PV_FOUNDATION_ZR_STRING_BASE_H_

#include <cstddef>
#include <cstdint>

class ZrStringBase {
 public:
  // storage must hold max_length + 1 bytes and stay alive as long as this.
  ZrStringBase(char* storage, uint8_t max_length) : text_(storage), max_length_(max_length) {}
  // Shares other's storage; the maximum becomes other's current length, so
  // an Assign through the copy never writes beyond the text it was given.
  ZrStringBase(const ZrStringBase& other);
  ZrStringBase& operator=(const ZrStringBase& other) {
    Assign(other.text_);
    return *this;
  }

  // Copies at most max_length bytes of text (null counts as "") and
  // terminates at the copied length and at max_length.
  void Assign(const char* text);

  operator const char*() const { return text_; }
  const char* GetText() const { return text_; }
  uint32_t GetLength() const;
  uint8_t GetMaxLength() const { return max_length_; }

 protected:
  // For ZrFixString: points the view at the derived class's own buffer.
  void Rebind(char* storage, uint8_t max_length) {
    text_ = storage;
    max_length_ = max_length;
  }

 private:
  char* text_;
  uint8_t max_length_;
};

template <size_t N>
class ZrFixString : public ZrStringBase {
  static_assert(N <= 255, "a ZrStringBase bounds its text by an 8-bit length");

 public:
  ZrFixString() : ZrStringBase(buffer_, N) { buffer_[0] = '\0'; }
  explicit ZrFixString(const char* text) : ZrFixString() { Assign(text); }
  // Copies the text into the own buffer; never shares the other's storage.
  ZrFixString(const ZrFixString& other) : ZrFixString() { Assign(other.GetText()); }
  ZrFixString& operator=(const ZrFixString& other) {
    if (this != &other) Assign(other.GetText());
    return *this;
  }
  ZrFixString& operator=(const char* text) {
    Assign(text);
    return *this;
  }

 private:
  char buffer_[N + 1];
};

#endif  // PV_FOUNDATION_ZR_STRING_BASE_H_
