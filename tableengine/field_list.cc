#include "tableengine/field_list.h"

#include "foundation/platform/path_resolve.h"
#include "tableengine/table.h"

namespace pv {

FieldList FieldList::FromTable(const Table& table) {
  FieldList list;
  for (const DbfFieldDesc& f : table.Header().fields) {
    if (f.type == '0') continue;  // the hidden null-flag field is not a field of the table
    list.Add(FieldDef{f.name, f.type, f.width, f.decimals, (f.flags & 0x02) != 0 ? 1 : 0});
  }
  return list;
}

bool FieldList::Delete(const std::string& name) {
  for (auto it = fields_.begin(); it != fields_.end(); ++it) {
    if (EqualNoCase(it->name, name)) {
      fields_.erase(it);
      return true;
    }
  }
  return false;
}

}  // namespace pv
