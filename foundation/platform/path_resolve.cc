#include "foundation/platform/path_resolve.h"

#include <algorithm>
#include <vector>

#include "foundation/platform/file.h"
#include "foundation/platform/path_resolve_internal.h"

namespace pv {

namespace {

// Windows-1252 folds its accented letters like Latin-1: 0xC0..0xDE map to
// 0xE0..0xFE except 0xD7 (multiplication sign); 0x8A/0x9A, 0x8C/0x9C,
// 0x8E/0x9E and 0x9F/0xFF are the remaining pairs.
unsigned char FoldCase(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
  switch (c) {
    case 0x8A: return 0x9A;
    case 0x8C: return 0x9C;
    case 0x8E: return 0x9E;
    case 0x9F: return 0xFF;
    default: return c;
  }
}

}  // namespace

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++) {
    if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string ResolvePath(const std::string& path) {
  std::string p = path;
  std::replace(p.begin(), p.end(), '\\', '/');
  if (p.empty() || PathExistsExact(p)) return p;

  // Split into components; a leading "/" makes the path absolute.
  // "//server/share" (a UNC path, "\\\\server\\share" as given) keeps both
  // slashes: with one it would name a directory of the current drive.
  std::string out = p.rfind("//", 0) == 0 ? "//" : p[0] == '/' ? "/" : "";
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= p.size()) {
    size_t end = p.find('/', start);
    if (end == std::string::npos) end = p.size();
    parts.push_back(p.substr(start, end - start));
    start = end + 1;
  }

  bool resolving = true;
  for (size_t i = 0; i < parts.size(); i++) {
    const std::string& part = parts[i];
    if (part.empty()) continue;  // repeated or leading/trailing separator
    std::string dir = out.empty() ? "." : out;
    std::string chosen = part;
    if (resolving && part != "." && part != ".." && !PathExistsExact(out + part)) {
      std::vector<std::string> names;
      std::string best;
      if (ListDirectoryExact(dir, &names).ok()) {
        for (const std::string& n : names) {
          if (EqualNoCase(n, part) && (best.empty() || n < best)) best = n;
        }
      }
      if (best.empty()) {
        resolving = false;  // the rest does not exist: keep it as given
      } else {
        chosen = best;
      }
    }
    out += chosen;
    if (i + 1 < parts.size()) out += "/";
  }
  return out;
}

}  // namespace pv
