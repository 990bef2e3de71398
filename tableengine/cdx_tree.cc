#include "tableengine/cdx_tree.h"

#include <cstring>

#include "tableengine/cdx_coding.h"

namespace pv {

namespace {

// Deeper than any real tree (a 2^32-record table of 240-byte keys needs 32
// levels); a descent that goes further follows a cycle.
constexpr size_t kMaxDepth = 40;

}  // namespace

int CdxTree::Compare(std::string_view a, uint32_t ra, std::string_view b, uint32_t rb) const {
  int c = std::memcmp(a.data(), b.data(), static_cast<size_t>(key_length_));
  if (c != 0) return c < 0 ? -1 : 1;
  if (ra != rb) return ra < rb ? -1 : 1;
  return 0;
}

Status CdxTree::Load() {
  if (loaded_generation_ == file_->cache_epoch() && root_ != 0) return Status::OK();
  CdxHeader h;
  Status s = file_->ReadHeader(header_offset_, &h);
  if (!s.ok()) return s;
  root_ = h.root;
  loaded_generation_ = file_->cache_epoch();
  return Status::OK();
}

Status CdxTree::Node(uint32_t offset, const CdxNode** node) {
  return file_->ReadNode(offset, key_length_, pad_, node);
}

Status CdxTree::Descend(std::string_view key, uint32_t recno, bool to_last,
                        std::vector<Step>* path, const CdxNode** leaf) {
  path->clear();
  uint32_t offset = root_;
  for (size_t depth = 0;; ++depth) {
    if (depth >= kMaxDepth) return CdxCorruption("cdx tree " + CdxHex(root_) + ": too deep (cycle)");
    const CdxNode* node;
    Status s = Node(offset, &node);
    if (!s.ok()) return s;
    if (depth == 0 && !node->is_root()) {
      return CdxCorruption("cdx node " + CdxHex(offset) + ": root pointer to a non-root node");
    }
    int32_t n = node->count();
    int32_t i = 0;
    if (to_last) {
      i = node->is_leaf() ? n : n - 1;
    } else {
      // Binary search for the first entry >= (key, recno).
      int32_t lo = 0, hi = n;
      while (lo < hi) {
        int32_t mid = (lo + hi) / 2;
        if (Compare(node->key(mid, key_length_), node->recnos[static_cast<size_t>(mid)], key,
                    recno) < 0) {
          lo = mid + 1;
        } else {
          hi = mid;
        }
      }
      i = lo;
    }
    if (node->is_leaf()) {
      path->push_back({offset, i});
      *leaf = node;
      return Status::OK();
    }
    if (n == 0) return CdxCorruption("cdx node " + CdxHex(offset) + ": empty interior node");
    if (i == n) i = n - 1;  // beyond the last key: into the last child
    path->push_back({offset, i});
    offset = node->children[static_cast<size_t>(i)];
  }
}

Status CdxTree::First(CdxPos* pos) {
  Status s = Load();
  const CdxNode* leaf = nullptr;
  // The smallest possible key: all zero bytes, record 0.
  static const char kZero[kCdxMaxKeyLength] = {};
  if (s.ok()) s = Descend(std::string_view(kZero, static_cast<size_t>(key_length_)), 0, false, &path_, &leaf);
  if (!s.ok()) return s;
  *pos = CdxPos{path_.back().offset, 0};
  if (leaf->count() == 0) return Next(pos);  // only an empty root leaf
  return Status::OK();
}

Status CdxTree::Last(CdxPos* pos) {
  Status s = Load();
  const CdxNode* leaf = nullptr;
  if (s.ok()) s = Descend(std::string_view(), 0, true, &path_, &leaf);
  if (!s.ok()) return s;
  *pos = CdxPos{path_.back().offset, leaf->count() - 1};
  if (leaf->count() == 0) *pos = CdxPos{};
  return Status::OK();
}

Status CdxTree::LowerBound(std::string_view key, uint32_t recno, CdxPos* pos) {
  Status s = Load();
  const CdxNode* leaf = nullptr;
  if (s.ok()) s = Descend(key, recno, false, &path_, &leaf);
  if (!s.ok()) return s;
  *pos = CdxPos{path_.back().offset, path_.back().index};
  if (pos->index >= leaf->count()) {
    // Past this leaf: the entry sought starts the next one (or nothing does).
    pos->index = leaf->count() - 1;
    if (leaf->count() == 0) {
      *pos = CdxPos{};
      return Status::OK();
    }
    return Next(pos);
  }
  return Status::OK();
}

Status CdxTree::Get(const CdxPos& pos, std::string_view* key, uint32_t* recno) {
  const CdxNode* node;
  Status s = Node(pos.leaf, &node);
  if (!s.ok()) return s;
  if (!node->is_leaf() || pos.index < 0 || pos.index >= node->count()) {
    return CdxCorruption("cdx node " + CdxHex(pos.leaf) + ": position " +
                         std::to_string(pos.index) + " outside the leaf");
  }
  *key = node->key(pos.index, key_length_);
  *recno = node->recnos[static_cast<size_t>(pos.index)];
  return Status::OK();
}

Status CdxTree::Move(CdxPos* pos, bool forward) {
  if (!forward && pos->index > 0) {
    --pos->index;
    return Status::OK();
  }
  const CdxNode* node;
  Status s = Node(pos->leaf, &node);
  if (!s.ok()) return s;
  if (forward && pos->index + 1 < node->count()) {
    ++pos->index;
    return Status::OK();
  }
  // Follow the chain past empty leaves (only a damaged file has them). The
  // sibling must link back, and its key nearest to the leaf left behind must
  // lie beyond that leaf's keys in the direction of the walk.
  const uint32_t from = pos->leaf;
  const CdxNode* from_node = node;
  for (uint64_t hops = 0; hops <= file_->size() / kCdxBlockSize; ++hops) {
    const uint32_t next = forward ? node->right : node->left;
    if (next == kCdxNone) {
      *pos = CdxPos{};
      return Status::OK();
    }
    const CdxNode* sibling;
    if (!(s = Node(next, &sibling)).ok()) return s;
    if (!sibling->is_leaf() || (forward ? sibling->left : sibling->right) != pos->leaf) {
      return CdxCorruption("cdx node " + CdxHex(next) + ": sibling links disagree with node " +
                           CdxHex(pos->leaf));
    }
    if (sibling->count() > 0) {
      const int32_t near = forward ? 0 : sibling->count() - 1;
      if (from_node->count() > 0) {
        const int32_t far = forward ? from_node->count() - 1 : 0;
        const int c =
            Compare(sibling->key(near, key_length_), sibling->recnos[static_cast<size_t>(near)],
                    from_node->key(far, key_length_), from_node->recnos[static_cast<size_t>(far)]);
        if (forward ? c <= 0 : c >= 0) {
          return CdxCorruption("cdx node " + CdxHex(next) + ": keys out of order " +
                               (forward ? "after" : "before") + " node " + CdxHex(from));
        }
      }
      *pos = CdxPos{next, near};
      return Status::OK();
    }
    pos->leaf = next;
    node = sibling;
  }
  return CdxCorruption("cdx node " + CdxHex(from) + ": endless sibling chain");
}

namespace {

// One level of a bulk build: packs entries into full nodes, links each to
// its neighbours (the level's nodes lie one after the other from `base`)
// and writes them in runs. What the level above needs, the last entry of
// every node, collects in `up`.
class LevelWriter {
 public:
  struct Entries {
    std::string keys;
    std::vector<uint32_t> recnos;
    std::vector<uint32_t> children;
  };

  LevelWriter(CdxFile* file, int32_t key_length, uint8_t pad, bool leaf)
      : file_(file), key_length_(key_length), pad_(pad), base_(file->AppendOffset()) {
    node_.attributes = leaf ? CdxNode::kLeaf : 0;
  }

  Status Add(std::string_view key, uint32_t recno, uint32_t child) {
    node_.Insert(node_.count(), key, recno, child);
    if (node_.Fits(key_length_, pad_)) return Status::OK();
    node_.Erase(node_.count() - 1, key_length_);
    Status s = Close(false);
    if (!s.ok()) return s;
    node_.Insert(0, key, recno, child);
    return Status::OK();
  }

  // Ends the level: its single node becomes the root at `root`, or the last
  // node is written and the run flushed. *is_root tells which.
  Status Finish(uint32_t root, bool* is_root) {
    *is_root = nodes_ == 0;
    if (*is_root) {
      node_.attributes |= CdxNode::kRoot;
      return file_->WriteNode(root, node_, key_length_, pad_);
    }
    Status s = Close(true);
    return s.ok() ? WriteRun() : s;
  }

  Entries& up() { return up_; }

 private:
  uint32_t Offset(uint32_t n) const { return base_ + n * kCdxBlockSize; }

  // Writes the full node_ as node nodes_ of the level, then empties node_.
  Status Close(bool last) {
    node_.left = nodes_ == 0 ? kCdxNone : Offset(nodes_ - 1);
    node_.right = last ? kCdxNone : Offset(nodes_ + 1);
    const int32_t n = node_.count();
    up_.keys.append(node_.key(n - 1, key_length_));
    up_.recnos.push_back(node_.recnos[static_cast<size_t>(n - 1)]);
    up_.children.push_back(Offset(nodes_));
    run_.resize((run_nodes_ + 1) * kCdxBlockSize);
    if (!node_.Encode(key_length_, pad_, run_.data() + run_nodes_ * kCdxBlockSize)) {
      return Status::InvalidArgument("cdx bulk build: a node does not fit");
    }
    ++run_nodes_;
    ++nodes_;
    const uint16_t attributes = node_.attributes;
    node_.Clear();
    node_.attributes = attributes;
    return run_nodes_ == kRunNodes ? WriteRun() : Status::OK();
  }

  Status WriteRun() {
    if (file_->AppendOffset() != Offset(nodes_ - static_cast<uint32_t>(run_nodes_))) {
      return Status::InvalidArgument("cdx bulk build: the file grew meanwhile");
    }
    Status s = file_->AppendNodes(run_.data(), static_cast<uint32_t>(run_nodes_));
    run_nodes_ = 0;
    return s;
  }

  static constexpr size_t kRunNodes = 128;  // 64 KiB per write
  CdxFile* file_;
  int32_t key_length_;
  uint8_t pad_;
  uint32_t base_;
  uint32_t nodes_ = 0;  // nodes of the level closed so far
  CdxNode node_;
  std::vector<uint8_t> run_;
  size_t run_nodes_ = 0;
  Entries up_;
};

}  // namespace

Status CdxTree::Build(size_t count, const BuildEntry& entry) {
  Status s = Load();
  if (!s.ok()) return s;
  const CdxNode* root = nullptr;
  if (!(s = Node(root_, &root)).ok()) return s;
  if (!root->is_leaf() || root->count() != 0) {
    return Status::InvalidArgument("cdx bulk build: the tag is not empty");
  }
  if (count == 0) return Status::OK();
  const uint32_t root_offset = root_;
  LevelWriter leaves(file_, key_length_, pad_, true);
  for (size_t i = 0; i < count; ++i) {
    std::string_view key;
    uint32_t recno;
    entry(i, &key, &recno);
    if (!(s = leaves.Add(key, recno, 0)).ok()) return s;
  }
  bool is_root;
  if (!(s = leaves.Finish(root_offset, &is_root)).ok()) return s;
  LevelWriter::Entries below = std::move(leaves.up());
  while (!is_root) {
    LevelWriter level(file_, key_length_, pad_, false);
    for (size_t i = 0; i < below.recnos.size(); ++i) {
      s = level.Add(std::string_view(below.keys).substr(i * static_cast<size_t>(key_length_),
                                                        static_cast<size_t>(key_length_)),
                    below.recnos[i], below.children[i]);
      if (!s.ok()) return s;
    }
    if (!(s = level.Finish(root_offset, &is_root)).ok()) return s;
    below = std::move(level.up());
  }
  return Status::OK();
}

Status CdxTree::Depth(int32_t* depth) {
  Status s = Load();
  const CdxNode* leaf = nullptr;
  if (s.ok()) s = Descend(std::string_view(), 0, true, &path_, &leaf);
  if (s.ok()) *depth = static_cast<int32_t>(path_.size());
  return s;
}

Status CdxTree::SetRoot(uint32_t offset) {
  CdxHeader h;
  Status s = file_->ReadHeader(header_offset_, &h);
  if (!s.ok()) return s;
  h.root = offset;
  // The directory header's counter is owned by CdxFile (WriteHeader keeps it).
  s = file_->WriteHeader(header_offset_, h);
  if (s.ok()) root_ = offset;
  return s;
}

Status CdxTree::Relink(uint32_t offset, bool set_right, uint32_t value) {
  if (offset == kCdxNone) return Status::OK();
  const CdxNode* cur;
  Status s = Node(offset, &cur);
  if (!s.ok()) return s;
  CdxNode copy = *cur;
  (set_right ? copy.right : copy.left) = value;
  return file_->WriteNode(offset, copy, key_length_, pad_);
}

Status CdxTree::Insert(std::string_view key, uint32_t recno) {
  if (key.size() != static_cast<size_t>(key_length_)) {
    return Status::InvalidArgument("cdx insert: key of " + std::to_string(key.size()) +
                                   " bytes in a tag of key length " + std::to_string(key_length_));
  }
  Status s = Load();
  const CdxNode* leaf = nullptr;
  if (s.ok()) s = Descend(key, recno, false, &path_, &leaf);
  if (!s.ok()) return s;
  CdxNode& copy = Scratch(path_.size() - 1);
  copy = *leaf;
  copy.Insert(path_.back().index, key, recno, 0);
  return Store(path_.size() - 1, copy);
}

Status CdxTree::Remove(std::string_view key, uint32_t recno, bool* removed) {
  *removed = false;
  if (key.size() != static_cast<size_t>(key_length_)) return Status::OK();
  Status s = Load();
  const CdxNode* leaf = nullptr;
  if (s.ok()) s = Descend(key, recno, false, &path_, &leaf);
  if (!s.ok()) return s;
  int32_t i = path_.back().index;
  if (i >= leaf->count() ||
      Compare(leaf->key(i, key_length_), leaf->recnos[static_cast<size_t>(i)], key, recno) != 0) {
    return Status::OK();
  }
  CdxNode& copy = Scratch(path_.size() - 1);
  copy = *leaf;
  copy.Erase(i, key_length_);
  *removed = true;
  return Store(path_.size() - 1, copy);
}

// Writes `node` as the new content of path[level] and brings the levels above
// in line: parent entries describe their child's last entry, an emptied node
// leaves the tree, an overfull one splits.
CdxNode& CdxTree::Scratch(size_t level) {
  if (scratch_.size() <= level) scratch_.resize(level + 1);
  return scratch_[level];
}

Status CdxTree::Store(size_t level, CdxNode& node) {
  std::vector<Step>& path = path_;
  uint32_t offset = path[level].offset;
  Status s;
  if (node.count() == 0 && level > 0) {
    if (!(s = Relink(node.left, true, node.right)).ok()) return s;
    if (!(s = Relink(node.right, false, node.left)).ok()) return s;
    if (!(s = file_->FreeNode(offset)).ok()) return s;
    const CdxNode* parent;
    if (!(s = Node(path[level - 1].offset, &parent)).ok()) return s;
    CdxNode& pcopy = Scratch(level - 1);
    pcopy = *parent;
    pcopy.Erase(path[level - 1].index, key_length_);
    return Store(level - 1, pcopy);
  }
  if (node.count() == 0 && !node.is_leaf()) {
    node.attributes = CdxNode::kRoot | CdxNode::kLeaf;  // the tree is empty again
  }
  if (!node.Fits(key_length_, pad_)) return Split(level, node);
  if (!(s = file_->WriteNode(offset, node, key_length_, pad_)).ok()) return s;
  if (level == 0 || node.count() == 0) return Status::OK();
  const CdxNode* parent;
  if (!(s = Node(path[level - 1].offset, &parent)).ok()) return s;
  int32_t pi = path[level - 1].index;
  std::string_view last = node.key(node.count() - 1, key_length_);
  if (parent->key(pi, key_length_) == last && parent->recnos[static_cast<size_t>(pi)] == node.recnos.back()) {
    return Status::OK();
  }
  CdxNode& pcopy = Scratch(level - 1);
  pcopy = *parent;
  pcopy.SetEntry(pi, last, node.recnos.back());
  return Store(level - 1, pcopy);
}

Status CdxTree::Split(size_t level, CdxNode& node) {
  std::vector<Step>& path = path_;
  uint32_t offset = path[level].offset;
  int32_t n = node.count();
  // Appends in key order (the common case for time-keyed logs) fill nodes
  // completely: the new left node takes all but the last entry. Otherwise
  // split in the middle, then move the cut until both halves fit.
  int32_t cut = n / 2;
  bool appended_at_end = level + 1 == path.size() && path[level].index == n - 1 &&
                         node.right == kCdxNone;
  if (appended_at_end || (!node.is_leaf() && path[level].index == n - 1 && node.right == kCdxNone)) {
    cut = n - 1;
  }
  CdxNode left, right;
  for (;;) {
    left = CdxNode();
    right = CdxNode();
    left.attributes = right.attributes = node.is_leaf() ? CdxNode::kLeaf : 0;
    for (int32_t i = 0; i < n; ++i) {
      CdxNode& dst = i < cut ? left : right;
      dst.Insert(dst.count(), node.key(i, key_length_), node.recnos[static_cast<size_t>(i)],
                 node.is_leaf() ? 0 : node.children[static_cast<size_t>(i)]);
    }
    bool lf = left.Fits(key_length_, pad_), rf = right.Fits(key_length_, pad_);
    if (lf && rf) break;
    if (!lf && cut > 1) {
      --cut;
    } else if (!rf && cut < n - 1) {
      ++cut;
    } else {
      return CdxCorruption("cdx node " + CdxHex(offset) + ": cannot split");
    }
  }
  uint32_t new_left;
  Status s = file_->AllocateBlocks(1, &new_left);
  if (!s.ok()) return s;
  left.left = node.left;
  left.right = offset;
  right.left = new_left;
  right.right = node.right;
  if (!(s = Relink(node.left, true, new_left)).ok()) return s;
  if (!(s = file_->WriteNode(new_left, left, key_length_, pad_)).ok()) return s;
  if (!(s = file_->WriteNode(offset, right, key_length_, pad_)).ok()) return s;
  if (level == 0) {
    // The root split: a new root above the two halves.
    CdxNode root;
    root.attributes = CdxNode::kRoot;
    root.Insert(0, left.key(left.count() - 1, key_length_), left.recnos.back(), new_left);
    root.Insert(1, right.key(right.count() - 1, key_length_), right.recnos.back(), offset);
    uint32_t root_offset;
    if (!(s = file_->AllocateBlocks(1, &root_offset)).ok()) return s;
    if (!(s = file_->WriteNode(root_offset, root, key_length_, pad_)).ok()) return s;
    return SetRoot(root_offset);
  }
  const CdxNode* parent;
  if (!(s = Node(path[level - 1].offset, &parent)).ok()) return s;
  CdxNode& pcopy = Scratch(level - 1);
  pcopy = *parent;
  int32_t pi = path[level - 1].index;
  pcopy.SetEntry(pi, right.key(right.count() - 1, key_length_), right.recnos.back());
  pcopy.Insert(pi, left.key(left.count() - 1, key_length_), left.recnos.back(), new_left);
  // The parent's path index now points at the new left entry; keep it on the
  // old node's entry for the levels above (its position only matters there
  // for being the last entry or not, which the insert did not change).
  path[level - 1].index = pi + 1;
  return Store(level - 1, pcopy);
}

}  // namespace pv
