#include "foundation/zr_string_base.h"

#include <cstring>

namespace {
// Storage for a view copied from a null text: one writable terminator, so
// that Assign through such a view (maximum 0) writes only that byte.
char g_empty_text[1] = {'\0'};
}  // namespace

ZrStringBase::ZrStringBase(const ZrStringBase& other) {
  if (other.text_ == nullptr) {
    text_ = g_empty_text;
    max_length_ = 0;
    return;
  }
  text_ = other.text_;
  size_t len = strnlen(other.text_, other.max_length_);
  max_length_ = static_cast<uint8_t>(len);
}

void ZrStringBase::Assign(const char* text) {
  if (text == nullptr) text = "";
  size_t n = strnlen(text, max_length_);
  memmove(text_, text, n);
  text_[n] = '\0';
  text_[max_length_] = '\0';
}

uint32_t ZrStringBase::GetLength() const { return static_cast<uint32_t>(strlen(text_)); }
