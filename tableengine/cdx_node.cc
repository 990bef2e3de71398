#include "tableengine/cdx_node.h"

#include <bit>
#include <cstring>

#include "tableengine/cdx_coding.h"

namespace pv {

namespace {

constexpr uint32_t kLeafHeader = 24;
constexpr uint32_t kInteriorHeader = 12;

int32_t BitLength(uint32_t v) {
  int32_t bits = 0;
  while (v != 0) {
    ++bits;
    v >>= 1;
  }
  return bits;
}

// Both helpers below run on every entry of every leaf encoded or counted:
// they compare 8 bytes at a time.
int32_t TrailingPad(std::string_view key, uint8_t pad) {
  const uint64_t pads = 0x0101010101010101ull * pad;
  size_t i = key.size();
  while (i >= 8) {
    uint64_t w;
    std::memcpy(&w, key.data() + i - 8, 8);
    if (w != pads) break;
    i -= 8;
  }
  while (i > 0 && static_cast<uint8_t>(key[i - 1]) == pad) --i;
  return static_cast<int32_t>(key.size() - i);
}

// Length of the common prefix of a and b, at most limit bytes.
int32_t CommonPrefix(const char* a, const char* b, int32_t limit) {
  int32_t d = 0;
  while (d + 8 <= limit) {
    uint64_t x, y;
    std::memcpy(&x, a + d, 8);
    std::memcpy(&y, b + d, 8);
    if (x != y) {
      // The first differing byte is the lowest one on this little-endian
      // reading; on a big-endian machine the byte loop below finds it.
      if constexpr (std::endian::native == std::endian::little) {
        return d + std::countr_zero(x ^ y) / 8;
      }
      break;
    }
    d += 8;
  }
  while (d < limit && a[d] == b[d]) ++d;
  return d;
}

struct LeafLayout {
  int32_t r, d, t, e;
};

LeafLayout LayoutFor(uint32_t max_recno, int32_t key_length) {
  LeafLayout l;
  l.d = l.t = BitLength(static_cast<uint32_t>(key_length));
  int32_t r = BitLength(max_recno);
  if (r < 1) r = 1;
  l.e = (r + l.d + l.t + 7) / 8;
  l.r = l.e * 8 - l.d - l.t;
  return l;
}

// dup and trail of `key` after `prev` (prev empty for a node's first entry).
void Compression(std::string_view prev, int32_t prev_trail, std::string_view key, uint8_t pad,
                 int32_t* dup, int32_t* trail) {
  int32_t kl = static_cast<int32_t>(key.size());
  *trail = TrailingPad(key, pad);
  int32_t limit = kl - *trail;
  if (prev.empty()) {
    *dup = 0;
    return;
  }
  int32_t prev_limit = static_cast<int32_t>(prev.size()) - prev_trail;
  if (prev_limit < limit) limit = prev_limit;
  *dup = CommonPrefix(prev.data(), key.data(), limit);
}

// Bytes of key text the leaf stores, or -1 when the node is not a leaf.
int32_t LeafTextBytes(const CdxNode& node, int32_t key_length, uint8_t pad) {
  int32_t total = 0, prev_trail = 0;
  std::string_view prev;
  for (int32_t i = 0; i < node.count(); ++i) {
    std::string_view k = node.key(i, key_length);
    int32_t dup, trail;
    Compression(prev, prev_trail, k, pad, &dup, &trail);
    total += key_length - dup - trail;
    prev = k;
    prev_trail = trail;
  }
  return total;
}

Status NodeCorrupt(uint32_t offset, const std::string& what) {
  return CdxCorruption("cdx node " + CdxHex(offset) + ": " + what);
}

}  // namespace

int32_t CdxLeafStoredBytes(std::string_view prev, std::string_view key, uint8_t pad) {
  int32_t dup, trail;
  Compression(prev, prev.empty() ? 0 : TrailingPad(prev, pad), key, pad, &dup, &trail);
  return static_cast<int32_t>(key.size()) - dup - trail;
}

void CdxNode::Insert(int32_t i, std::string_view key, uint32_t recno, uint32_t child) {
  if (fit_key_length_ == static_cast<int32_t>(key.size())) {
    // Entry i's stored bytes depend only on the key before it: the new entry
    // changes what it and its successor store.
    const int32_t kl = fit_key_length_;
    std::string_view prev = i > 0 ? this->key(i - 1, kl) : std::string_view();
    int32_t delta = CdxLeafStoredBytes(prev, key, fit_pad_);
    if (i < count()) {
      std::string_view next = this->key(i, kl);
      delta += CdxLeafStoredBytes(key, next, fit_pad_) - CdxLeafStoredBytes(prev, next, fit_pad_);
    }
    text_bytes_ += delta;
    if (recno > max_recno_) max_recno_ = recno;
  } else {
    fit_key_length_ = -1;
  }
  keys.insert(static_cast<size_t>(i) * key.size(), key);
  recnos.insert(recnos.begin() + i, recno);
  if (!is_leaf()) children.insert(children.begin() + i, child);
}

void CdxNode::Erase(int32_t i, int32_t key_length) {
  if (fit_key_length_ == key_length && recnos[static_cast<size_t>(i)] < max_recno_) {
    std::string_view prev = i > 0 ? key(i - 1, key_length) : std::string_view();
    std::string_view cur = key(i, key_length);
    int32_t delta = -CdxLeafStoredBytes(prev, cur, fit_pad_);
    if (i + 1 < count()) {
      std::string_view next = key(i + 1, key_length);
      delta += CdxLeafStoredBytes(prev, next, fit_pad_) - CdxLeafStoredBytes(cur, next, fit_pad_);
    }
    text_bytes_ += delta;
  } else {
    fit_key_length_ = -1;  // the largest record number may leave: count again
  }
  keys.erase(static_cast<size_t>(i) * static_cast<size_t>(key_length),
             static_cast<size_t>(key_length));
  recnos.erase(recnos.begin() + i);
  if (!is_leaf()) children.erase(children.begin() + i);
}

void CdxNode::SetEntry(int32_t i, std::string_view key, uint32_t recno) {
  std::memcpy(keys.data() + static_cast<size_t>(i) * key.size(), key.data(), key.size());
  recnos[static_cast<size_t>(i)] = recno;
  fit_key_length_ = -1;
}

void CdxNode::ComputeFit(int32_t key_length, uint8_t pad) const {
  if (fit_key_length_ == key_length && fit_pad_ == pad) return;
  max_recno_ = 0;
  for (uint32_t r : recnos) max_recno_ = r > max_recno_ ? r : max_recno_;
  text_bytes_ = LeafTextBytes(*this, key_length, pad);
  fit_key_length_ = key_length;
  fit_pad_ = pad;
}

uint32_t CdxNode::EncodedSize(int32_t key_length, uint8_t pad) const {
  if (!is_leaf()) {
    return kInteriorHeader + static_cast<uint32_t>(count()) * (static_cast<uint32_t>(key_length) + 8);
  }
  ComputeFit(key_length, pad);
  LeafLayout l = LayoutFor(max_recno_, key_length);
  return kLeafHeader + static_cast<uint32_t>(count() * l.e + text_bytes_);
}

bool CdxNode::Encode(int32_t key_length, uint8_t pad, uint8_t* block) const {
  if (!Fits(key_length, pad)) return false;
  std::memset(block, 0, kCdxBlockSize);
  PutLe16(block, attributes & (kRoot | kLeaf));
  PutLe16(block + 2, static_cast<uint16_t>(count()));
  PutLe32(block + 4, left);
  PutLe32(block + 8, right);
  if (!is_leaf()) {
    uint8_t* p = block + kInteriorHeader;
    for (int32_t i = 0; i < count(); ++i) {
      std::memcpy(p, key(i, key_length).data(), static_cast<size_t>(key_length));
      PutBe32(p + key_length, recnos[static_cast<size_t>(i)]);
      PutBe32(p + key_length + 4, children[static_cast<size_t>(i)]);
      p += key_length + 8;
    }
    return true;
  }
  LeafLayout l = LayoutFor(max_recno_, key_length);  // computed by Fits
  PutLe32(block + 14, l.r >= 32 ? 0xFFFFFFFFu : (1u << l.r) - 1);
  block[18] = static_cast<uint8_t>((1u << l.d) - 1);
  block[19] = static_cast<uint8_t>((1u << l.t) - 1);
  block[20] = static_cast<uint8_t>(l.r);
  block[21] = static_cast<uint8_t>(l.d);
  block[22] = static_cast<uint8_t>(l.t);
  block[23] = static_cast<uint8_t>(l.e);
  uint32_t pos = kCdxBlockSize;
  std::string_view prev;
  int32_t prev_trail = 0;
  for (int32_t i = 0; i < count(); ++i) {
    std::string_view k = key(i, key_length);
    int32_t dup, trail;
    Compression(prev, prev_trail, k, pad, &dup, &trail);
    uint32_t n = static_cast<uint32_t>(key_length - dup - trail);
    pos -= n;
    std::memcpy(block + pos, k.data() + dup, n);
    uint64_t v = recnos[static_cast<size_t>(i)] | (static_cast<uint64_t>(dup) << l.r) |
                 (static_cast<uint64_t>(trail) << (l.r + l.d));
    uint8_t* e = block + kLeafHeader + static_cast<uint32_t>(i * l.e);
    for (int32_t b = 0; b < l.e; ++b) e[b] = static_cast<uint8_t>(v >> (8 * b));
    prev = k;
    prev_trail = trail;
  }
  PutLe16(block + 12, static_cast<uint16_t>(pos - kLeafHeader - static_cast<uint32_t>(count() * l.e)));
  return true;
}

Status CdxNode::Decode(const uint8_t* block, uint32_t offset, int32_t key_length, uint8_t pad,
                       CdxNode* out) {
  out->Clear();
  uint16_t attr = GetLe16(block);
  if ((attr & ~0x07u) != 0) return NodeCorrupt(offset, "bad node attribute " + CdxHex(attr));
  out->attributes = attr & (kRoot | kLeaf);
  out->left = GetLe32(block + 4);
  out->right = GetLe32(block + 8);
  uint32_t count = GetLe16(block + 2);
  size_t kl = static_cast<size_t>(key_length);
  if (!out->is_leaf()) {
    if (kInteriorHeader + count * (kl + 8) > kCdxBlockSize) {
      return NodeCorrupt(offset, "key count " + std::to_string(count) + " exceeds node");
    }
    out->keys.reserve(count * kl);
    out->recnos.resize(count);
    out->children.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* p = block + kInteriorHeader + i * (kl + 8);
      out->keys.append(reinterpret_cast<const char*>(p), kl);
      out->recnos[i] = GetBe32(p + kl);
      out->children[i] = GetBe32(p + kl + 4);
    }
    return Status::OK();
  }
  int32_t r = block[20], d = block[21], t = block[22], e = block[23];
  if (e < 1 || e > 8 || r < 1 || r > 32 || d > 8 || t > 8 || r + d + t > 8 * e) {
    return NodeCorrupt(offset, "bad leaf entry layout R=" + std::to_string(r) + " D=" +
                                   std::to_string(d) + " T=" + std::to_string(t) +
                                   " E=" + std::to_string(e));
  }
  uint32_t entries_end = kLeafHeader + count * static_cast<uint32_t>(e);
  if (entries_end > kCdxBlockSize) {
    return NodeCorrupt(offset, "key count " + std::to_string(count) + " exceeds node");
  }
  uint64_t rmask = r >= 32 ? 0xFFFFFFFFull : (1ull << r) - 1;
  uint64_t dmask = (1ull << d) - 1, tmask = (1ull << t) - 1;
  out->keys.resize(count * kl);
  out->recnos.resize(count);
  uint32_t pos = kCdxBlockSize;
  std::string prev(kl, static_cast<char>(pad));
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* p = block + kLeafHeader + i * static_cast<uint32_t>(e);
    uint64_t v = 0;
    for (int32_t b = 0; b < e; ++b) v |= static_cast<uint64_t>(p[b]) << (8 * b);
    uint32_t dup = static_cast<uint32_t>((v >> r) & dmask);
    uint32_t trail = static_cast<uint32_t>((v >> (r + d)) & tmask);
    if (dup + trail > kl) {
      return NodeCorrupt(offset, "entry " + std::to_string(i) + ": duplicate and trailing counts exceed the key length");
    }
    uint32_t n = static_cast<uint32_t>(kl) - dup - trail;
    if (pos < entries_end + n) {
      return NodeCorrupt(offset, "entry " + std::to_string(i) + ": key bytes overlap the entries");
    }
    pos -= n;
    char* key = out->keys.data() + i * kl;
    std::memcpy(key, prev.data(), dup);
    std::memcpy(key + dup, block + pos, n);
    std::memset(key + dup + n, pad, trail);
    prev.assign(key, kl);
    out->recnos[i] = static_cast<uint32_t>(v & rmask);
  }
  return Status::OK();
}

}  // namespace pv
