// FakeTable: an in-memory table behind the ExprRecord interface, so that
// expressions and index code are tested without the engine's data file code.
// Records are raw bytes laid out as in a .dbf record: deletion byte, then the
// fields. It is built field by field, or read whole from a fixture .dbf
// (deliberately minimal: only what the index code needs to see). Also the
// index tests' model: a tag's order from the records, and its walk.
#ifndef PV_TESTS_TABLEENGINE_FAKE_TABLE_H_
#define PV_TESTS_TABLEENGINE_FAKE_TABLE_H_

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tableengine/cdx_check.h"
#include "tableengine/cdx_index.h"
#include "tableengine/expr_record.h"
#include "tests/support/test_util.h"

namespace pvtest {

class FakeTable : public pv::ExprRecord, public pv::CdxRecordSource {
 public:
  struct Field {
    std::string name;
    pv::ExprFieldInfo info;
    int32_t offset;
  };

  FakeTable() = default;
  explicit FakeTable(const std::string& dbf_path) {
    const std::string data = ReadFileBytes(dbf_path);
    auto u8 = [&](size_t o) { return static_cast<uint8_t>(data[o]); };
    const uint32_t count = u8(4) | (u8(5) << 8) | (u8(6) << 16) | (static_cast<uint32_t>(u8(7)) << 24);
    const size_t header = u8(8) | (u8(9) << 8), width = u8(10) | (u8(11) << 8);
    std::vector<int32_t> null_bits;  // per nullable field its bit in _NullFlags, else -1
    int32_t null_bit = 0;
    for (size_t d = 32; d + 32 <= data.size() && data[d] != 0x0D; d += 32) {
      const bool nullable = (u8(d + 18) & 0x02) != 0;
      AddField(std::string(data.c_str() + d, strnlen(data.c_str() + d, 11)), data[d + 11], u8(d + 16),
               u8(d + 17), nullable);
      null_bits.push_back(nullable ? null_bit++ : -1);
      if (data[d + 11] == 'V' || data[d + 11] == 'Q') null_bit++;
    }
    const int32_t flags = FindField("_NullFlags");
    for (uint32_t r = 0; r < count; ++r) {
      records_.push_back(data.substr(header + r * width, width));
      nulls_.emplace_back(fields_.size(), false);
      current_ = r + 1;
      for (size_t i = 0; flags >= 0 && i < fields_.size(); ++i) {
        const std::string_view bits = FieldBytes(flags);
        const size_t byte = static_cast<size_t>(null_bits[i] / 8);
        nulls_.back()[i] = null_bits[i] >= 0 && byte < bits.size() &&
                           (static_cast<uint8_t>(bits[byte]) >> (null_bits[i] % 8)) & 1;
      }
    }
    current_ = 1;
  }

  void AddField(const std::string& name, char type, int32_t width, int32_t decimals = 0,
                bool nullable = false) {
    Field f{name, {type, width, decimals, nullable}, record_width_};
    record_width_ += width;
    fields_.push_back(f);
  }

  // Appends a record whose fields are given as raw texts (blank-padded or cut
  // to each width) and makes it current.
  void Append(const std::vector<std::string>& values, bool deleted = false) {
    std::string rec(static_cast<size_t>(record_width_), ' ');
    rec[0] = deleted ? '*' : ' ';
    for (size_t i = 0; i < fields_.size() && i < values.size(); ++i) {
      std::string v = values[i].substr(0, static_cast<size_t>(fields_[i].info.width));
      rec.replace(static_cast<size_t>(fields_[i].offset), v.size(), v);
    }
    records_.push_back(rec);
    nulls_.push_back(std::vector<bool>(fields_.size(), false));
    current_ = static_cast<uint32_t>(records_.size());
  }

  void Go(uint32_t recno) { current_ = recno; }
  void SetDeleted(bool d) { records_[current_ - 1][0] = d ? '*' : ' '; }
  void SetNull(int32_t field, bool null) { nulls_[current_ - 1][static_cast<size_t>(field)] = null; }
  void SetRaw(int32_t field, const std::string& bytes) {
    Field& f = fields_[static_cast<size_t>(field)];
    records_[current_ - 1].replace(static_cast<size_t>(f.offset), bytes.size(), bytes);
  }
  uint32_t Count() const { return static_cast<uint32_t>(records_.size()); }

  int32_t FindField(std::string_view name) const override { return pvtest::FindField(fields_, name); }
  pv::ExprFieldInfo FieldInfo(int32_t index) const override {
    return fields_[static_cast<size_t>(index)].info;
  }
  std::string_view FieldBytes(int32_t index) const override {
    const Field& f = fields_[static_cast<size_t>(index)];
    return std::string_view(records_[current_ - 1])
        .substr(static_cast<size_t>(f.offset), static_cast<size_t>(f.info.width));
  }
  bool FieldIsNull(int32_t index) const override {
    return nulls_[current_ - 1][static_cast<size_t>(index)];
  }
  uint32_t RecordNumber() const override { return current_; }
  pv::Status RecordCount(uint32_t* count) override {
    *count = Count();
    return pv::Status::OK();
  }
  pv::Status ReadRecord(uint32_t recno, const pv::ExprRecord** view) override {
    current_ = recno;
    *view = this;
    return pv::Status::OK();
  }
  bool Deleted() const override { return records_[current_ - 1][0] == '*'; }

 private:
  std::vector<Field> fields_;
  std::vector<std::string> records_;
  std::vector<std::vector<bool>> nulls_;
  int32_t record_width_ = 1;
  uint32_t current_ = 0;
};

// The records of the tag in tag order, computed from the data alone (a
// unique tag keeps the first record of each key); keys gets the keys.
inline std::vector<uint32_t> ModelOrder(pv::CdxTag* tag, FakeTable& t, std::vector<std::string>* keys = nullptr) {
  std::vector<std::pair<std::string, uint32_t>> entries;
  std::map<std::string, bool> seen;
  for (uint32_t r = 1; r <= t.Count(); ++r) {
    t.Go(r);
    std::string key;
    bool in;
    tag->KeyOf(t, &key, &in);
    if (in && (tag->unique() == pv::CdxUnique::kKeep || seen.emplace(key, true).second)) entries.emplace_back(key, r);
  }
  std::sort(entries.begin(), entries.end());
  if (tag->descending()) std::reverse(entries.begin(), entries.end());
  std::vector<uint32_t> order;
  if (keys != nullptr) keys->clear();
  for (auto& e : entries) {
    order.push_back(e.second);
    if (keys != nullptr) keys->push_back(e.first);
  }
  return order;
}

// The records of the tag as a walk from one end finds them, in tag order.
inline std::vector<uint32_t> WalkTag(pv::CdxTag* tag, FakeTable& t, bool backwards = false) {
  std::vector<uint32_t> out;
  uint32_t r = 0;
  pv::Status s = backwards ? tag->Bottom(&r) : tag->Top(&r);
  while (s.ok() && r != 0 && out.size() <= t.Count()) {
    out.push_back(r);
    t.Go(r);
    int32_t moved;
    s = tag->Skip(r, t, backwards ? -1 : 1, &r, &moved);
  }
  EXPECT_TRUE(s.ok()) << s.ToString();
  if (backwards) std::reverse(out.begin(), out.end());
  return out;
}

// The index check's findings as text, one per line ("" when it checks out).
inline std::string ReportText(const pv::Status& s, const std::vector<pv::CdxTagReport>& reports) {
  std::string out = s.ok() ? "" : s.ToString() + "\n";
  for (auto& r : reports) {
    for (auto& p : r.problems) out += r.name + ": " + p + "\n";
  }
  return out;
}
inline std::string CheckProblems(pv::CdxIndex* index, pv::CdxRecordSource* records) {
  std::vector<pv::CdxTagReport> reports;
  pv::Status s = pv::CdxCheck(index, records, &reports);
  return ReportText(s, reports);
}

}  // namespace pvtest

#endif  // PV_TESTS_TABLEENGINE_FAKE_TABLE_H_
