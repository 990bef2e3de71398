#include "tableengine/cdx_check.h"

#include <set>
#include <unordered_map>

#include "tableengine/cdx_coding.h"

namespace pv {

namespace {

struct Entry {
  std::string key;
  uint32_t recno;
};

class TagChecker {
 public:
  TagChecker(CdxFile* file, CdxTag* tag, std::set<uint32_t>* used, CdxTagReport* report)
      : file_(file), tag_(tag), used_(used), report_(report) {}

  // Walks the tree level by level; fills entries_ with the leaf entries.
  Status CheckTree() {
    CdxTree* tree = tag_->tree();
    Status s = tree->Load();
    if (!s.ok()) return s;
    std::vector<uint32_t> level{tree->root()};
    std::vector<Entry> expected_last;  // per node of `level`: what its parent says
    for (int32_t depth = 0; !level.empty(); ++depth) {
      if (depth > 40) return Problem("tree deeper than 40 levels");
      std::vector<uint32_t> next;
      std::vector<Entry> next_last;
      bool leaves = false;
      for (size_t i = 0; i < level.size(); ++i) {
        uint32_t off = level[i];
        if (!used_->insert(off).second) {
          return Problem("node " + CdxHex(off) + " reached twice (shared or cyclic)");
        }
        const CdxNode* node;
        s = file_->ReadNode(off, tree->key_length(), tree->pad(), &node);
        if (!s.ok()) return Problem(s.message());
        if (i == 0) leaves = node->is_leaf();
        if (node->is_leaf() != leaves) Note("node " + CdxHex(off) + ": leaves on two levels");
        if (node->is_root() != (depth == 0)) {
          Note("node " + CdxHex(off) + (depth == 0 ? ": root without the root attribute"
                                                      : ": root attribute below the root"));
        }
        uint32_t want_left = i == 0 ? kCdxNone : level[i - 1];
        uint32_t want_right = i + 1 == level.size() ? kCdxNone : level[i + 1];
        if (node->left != want_left || node->right != want_right) {
          Note("node " + CdxHex(off) + ": sibling links " + CdxHex(node->left) + "/" +
                  CdxHex(node->right) + ", expected " + CdxHex(want_left) + "/" +
                  CdxHex(want_right));
        }
        if (node->count() == 0 && depth > 0) Note("node " + CdxHex(off) + ": empty");
        if (depth > 0 && node->count() > 0) {
          const Entry& e = expected_last[i];
          if (node->key(node->count() - 1, tree->key_length()) != e.key ||
              node->recnos.back() != e.recno) {
            Note("node " + CdxHex(off) + ": parent entry does not match its last key");
          }
        }
        for (int32_t k = 0; k < node->count(); ++k) {
          Entry e{std::string(node->key(k, tree->key_length())),
                  node->recnos[static_cast<size_t>(k)]};
          if (node->is_leaf()) {
            entries_.push_back(std::move(e));
          } else {
            next.push_back(node->children[static_cast<size_t>(k)]);
            next_last.push_back(std::move(e));
          }
        }
      }
      report_->depth = depth + 1;
      if (leaves) break;
      level.swap(next);
      expected_last.swap(next_last);
    }
    report_->keys = entries_.size();
    for (size_t i = 1; i < entries_.size(); ++i) {
      const Entry& a = entries_[i - 1];
      const Entry& b = entries_[i];
      if (a.key > b.key || (a.key == b.key && a.recno >= b.recno)) {
        Note("entries out of order at key " + std::to_string(i) + " (record " +
                std::to_string(b.recno) + ")");
      } else if (a.key == b.key && tag_->unique() != CdxUnique::kKeep) {
        Note("unique tag holds key '" + CdxKeyToText(tag_->key_type(), b.key) +
                "' twice (records " + std::to_string(a.recno) + ", " + std::to_string(b.recno) + ")");
      }
    }
    return Status::OK();
  }

  Status CheckRecords(CdxRecordSource* records) {
    uint32_t count = 0;
    Status s = records->RecordCount(&count);
    if (!s.ok()) return s;
    std::unordered_map<uint32_t, const std::string*> actual;
    for (const Entry& e : entries_) {
      if (e.recno == 0 || e.recno > count) {
        Note("entry for record " + std::to_string(e.recno) + " beyond the table's " +
                std::to_string(count) + " records");
      } else if (!actual.emplace(e.recno, &e.key).second) {
        Note("record " + std::to_string(e.recno) + " appears twice");
      }
    }
    std::string key;
    for (uint32_t r = 1; r <= count; ++r) {
      const ExprRecord* view;
      if (!(s = records->ReadRecord(r, &view)).ok()) return s;
      bool in;
      tag_->KeyOf(*view, &key, &in);
      auto it = actual.find(r);
      std::string rec = "record " + std::to_string(r);
      if (!in) {
        if (it != actual.end()) Note(rec + " is in the tag but its filter excludes it");
      } else if (it == actual.end()) {
        // A unique tag holds a key once, for one of the records that have it,
        // and promotes no other record when that one leaves: a record missing
        // from it is no fault.
        if (tag_->unique() == CdxUnique::kKeep) {
          Note(rec + " is missing (key '" + CdxKeyToText(tag_->key_type(), key) + "')");
        }
      } else if (*it->second != key) {
        Note(rec + " has key '" + CdxKeyToText(tag_->key_type(), *it->second) +
                "', its expression gives '" + CdxKeyToText(tag_->key_type(), key) + "'");
      }
    }
    return Status::OK();
  }

 private:
  // Records a problem; the check goes on to find the others.
  void Note(const std::string& text) {
    if (report_->problems.size() < kCdxMaxProblems) report_->problems.push_back(text);
  }
  // Records a problem that ends the check of this tag (the check itself
  // succeeded: the problem is in the report).
  Status Problem(const std::string& text) {
    Note(text);
    return Status::OK();
  }

  CdxFile* file_;
  CdxTag* tag_;
  std::set<uint32_t>* used_;
  CdxTagReport* report_;
  std::vector<Entry> entries_;
};

}  // namespace

Status CdxCheck(CdxIndex* index, CdxRecordSource* records, std::vector<CdxTagReport>* reports) {
  reports->clear();
  CdxScope scope(index->file(), false);
  if (!scope.status().ok()) return scope.status();
  std::set<uint32_t> used;
  for (int32_t i = 0; i < index->tag_count(); ++i) {
    CdxTag* tag = index->tag(i);
    CdxTagReport report;
    report.name = tag->name();
    report.key_expr = tag->key_expr().source();
    report.filter = tag->filter() != nullptr ? tag->filter()->source() : "";
    report.key_length = tag->key_type().length;
    report.unique = tag->unique();
    report.descending = tag->descending();
    TagChecker checker(index->file(), tag, &used, &report);
    Status s = checker.CheckTree();
    if (s.ok() && records != nullptr && report.problems.empty()) s = checker.CheckRecords(records);
    if (!s.ok()) return s;
    reports->push_back(std::move(report));
  }
  return Status::OK();
}

}  // namespace pv
