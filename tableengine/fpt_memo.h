// Memo files: FoxPro's .fpt (read and written) and dBASE's .dbt (read only).
//
// .fpt (all integers big-endian):
//   header, 512 bytes:
//     0   4  next free block (blocks counted from the start of the file)
//     4   2  unused           6  2  block size in bytes (64 by default)
//     8 504  unused, zero
//   the first usable block is 512 / block size. A memo occupies
//   ceil((8 + length) / block size) consecutive blocks:
//     0   4  block type: 0 picture (binary), 1 text, 2 object
//     4   4  length of the data     8  n  data
//   New memos go at the next free block, which then advances; the last memo
//   need not be padded to a whole block. A changed memo that still fits its
//   blocks is rewritten in place (the old length bounds the blocks it owns).
//
// .dbt, dBASE III (0x83): 512-byte blocks; block 0 holds the next free
//   block (LE 4 bytes at 0); a memo is text ended by 0x1A 0x1A.
// .dbt, dBASE IV (0x8B): block size LE 2 bytes at 20 (512 when 0); a memo
//   block starts FF FF 08 00, then the LE length including these 8 bytes.
#ifndef PV_TABLEENGINE_FPT_MEMO_H_
#define PV_TABLEENGINE_FPT_MEMO_H_

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/platform/file.h"
#include "foundation/status.h"

namespace pv {

class FileSystem;

constexpr int32_t kFptHeaderSize = 512;
constexpr int32_t kFptDefaultBlockSize = 64;
constexpr int32_t kFptBlockHeaderSize = 8;

enum class MemoKind { kFpt, kDbt3, kDbt4 };

class MemoFile {
 public:
  // Opens an existing memo file.
  static Status Open(FileSystem* fs, const std::string& path, MemoKind kind, bool write,
                     std::unique_ptr<MemoFile>* out);
  // Creates an empty .fpt (512 bytes, next free block 512 / block size).
  static Status Create(FileSystem* fs, const std::string& path, std::unique_ptr<MemoFile>* out);

  // Reads the memo at block into *data (block 0: no memo, empty).
  Status Read(uint32_t block, std::string* data);
  // Writes data as a memo of the given type. *block is the memo's current
  // block (0: none) on entry and its block on return; an empty memo gives 0.
  // REQUIRES: the caller holds the data file's header lock when the memo
  // may grow (fpt only).
  Status Write(const std::string& data, uint32_t type, uint32_t* block);

  MemoKind kind() const { return kind_; }
  uint32_t block_size() const { return block_size_; }
  File* file() const { return file_.get(); }
  Status Close();

 private:
  MemoFile(std::unique_ptr<File> file, MemoKind kind) : file_(std::move(file)), kind_(kind) {}
  Status ReadHeader();

  std::unique_ptr<File> file_;
  MemoKind kind_;
  uint32_t block_size_ = kFptDefaultBlockSize;
};

}  // namespace pv

#endif  // PV_TABLEENGINE_FPT_MEMO_H_
