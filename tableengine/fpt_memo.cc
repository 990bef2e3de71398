#include "tableengine/fpt_memo.h"

#include <cstring>

#include "tableengine/dbf_header.h"
#include "tableengine/engine_file.h"

namespace pv {

namespace {

constexpr uint32_t kDbtBlockSize = 512;
// A memo longer than this is taken as corruption rather than allocated.
constexpr uint32_t kMaxMemoLength = 64u << 20;

Status ReadExact(File* f, uint64_t offset, size_t n, char* buf, const char* what) {
  size_t got = 0;
  Status s = f->ReadAt(offset, n, buf, &got);
  if (!s.ok()) return s;
  if (got != n) {
    return Status::Corruption(std::string("memo file ") + f->Path() + ": " + what + " at " +
                              std::to_string(offset) + " runs past the file's end");
  }
  return Status::OK();
}

}  // namespace

Status MemoFile::Open(FileSystem* fs, const std::string& path, MemoKind kind, bool write,
                      std::unique_ptr<MemoFile>* out) {
  OpenOptions o;
  o.write = write && kind == MemoKind::kFpt;
  std::unique_ptr<File> f;
  Status s = fs->Open(path, o, &f);
  if (!s.ok()) return s;
  std::unique_ptr<MemoFile> m(new MemoFile(std::move(f), kind));
  s = m->ReadHeader();
  if (!s.ok()) return s;
  *out = std::move(m);
  return Status::OK();
}

Status MemoFile::Create(FileSystem* fs, const std::string& path, std::unique_ptr<MemoFile>* out) {
  OpenOptions o;
  o.write = o.create = o.truncate = true;
  std::unique_ptr<File> f;
  Status s = fs->Open(path, o, &f);
  if (!s.ok()) return s;
  std::string header(kFptHeaderSize, '\0');
  PutBe32(header.data(), kFptHeaderSize / kFptDefaultBlockSize);
  header[6] = 0;
  header[7] = static_cast<char>(kFptDefaultBlockSize);
  s = f->WriteAt(0, header.data(), header.size());
  if (!s.ok()) return s;
  out->reset(new MemoFile(std::move(f), MemoKind::kFpt));
  return Status::OK();
}

Status MemoFile::ReadHeader() {
  char h[32];
  Status s = ReadExact(file_.get(), 0, sizeof h, h, "header");
  if (!s.ok()) return s;
  switch (kind_) {
    case MemoKind::kFpt:
      block_size_ = (static_cast<uint8_t>(h[6]) << 8) | static_cast<uint8_t>(h[7]);
      break;
    case MemoKind::kDbt3:
      block_size_ = kDbtBlockSize;
      break;
    case MemoKind::kDbt4:
      block_size_ = GetLe16(h + 20);
      if (block_size_ == 0) block_size_ = kDbtBlockSize;
      break;
  }
  if (block_size_ == 0) {
    return Status::Corruption("memo file " + file_->Path() + ": block size 0");
  }
  return Status::OK();
}

Status MemoFile::Read(uint32_t block, std::string* data) {
  data->clear();
  if (block == 0) return Status::OK();
  const uint64_t offset = static_cast<uint64_t>(block) * block_size_;
  const std::string& path = file_->Path();
  if (kind_ == MemoKind::kDbt3) {
    // Text up to the first 0x1A, read a block at a time.
    std::string buf(kDbtBlockSize, '\0');
    for (uint64_t at = offset;; at += kDbtBlockSize) {
      size_t got = 0;
      Status s = file_->ReadAt(at, buf.size(), buf.data(), &got);
      if (!s.ok()) return s;
      const void* end = std::memchr(buf.data(), kDbfEofMarker, got);
      if (end != nullptr) {
        data->append(buf.data(), static_cast<const char*>(end) - buf.data());
        return Status::OK();
      }
      data->append(buf.data(), got);
      if (got < buf.size()) return Status::OK();  // the file ended: the memo did too
      if (data->size() > kMaxMemoLength) {
        return Status::Corruption("memo file " + path + ": memo at block " + std::to_string(block) + " has no end");
      }
    }
  }
  char h[kFptBlockHeaderSize];
  Status s = ReadExact(file_.get(), offset, sizeof h, h, "memo block header");
  if (!s.ok()) return s;
  uint32_t length;
  if (kind_ == MemoKind::kDbt4) {
    if (static_cast<uint8_t>(h[0]) != 0xFF || static_cast<uint8_t>(h[1]) != 0xFF) {
      return Status::Corruption("memo file " + path + ": block " + std::to_string(block) + " is not a memo start");
    }
    length = GetLe32(h + 4);
    if (length < kFptBlockHeaderSize) {
      return Status::Corruption("memo file " + path + ": block " + std::to_string(block) + " length below 8");
    }
    length -= kFptBlockHeaderSize;
  } else {
    length = GetBe32(h + 4);
  }
  if (length > kMaxMemoLength) {
    return Status::Corruption("memo file " + path + ": memo at block " + std::to_string(block) +
                              " claims " + std::to_string(length) + " bytes");
  }
  data->resize(length);
  return ReadExact(file_.get(), offset + kFptBlockHeaderSize, length, data->data(), "memo data");
}

Status MemoFile::Write(const std::string& data, uint32_t type, uint32_t* block) {
  if (kind_ != MemoKind::kFpt) {
    return Status::NotSupported("memo file " + file_->Path() + ": dBASE memo files are read only");
  }
  const std::string& path = file_->Path();
  if (data.empty()) {
    *block = 0;
    return Status::OK();
  }
  auto blocks_for = [&](uint64_t len) { return (kFptBlockHeaderSize + len + block_size_ - 1) / block_size_; };
  uint32_t target = 0;
  if (*block != 0) {
    // Rewrite in place when the new memo fits the blocks of the old one.
    char h[kFptBlockHeaderSize];
    size_t got = 0;
    Status s = file_->ReadAt(static_cast<uint64_t>(*block) * block_size_, sizeof h, h, &got);
    if (!s.ok()) return s;
    if (got == sizeof h && blocks_for(GetBe32(h + 4)) >= blocks_for(data.size())) target = *block;
  }
  char header[4];
  if (target == 0) {
    Status s = ReadExact(file_.get(), 0, sizeof header, header, "header");
    if (!s.ok()) return s;
    uint32_t next = GetBe32(header);
    const uint32_t first = (kFptHeaderSize + block_size_ - 1) / block_size_;
    if (next < first) {
      return Status::Corruption("memo file " + path + ": next free block " + std::to_string(next) +
                                " inside the header");
    }
    const uint64_t after = next + blocks_for(data.size());
    if (after > 0xFFFFFFFFull) return Status::IOError("memo file " + path + ": full");
    target = next;
    PutBe32(header, static_cast<uint32_t>(after));
  }
  std::string out(kFptBlockHeaderSize, '\0');
  PutBe32(out.data(), type);
  PutBe32(out.data() + 4, static_cast<uint32_t>(data.size()));
  out += data;
  Status s = file_->WriteAt(static_cast<uint64_t>(target) * block_size_, out.data(), out.size());
  if (!s.ok()) return s;
  if (target != *block) {
    s = file_->WriteAt(0, header, sizeof header);
    if (!s.ok()) return s;
  }
  *block = target;
  return Status::OK();
}

Status MemoFile::Close() {
  if (!file_) return Status::OK();
  return file_->Close();
}

}  // namespace pv
