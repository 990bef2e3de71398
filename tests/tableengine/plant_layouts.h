// The three plant-log layouts with their tag sets, as the persistence layer
// declares them: "__FREE" first, every other tag's filter wrapped with
// ".NOT. DELETED()". Used by the index tests, the worker process and the
// index benchmark.
#ifndef PV_TESTS_TABLEENGINE_PLANT_LAYOUTS_H_
#define PV_TESTS_TABLEENGINE_PLANT_LAYOUTS_H_

#include <cstdio>
#include <string>

#include "tableengine/field_list.h"

namespace pvtest {

inline void AddPlantTag(pv::TagList* tags, const char* name, const char* expr, const char* filter,
                        bool unique, bool descending) {
  std::string f = filter[0] ? std::string("(") + filter + ").AND.(.NOT. DELETED())" : ".NOT. DELETED()";
  tags->Add(name, expr, f, unique ? pv::UniqueMode::kUniqueSilent : pv::UniqueMode::kKeepDuplicates,
            descending);
}

inline void PlantFreeTag(pv::TagList* tags) {
  tags->Add("__FREE", "RECNO()", "DELETED()", pv::UniqueMode::kKeepDuplicates, false);
}

inline void DcLogLayout(pv::FieldList* f, pv::TagList* t) {
  f->Add("UT", 'C', 25, 0);
  f->Add("LT", 'C', 25, 0);
  f->Add("LOCATION", 'C', 36, 0);
  f->Add("TEXT", 'C', 254, 0);
  f->Add("GUID", 'C', 37, 0);
  f->Add("USER", 'C', 32, 0);
  PlantFreeTag(t);
  AddPlantTag(t, "UTC", "UT", "", false, false);
  AddPlantTag(t, "UT", "UT", "", false, true);
  AddPlantTag(t, "LT", "LT", "", false, true);
  AddPlantTag(t, "LOCATION", "LOCATION+UT", "", false, false);
  AddPlantTag(t, "GUID", "UT+GUID", "", true, false);
}

inline void ArchiveLayout(pv::FieldList* f, pv::TagList* t) {
  f->Add("POINTID", 'C', 22, 0);
  f->Add("TIME", 'C', 14, 0);
  f->Add("VAL", 'N', 12, 4);
  f->Add("STS", 'N', 11, 0);
  PlantFreeTag(t);
  AddPlantTag(t, "PTIDTIME", "POINTID+TIME", "", false, false);
  AddPlantTag(t, "TIMEPTID", "TIME+POINTID", "", false, false);
  AddPlantTag(t, "TIME", "TIME", "", false, false);
}

inline void EventLogLayout(pv::FieldList* f, pv::TagList* t) {
  for (const char* n : {"TYPE", "ALTYPE", "OBJNUM", "OLDSTATE", "NEWSTATE"}) f->Add(n, 'N', 11, 0);
  f->Add("OLDSTSTXT", 'C', 32, 0);
  f->Add("NEWSTSTXT", 'C', 32, 0);
  for (const char* n : {"OLDLEVEL", "NEWLEVEL", "ALOLD", "ALNEW", "UTC", "LT", "TIMESTAMP", "TIMELEVEL"}) {
    f->Add(n, 'N', 11, 0);
  }
  f->Add("VALOLD", 'N', 19, 6);
  f->Add("VALNEW", 'N', 19, 6);
  f->Add("USERID", 'N', 11, 0);
  f->Add("USERNAME", 'C', 32, 0);
  f->Add("PRINTED", 'C', 1, 0);
  f->Add("DOPRINT", 'C', 1, 0);
  PlantFreeTag(t);
  AddPlantTag(t, "TIME", "STR(UTC,10,0)+STR(TIMESTAMP,5,0)+STR(OBJNUM,5,0)+STR(TYPE,3,0)+STR(NEWSTATE,5,0)",
              "", false, false);
  AddPlantTag(t, "TIMELEVEL", "STR(TIMELEVEL,11,0)", "", false, false);
  AddPlantTag(t, "UTC", "UTC", "", false, false);
  AddPlantTag(t, "PRINTED", "STR(TIMELEVEL,11,0)+STR(UTC,11,0)+STR(TIMESTAMP,11,0)+PRINTED",
              "PRINTED='T'", false, false);
  AddPlantTag(t, "NOTPRINTED", "STR(TIMELEVEL,11,0)+STR(UTC,11,0)+STR(TIMESTAMP,11,0)+PRINTED",
              "PRINTED='F'.AND.(OLDSTATE<128.OR.NEWSTATE>=128)", false, false);
  AddPlantTag(t, "DOPRINT", "STR(TIMELEVEL,11,0)+STR(UTC,11,0)+STR(TIMESTAMP,11,0)+DOPRINT",
              "DOPRINT='T'.AND.(OLDSTATE<128.OR.NEWSTATE>=128)", false, false);
}

// Sortable 25-character time text of second `s` after 2024-01-01 (timelevel 0).
inline std::string PlantTimeText(uint32_t s) {
  char buf[40];
  uint32_t day = s / 86400, rest = s % 86400;
  std::snprintf(buf, sizeof buf, "00000000202401%02u%02u%02u%02u000", 1 + day % 28, rest / 3600,
                rest / 60 % 60, rest % 60);
  std::string t(buf);
  t.resize(25, '0');
  return t;
}

}  // namespace pvtest

#endif  // PV_TESTS_TABLEENGINE_PLANT_LAYOUTS_H_
