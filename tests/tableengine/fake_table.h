// FakeTable: an in-memory table behind the ExprRecord interface, so that
// expressions and index code are tested without data files. Records are raw
// bytes laid out as in a .dbf record: deletion byte, then the fields.
#ifndef PV_TESTS_TABLEENGINE_FAKE_TABLE_H_
#define PV_TESTS_TABLEENGINE_FAKE_TABLE_H_

#include <cstring>
#include <string>
#include <vector>

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

}  // namespace pvtest

#endif  // PV_TESTS_TABLEENGINE_FAKE_TABLE_H_
