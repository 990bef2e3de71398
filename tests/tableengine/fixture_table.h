// FixtureTable: a fixture .dbf read whole into memory, as the index tests'
// record source. Deliberately minimal and separate from the engine's data
// file code: it only has to show the index code each record's fields.
#ifndef PV_TESTS_TABLEENGINE_FIXTURE_TABLE_H_
#define PV_TESTS_TABLEENGINE_FIXTURE_TABLE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tableengine/cdx_index.h"
#include "tableengine/expr_record.h"
#include "tests/support/test_util.h"

namespace pvtest {

class FixtureTable : public pv::ExprRecord, public pv::CdxRecordSource {
 public:
  explicit FixtureTable(const std::string& dbf_path) {
    data_ = ReadFileBytes(dbf_path);
    auto u8 = [&](size_t o) { return static_cast<uint8_t>(data_[o]); };
    count_ = u8(4) | (u8(5) << 8) | (u8(6) << 16) | (static_cast<uint32_t>(u8(7)) << 24);
    header_length_ = u8(8) | (u8(9) << 8);
    record_length_ = u8(10) | (u8(11) << 8);
    int32_t offset = 1, null_bit = 0;
    for (size_t d = 32; d + 32 <= data_.size() && data_[d] != 0x0D; d += 32) {
      Field f;
      f.name = std::string(data_.c_str() + d, strnlen(data_.c_str() + d, 11));
      f.info.type = data_[d + 11];
      f.info.width = u8(d + 16);
      f.info.decimals = u8(d + 17);
      f.info.nullable = (u8(d + 18) & 0x02) != 0;
      f.offset = offset;
      offset += f.info.width;
      if (f.info.nullable) f.null_bit = null_bit++;
      if (f.info.type == 'V' || f.info.type == 'Q') null_bit++;
      fields_.push_back(f);
    }
    null_field_ = FindField("_NullFlags");
  }

  uint32_t Count() const { return count_; }
  void Go(uint32_t recno) { recno_ = recno; }
  std::string Image(uint32_t recno) const {
    return data_.substr(header_length_ + static_cast<size_t>(recno - 1) * record_length_,
                        record_length_);
  }

  int32_t FindField(std::string_view name) const override { return pvtest::FindField(fields_, name); }
  pv::ExprFieldInfo FieldInfo(int32_t i) const override { return fields_[static_cast<size_t>(i)].info; }
  std::string_view FieldBytes(int32_t i) const override {
    const Field& f = fields_[static_cast<size_t>(i)];
    return std::string_view(data_).substr(RecordStart() + static_cast<size_t>(f.offset),
                                          static_cast<size_t>(f.info.width));
  }
  bool FieldIsNull(int32_t i) const override {
    const Field& f = fields_[static_cast<size_t>(i)];
    if (!f.info.nullable || null_field_ < 0) return false;
    std::string_view flags = FieldBytes(null_field_);
    size_t byte = static_cast<size_t>(f.null_bit / 8);
    return byte < flags.size() && (static_cast<uint8_t>(flags[byte]) >> (f.null_bit % 8)) & 1;
  }
  uint32_t RecordNumber() const override { return recno_; }
  bool Deleted() const override { return data_[RecordStart()] == '*'; }

  pv::Status RecordCount(uint32_t* count) override {
    *count = count_;
    return pv::Status::OK();
  }
  pv::Status ReadRecord(uint32_t recno, const pv::ExprRecord** view) override {
    recno_ = recno;
    *view = this;
    return pv::Status::OK();
  }

 private:
  struct Field {
    std::string name;
    pv::ExprFieldInfo info;
    int32_t offset = 0;
    int32_t null_bit = 0;
  };
  size_t RecordStart() const {
    return header_length_ + static_cast<size_t>(recno_ - 1) * record_length_;
  }

  std::string data_;
  std::vector<Field> fields_;
  uint32_t count_ = 0, header_length_ = 0, record_length_ = 0, recno_ = 1;
  int32_t null_field_ = -1;
};

}  // namespace pvtest

#endif  // PV_TESTS_TABLEENGINE_FIXTURE_TABLE_H_
