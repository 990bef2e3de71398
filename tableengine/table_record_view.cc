#include "tableengine/table_record_view.h"

#include "tableengine/table.h"

namespace pv {

TableRecordView::TableRecordView(Table* table)
    : table_(table), image_(table->RecordBuffer()),
      recno_(static_cast<uint32_t>(table->RecordNumber())) {}

int32_t TableRecordView::FindField(std::string_view name) const {
  Field* f = table_->FieldByName(name, /*report=*/false);
  return f == nullptr ? -1 : f->Position() - 1;
}

ExprFieldInfo TableRecordView::FieldInfo(int32_t index) const {
  const Field* f = table_->FieldAt(index + 1);
  ExprFieldInfo info;
  info.type = f->Type();
  info.width = f->Width();
  info.decimals = f->Decimals();
  info.nullable = f->Nullable();
  return info;
}

std::string_view TableRecordView::FieldBytes(int32_t index) const {
  const Field* f = table_->FieldAt(index + 1);
  return std::string_view(image_ + f->Offset(), static_cast<size_t>(f->Width()));
}

bool TableRecordView::FieldIsNull(int32_t index) const {
  return table_->FieldAt(index + 1)->IsNullIn(image_);
}

}  // namespace pv
