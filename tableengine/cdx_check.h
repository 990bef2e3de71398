// The index check: the compound index's fsck.
//
// For every tag it walks the whole tree from the root and verifies what the
// format requires (docs/formats.md 3.4): node pointers inside the file and
// used by one tree only, one root, all leaves on one level, each level a
// doubly linked chain in key order, every interior entry equal to the last
// entry of its child, no empty node below the root, entries strictly rising
// in (key, record number) order. Then it recomputes every record's key and
// FOR verdict and checks that each record that passes the filter appears
// exactly once with that key, and no other record does (a unique tag holds
// each key at most once, for a record that has it; a record missing from it
// is no fault, since the first holder of a key leaving promotes no other).
//
// Problems are collected as text (at most kMaxProblems per tag); the check
// itself only fails when the file cannot be read at all.
#ifndef PV_TABLEENGINE_CDX_CHECK_H_
#define PV_TABLEENGINE_CDX_CHECK_H_

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/status.h"
#include "tableengine/cdx_index.h"

namespace pv {

struct CdxTagReport {
  std::string name;
  std::string key_expr;
  std::string filter;
  int32_t key_length = 0;
  CdxUnique unique = CdxUnique::kKeep;
  bool descending = false;
  uint64_t keys = 0;
  int32_t depth = 0;
  std::vector<std::string> problems;
};

constexpr size_t kCdxMaxProblems = 20;

// Checks every tag of `index` against the records of `records`.
Status CdxCheck(CdxIndex* index, CdxRecordSource* records, std::vector<CdxTagReport>* reports);

}  // namespace pv

#endif  // PV_TABLEENGINE_CDX_CHECK_H_
