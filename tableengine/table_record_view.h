// TableRecordView: a record image of an open table as the expression
// evaluator sees it (ExprRecord). The index module evaluates key and filter
// expressions on the images that Table passes through IndexFile::RecordWritten
// and on the current record (Table::RecordBuffer()).
//
// Field indexes are 0-based positions among the table's fields (FieldAt(i+1));
// the hidden null-flag field is never found by name.
#ifndef PV_TABLEENGINE_TABLE_RECORD_VIEW_H_
#define PV_TABLEENGINE_TABLE_RECORD_VIEW_H_

#include <cstdint>
#include <string_view>

#include "tableengine/expr_record.h"

namespace pv {

class Table;

class TableRecordView final : public ExprRecord {
 public:
  // image: RecordWidth() bytes, valid while the view is used.
  TableRecordView(Table* table, const char* image, uint32_t recno)
      : table_(table), image_(image), recno_(recno) {}
  // A view of the table's current record buffer.
  explicit TableRecordView(Table* table);

  void Reset(const char* image, uint32_t recno) {
    image_ = image;
    recno_ = recno;
  }

  int32_t FindField(std::string_view name) const override;
  ExprFieldInfo FieldInfo(int32_t index) const override;
  std::string_view FieldBytes(int32_t index) const override;
  bool FieldIsNull(int32_t index) const override;
  uint32_t RecordNumber() const override { return recno_; }
  bool Deleted() const override { return image_[0] == '*'; }

 private:
  Table* table_;
  const char* image_;
  uint32_t recno_;
};

}  // namespace pv

#endif  // PV_TABLEENGINE_TABLE_RECORD_VIEW_H_
