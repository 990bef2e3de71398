// FieldList and TagList: the descriptions from which tables and their
// compound indexes are created.
#ifndef PV_TABLEENGINE_FIELD_LIST_H_
#define PV_TABLEENGINE_FIELD_LIST_H_

#include <cstdint>
#include <string>
#include <vector>

namespace pv {

class Table;

struct FieldDef {
  std::string name;   // at most 10 characters; stored upper case
  char type = 'C';    // C N F L D M (and Visual FoxPro's I B Y T G when reading)
  int32_t width = 0;  // ignored for L (1), D (8), M (10)
  int32_t decimals = 0;
  int32_t nullable = 0;  // always 0 for the tables this engine creates
};

class FieldList {
 public:
  FieldList() = default;
  // The fields of an open table, in order.
  static FieldList FromTable(const Table& table);

  void Add(const FieldDef& field) { fields_.push_back(field); }
  void Add(const std::string& name, char type, int32_t width, int32_t decimals) {
    fields_.push_back(FieldDef{name, type, width, decimals, 0});
  }
  // Removes the field of that name (compared without case); false when absent.
  bool Delete(const std::string& name);
  void Clear() { fields_.clear(); }

  const std::vector<FieldDef>& fields() const { return fields_; }
  size_t size() const { return fields_.size(); }

 private:
  std::vector<FieldDef> fields_;
};

// What a tag does with a second record whose key is already in the tag.
enum class UniqueMode : int32_t {
  kKeepDuplicates = 0,   // every record gets its entry
  kUniqueSilent = 1,     // the duplicate is left out of the tag silently
  kUniqueError = 2,      // the duplicate is an error (kErrUnique)
};

struct TagDef {
  std::string name;        // at most 10 characters
  std::string expression;  // key expression
  std::string filter;      // FOR expression; empty: every record
  UniqueMode unique = UniqueMode::kKeepDuplicates;
  bool descending = false;
};

class TagList {
 public:
  void Add(const TagDef& tag) { tags_.push_back(tag); }
  void Add(const std::string& name, const std::string& expression, const std::string& filter,
           UniqueMode unique, bool descending) {
    tags_.push_back(TagDef{name, expression, filter, unique, descending});
  }
  void Clear() { tags_.clear(); }
  const std::vector<TagDef>& tags() const { return tags_; }
  size_t size() const { return tags_.size(); }

 private:
  std::vector<TagDef> tags_;
};

}  // namespace pv

#endif  // PV_TABLEENGINE_FIELD_LIST_H_
