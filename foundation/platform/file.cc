// The portable operations of the file layer, built on the platform's File.
#include "foundation/platform/file.h"

#include "foundation/platform/path_resolve.h"

namespace pv {

File::~File() = default;

Status WriteFileAtomically(const std::string& given, const std::string& contents) {
  const std::string path = ResolvePath(given);
  const std::string tmp = path + ".tmp";
  OpenOptions o;
  o.write = o.create = o.truncate = true;
  std::unique_ptr<File> f;
  Status s = OpenFile(tmp, o, &f);
  if (s.ok()) s = f->WriteAt(0, contents.data(), contents.size());
  if (s.ok()) s = f->Sync();
  if (f) {
    Status c = f->Close();
    if (s.ok()) s = c;
  }
  if (s.ok()) s = RenameFile(tmp, path);
  if (!s.ok()) {
    RemoveFile(tmp).IgnoreError();  // best effort: the original is untouched either way
    return s;
  }
  size_t slash = path.find_last_of('/');
  return SyncDirectory(slash == std::string::npos ? "." : path.substr(0, slash + 1));
}

Status ReadWholeFile(const std::string& path, std::string* contents) {
  contents->clear();
  std::unique_ptr<File> f;
  Status s = OpenFile(path, OpenOptions(), &f);
  if (!s.ok()) return s;
  uint64_t size = 0;
  s = f->Size(&size);
  if (!s.ok()) return s;
  contents->resize(size);
  size_t got = 0;
  s = f->ReadAt(0, size, contents->data(), &got);
  contents->resize(got);
  return s;
}

}  // namespace pv
