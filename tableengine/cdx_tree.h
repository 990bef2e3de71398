// CdxTree: the B-tree of one tag: lookup, stepping along the leaf chain,
// insertion with node splits, removal with node release.
//
// Order: entries are sorted by (key bytes unsigned, record number) along the
// leaf chain; every interior entry is (last key, its record number) of its
// child. A node that outgrows 512 bytes is split into a new left node (from
// the free list or the end of the file) and the old node keeping the right
// part, so the parent's existing entry goes on describing the old node and
// only the new left node needs a new parent entry. An emptied non-root node
// is unlinked from its siblings and its parent and goes to the free list.
//
// Stepping between leaves checks that the neighbour links agree and that the
// order keeps rising, so a damaged chain (a cycle included) ends the walk
// with a Corruption status instead of looping.
//
// REQUIRES: every call runs inside a CdxFile scope (a writing one for Insert
// and Remove); a CdxPos is valid only while file->generation() is unchanged.
#ifndef PV_TABLEENGINE_CDX_TREE_H_
#define PV_TABLEENGINE_CDX_TREE_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/status.h"
#include "tableengine/cdx_file.h"

namespace pv {

struct CdxPos {
  uint32_t leaf = 0;  // 0: no position (past either end, or an empty tag)
  int32_t index = 0;
  bool valid() const { return leaf != 0; }
};

class CdxTree {
 public:
  CdxTree(CdxFile* file, uint32_t header_offset, int32_t key_length, uint8_t pad)
      : file_(file), header_offset_(header_offset), key_length_(key_length), pad_(pad) {}

  // Reads the tag header's root pointer (again when the file changed).
  Status Load();
  uint32_t root() const { return root_; }
  int32_t key_length() const { return key_length_; }
  uint8_t pad() const { return pad_; }

  Status First(CdxPos* pos);
  Status Last(CdxPos* pos);
  // One entry on; pos becomes invalid past the end.
  Status Next(CdxPos* pos) { return Move(pos, true); }
  Status Prev(CdxPos* pos) { return Move(pos, false); }
  // The first entry >= (key, recno); key has key_length() bytes. Invalid pos
  // when every entry is smaller.
  Status LowerBound(std::string_view key, uint32_t recno, CdxPos* pos);
  // REQUIRES: pos valid.
  Status Get(const CdxPos& pos, std::string_view* key, uint32_t* recno);

  // Adds (key, recno); the pair must not be in the tree yet.
  Status Insert(std::string_view key, uint32_t recno);
  // Removes (key, recno); *removed false when it was not there.
  Status Remove(std::string_view key, uint32_t recno, bool* removed);

  // Fills a tree that has no entries yet (a root leaf alone) with `count`
  // entries, entry(i) giving the i-th in ascending (key, recno) order, each
  // pair once: leaves are packed full left to right, then each interior
  // level from the one below, and the root written last at the root's
  // offset. Every node but the root is new at the end of the file, written
  // in runs without passing through the node cache.
  using BuildEntry = std::function<void(size_t i, std::string_view* key, uint32_t* recno)>;
  Status Build(size_t count, const BuildEntry& entry);

  // Depth of the tree (1: the root is a leaf).
  Status Depth(int32_t* depth);

 private:
  Status Move(CdxPos* pos, bool forward);

  struct Step {
    uint32_t offset;
    int32_t index;
  };
  Status Node(uint32_t offset, const CdxNode** node);
  Status Descend(std::string_view key, uint32_t recno, bool to_last, std::vector<Step>* path,
                 const CdxNode** leaf);
  // Store and Split work on path_ as the last descent left it; `node` is the
  // new content of path_[level] (a scratch node of that level).
  Status Store(size_t level, CdxNode& node);
  Status Split(size_t level, CdxNode& node);
  // A node to build level's new content in; one per level, so that a change
  // climbing the tree never overwrites a level it still reads. Kept between
  // operations so their buffers are reused.
  CdxNode& Scratch(size_t level);
  Status SetRoot(uint32_t offset);
  Status Relink(uint32_t offset, bool set_right, uint32_t value);
  int Compare(std::string_view a, uint32_t ra, std::string_view b, uint32_t rb) const;

  CdxFile* file_;
  uint32_t header_offset_;
  int32_t key_length_;
  uint8_t pad_;
  uint32_t root_ = 0;
  uint64_t loaded_generation_ = ~0ull;
  std::vector<Step> path_;  // the last descent, root first
  std::vector<CdxNode> scratch_;
};

}  // namespace pv

#endif  // PV_TABLEENGINE_CDX_TREE_H_
