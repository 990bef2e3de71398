// The day manifest (see archive_manifest.h).
#include "app/archive_manifest.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

#include "foundation/platform/file.h"
#include "foundation/platform/sha256.h"

namespace {

constexpr char kHeaderLine[] = "Packvault day manifest 1";
constexpr char kExtension[] = ".manifest";
constexpr size_t kReadChunk = 1 << 16;

bool IsDigest(const std::string& s) {
  return s.size() == 64 &&
         std::all_of(s.begin(), s.end(), [](char c) { return std::strchr("0123456789abcdef", c) && c; });
}

bool EndsWith(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// Unsigned decimal text, whole, into *value.
bool ParseCount(const std::string& text, uint64_t* value) {
  if (text.empty() || text.size() > 19 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  *value = std::stoull(text);
  return true;
}

// Splits at single blanks into at most max_parts parts; the last keeps the rest.
std::vector<std::string> SplitLine(const std::string& line, size_t max_parts) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (parts.size() + 1 < max_parts) {
    const size_t blank = line.find(' ', start);
    if (blank == std::string::npos) break;
    parts.push_back(line.substr(start, blank - start));
    start = blank + 1;
  }
  parts.push_back(line.substr(start));
  return parts;
}

}  // namespace

const ManifestEntry* Manifest::Find(const std::string& name) const {
  for (const ManifestEntry& e : members) {
    if (e.name == name) return &e;
  }
  return nullptr;
}

std::string ManifestPathFor(const std::string& archive) {
  std::string base = archive;
  if (EndsWith(base, ".zip") || EndsWith(base, ".ZIP")) base.resize(base.size() - 4);
  return base + kExtension;
}

bool ParseManifest(const std::string& text, Manifest* manifest, std::string* error) {
  *manifest = Manifest();
  std::istringstream in(text);
  std::string line;
  int line_no = 0;
  auto fail = [&](const char* what) {
    *error = "line " + std::to_string(line_no) + ": " + what;
    return false;
  };
  bool previous_seen = false;
  while (std::getline(in, line)) {
    ++line_no;
    if (line_no == 1) {
      if (line != kHeaderLine) return fail("not a Packvault day manifest");
      continue;
    }
    const std::vector<std::string> parts = SplitLine(line, 5);
    if (parts[0] == "previous" && !previous_seen && line_no == 2) {
      previous_seen = true;
      if (parts.size() == 2 && parts[1] == "none") continue;
      if (parts.size() != 3 || parts[1].empty() || !IsDigest(parts[2])) {
        return fail("malformed previous line");
      }
      manifest->previous = parts[1];
      manifest->previous_sha256 = parts[2];
    } else if (parts[0] == "member" && previous_seen) {
      ManifestEntry e;
      uint64_t records = 0;
      if (parts.size() != 5 || !IsDigest(parts[1]) || !ParseCount(parts[2], &e.size) ||
          !ParseCount(parts[3], &records) || records > UINT32_MAX || parts[4].empty()) {
        return fail("malformed member line");
      }
      e.sha256 = parts[1];
      e.records = static_cast<uint32_t>(records);
      e.name = parts[4];
      if (manifest->Find(e.name) != nullptr) return fail("member listed twice");
      manifest->members.push_back(e);
    } else {
      return fail("unexpected line");
    }
  }
  if (line_no == 0) return fail("empty");
  if (!previous_seen) return fail("no previous line");
  if (!text.empty() && text.back() != '\n') return fail("cut short (no line end)");
  return true;
}

std::string FormatManifest(const Manifest& manifest) {
  std::string out = std::string(kHeaderLine) + "\n";
  if (manifest.previous.empty()) {
    out += "previous none\n";
  } else {
    out += "previous " + manifest.previous + " " + manifest.previous_sha256 + "\n";
  }
  for (const ManifestEntry& e : manifest.members) {
    out += "member " + e.sha256 + " " + std::to_string(e.size) + " " + std::to_string(e.records) +
           " " + e.name + "\n";
  }
  return out;
}

std::string PreviousManifestName(const std::string& dir, const std::string& own_name) {
  std::vector<std::string> names;
  if (!pv::ListDirectory(dir.empty() ? "." : dir, &names).ok()) return "";
  std::string best;
  for (const std::string& n : names) {
    if (EndsWith(n, kExtension) && n < own_name && n > best && !pv::IsDirectory(dir + n)) best = n;
  }
  return best;
}

namespace {

// Reads member index chunk by chunk into sink(data, n). 0 or the libzip
// error code (see ReadArchiveMember).
template <class Sink>
int ReadMemberChunks(zip_t* archive, zip_uint64_t index, const std::string& password, Sink sink) {
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive, index, 0, &st) != 0) return zip_error_code_zip(zip_get_error(archive));
  zip_file_t* file = password.empty()
                         ? zip_fopen_index(archive, index, 0)
                         : zip_fopen_index_encrypted(archive, index, 0, password.c_str());
  if (file == nullptr) return zip_error_code_zip(zip_get_error(archive));
  auto buffer = std::make_unique<char[]>(kReadChunk);
  uint64_t total = 0;
  int result = ZIP_ER_OK;
  for (;;) {
    const zip_int64_t n = zip_fread(file, buffer.get(), kReadChunk);
    if (n < 0) {
      result = zip_error_code_zip(zip_file_get_error(file));
      break;
    }
    if (n == 0) break;
    sink(buffer.get(), static_cast<size_t>(n));
    total += static_cast<uint64_t>(n);
  }
  zip_fclose(file);
  if (result == ZIP_ER_OK && (st.valid & ZIP_STAT_SIZE) && total != st.size) result = ZIP_ER_INCONS;
  return result;
}

// Builds a manifest entry from a member's bytes as they come.
class MemberDescriber {
 public:
  void Add(const char* data, size_t n) {
    for (size_t i = 0; size_ + i < sizeof head_ && i < n; ++i) {
      head_[size_ + i] = static_cast<unsigned char>(data[i]);
    }
    digest_.Update(data, n);
    size_ += n;
  }
  ManifestEntry Finish(const std::string& name) {
    ManifestEntry e;
    e.name = name;
    e.sha256 = digest_.HexDigest();
    e.size = size_;
    if (size_ >= 32) {  // dBASE header: record count, 32 bits LE, at offset 4
      e.records = head_[4] | (head_[5] << 8) | (head_[6] << 16) |
                  (static_cast<uint32_t>(head_[7]) << 24);
    }
    return e;
  }

 private:
  pv::Sha256 digest_;
  unsigned char head_[8] = {};
  uint64_t size_ = 0;
};

}  // namespace

int ReadArchiveMember(zip_t* archive, zip_uint64_t index, const std::string& password,
                      std::string* bytes) {
  bytes->clear();
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive, index, 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE)) {
    bytes->reserve(static_cast<size_t>(st.size));
  }
  return ReadMemberChunks(archive, index, password,
                          [bytes](const char* data, size_t n) { bytes->append(data, n); });
}

ManifestEntry DescribeMember(const std::string& name, const std::string& bytes) {
  MemberDescriber d;
  d.Add(bytes.data(), bytes.size());
  return d.Finish(name);
}

int DescribeArchiveMember(zip_t* archive, zip_uint64_t index, const std::string& password,
                          const std::string& name, ManifestEntry* entry) {
  MemberDescriber d;
  const int read = ReadMemberChunks(archive, index, password,
                                    [&d](const char* data, size_t n) { d.Add(data, n); });
  if (read != ZIP_ER_OK) return read;
  *entry = d.Finish(name);
  return ZIP_ER_OK;
}

bool UpdateArchiveManifest(const std::string& archive, const std::string& dir,
                           const std::string& password, const std::string& changed_member,
                           std::string* error) {
  const std::string path = ManifestPathFor(archive);
  if (!pv::PathExists(archive)) {
    if (pv::PathExists(path) && !(pv::RemoveFile(path).ok() &&
                                  pv::SyncDirectory(dir.empty() ? "." : dir).ok())) {
      *error = "cannot remove " + path;
      return false;
    }
    return true;
  }

  Manifest old;
  std::string text, ignored;
  const bool have_old = pv::ReadWholeFile(path, &text).ok() && ParseManifest(text, &old, &ignored);

  int open_error = 0;
  zip_t* za = zip_open(archive.c_str(), ZIP_RDONLY, &open_error);
  if (za == nullptr) {
    *error = "cannot open " + archive + " (libzip error " + std::to_string(open_error) + ")";
    return false;
  }
  Manifest manifest;
  const zip_int64_t count = zip_get_num_entries(za, 0);
  bool ok = true;
  for (zip_int64_t i = 0; ok && i < count; ++i) {
    const char* name = zip_get_name(za, static_cast<zip_uint64_t>(i), 0);
    if (name == nullptr) continue;
    const ManifestEntry* kept = have_old && changed_member != name ? old.Find(name) : nullptr;
    if (kept != nullptr) {
      manifest.members.push_back(*kept);
      continue;
    }
    ManifestEntry entry;
    const int read = DescribeArchiveMember(za, static_cast<zip_uint64_t>(i), password, name, &entry);
    if (read != ZIP_ER_OK) {
      *error = "cannot read member " + std::string(name) + " of " + archive + " (libzip error " +
               std::to_string(read) + ")";
      ok = false;
    } else if (entry.sha256.empty()) {
      *error = "no SHA-256 digest";
      ok = false;
    } else {
      manifest.members.push_back(entry);
    }
  }
  zip_discard(za);
  if (!ok) return false;

  const size_t slash = path.find_last_of('/');
  const std::string own_name = slash == std::string::npos ? path : path.substr(slash + 1);
  manifest.previous = PreviousManifestName(dir, own_name);
  if (!manifest.previous.empty()) {
    std::string previous_bytes;
    if (!pv::ReadWholeFile(dir + manifest.previous, &previous_bytes).ok()) {
      *error = "cannot read " + dir + manifest.previous;
      return false;
    }
    manifest.previous_sha256 = pv::Sha256Hex(previous_bytes.data(), previous_bytes.size());
  }
  const pv::Status written = pv::WriteFileAtomically(path, FormatManifest(manifest));
  if (!written.ok()) {
    *error = "cannot write " + path + ": " + written.ToString();
    return false;
  }
  return true;
}
