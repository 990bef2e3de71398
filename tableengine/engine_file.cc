#include "tableengine/engine_file.h"

#include "foundation/platform/path_resolve.h"

namespace pv {

namespace {

class PlatformFileSystem final : public FileSystem {
 public:
  Status Open(const std::string& path, const OpenOptions& options,
              std::unique_ptr<File>* out) override {
    return OpenFile(path, options, out);
  }
  Status Remove(const std::string& path) override { return RemoveFile(path); }
  Status Rename(const std::string& from, const std::string& to) override {
    return RenameFile(from, to);
  }
  Status SyncDir(const std::string& dir) override { return SyncDirectory(dir); }
  bool Exists(const std::string& path) override { return PathExists(path); }
  std::string Resolve(const std::string& path) override { return ResolvePath(path); }
};

}  // namespace

FileSystem* OsFileSystem() {
  static PlatformFileSystem* fs = new PlatformFileSystem();
  return fs;
}

}  // namespace pv
