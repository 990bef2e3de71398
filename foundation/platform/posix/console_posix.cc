// Windows-1252 -> terminal character set with iconv. One converter is kept
// and reopened only when the locale variables name another character set.
#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <mutex>
#include <string>

#include "foundation/platform/console.h"

namespace pv {

namespace {

// The codeset part of the first set locale variable ("de_DE.UTF-8@euro" ->
// "UTF-8"); UTF-8 when the locale names none ("C", "POSIX", unset).
std::string TerminalCharset() {
  for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* v = std::getenv(var);
    if (v == nullptr || *v == '\0') continue;
    std::string s(v);
    size_t dot = s.find('.');
    if (dot == std::string::npos) break;
    std::string cs = s.substr(dot + 1, s.find('@', dot) - dot - 1);
    if (!cs.empty()) return cs;
    break;
  }
  return "UTF-8";
}

std::mutex mu;
iconv_t converter = reinterpret_cast<iconv_t>(-1);  // guarded by mu
std::string converter_charset;                       // guarded by mu

bool OpenConverter(const std::string& charset) {
  if (converter != reinterpret_cast<iconv_t>(-1) && converter_charset == charset) return true;
  if (converter != reinterpret_cast<iconv_t>(-1)) iconv_close(converter);
  converter = iconv_open(charset.c_str(), "WINDOWS-1252");
  if (converter == reinterpret_cast<iconv_t>(-1) && charset != "UTF-8") {
    converter = iconv_open("UTF-8", "WINDOWS-1252");
  }
  converter_charset = charset;
  return converter != reinterpret_cast<iconv_t>(-1);
}

// Without a converter: ASCII passes, everything else becomes '?'.
size_t AsciiOnly(const char* in, size_t n, char* out, size_t out_size) {
  size_t w = 0;
  for (size_t i = 0; i < n && w + 1 < out_size; ++i) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    out[w++] = c < 0x80 ? static_cast<char>(c) : '?';
  }
  out[w] = '\0';
  return w;
}

}  // namespace

size_t AnsiToConsole(const char* in, size_t n, char* out, size_t out_size) {
  std::lock_guard<std::mutex> l(mu);
  if (!OpenConverter(TerminalCharset())) return AsciiOnly(in, n, out, out_size);
  iconv(converter, nullptr, nullptr, nullptr, nullptr);  // reset shift state
  char* src = const_cast<char*>(in);
  size_t src_left = n;
  char* dst = out;
  size_t dst_left = out_size - 1;  // room for the NUL
  while (src_left > 0) {
    if (iconv(converter, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) break;  // the output is full: cut at a whole character
    // EILSEQ/EINVAL: a byte Windows-1252 leaves undefined (0x81, 0x8D, ...) or
    // one the target cannot show.
    if (dst_left == 0) break;
    *dst++ = '?';
    --dst_left;
    ++src;
    --src_left;
  }
  *dst = '\0';
  return static_cast<size_t>(dst - out);
}

}  // namespace pv
