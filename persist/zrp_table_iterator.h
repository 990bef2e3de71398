// ZrpTableIterator: a cursor over a table, i.e. a record number and the tag
// in whose order it walks.
//
// Record number 0 means "on no record" (before the start, past the end, or
// after a failure); `it != 0` is the loop condition of a walk. With a key, a
// walk moves only among the records whose key in the tag equals it. The
// iterator holds no reference to a table object: operations that start from
// an iterator select its tag and go to its record again, so several
// iterators can walk one table object alternately, and one iterator value
// serves every table object of the same table.
#ifndef PV_PERSIST_ZRP_TABLE_ITERATOR_H_
#define PV_PERSIST_ZRP_TABLE_ITERATOR_H_

#include <cstdint>

#include "foundation/zr_string.h"

class ZrpTableIterator {
 public:
  ZrpTableIterator() = default;

  ZrpTableIterator& operator=(int32_t recNo) {
    recNo_ = recNo;
    return *this;
  }
  friend bool operator==(const ZrpTableIterator& it, int32_t recNo) { return it.recNo_ == recNo; }
  friend bool operator!=(const ZrpTableIterator& it, int32_t recNo) { return it.recNo_ != recNo; }
  friend bool operator==(int32_t recNo, const ZrpTableIterator& it) { return it.recNo_ == recNo; }
  friend bool operator!=(int32_t recNo, const ZrpTableIterator& it) { return it.recNo_ != recNo; }

  int32_t RecNo() const { return recNo_; }
  const ZrString& Tag() const { return tag_; }
  const ZrString& Key() const { return key_; }
  void SetTag(const char* tag) { tag_ = ZrString(tag != nullptr ? tag : ""); }
  void SetKey(const char* key) { key_ = ZrString(key != nullptr ? key : ""); }

 private:
  int32_t recNo_ = 0;
  ZrString tag_;
  ZrString key_;
};

#endif  // PV_PERSIST_ZRP_TABLE_ITERATOR_H_
