// Table classes for the persistence layer's tests, each declared only
// through its exchange function.
#ifndef PV_TESTS_PERSIST_PERSIST_TEST_TABLES_H_
#define PV_TESTS_PERSIST_PERSIST_TEST_TABLES_H_

#include <cstdint>
#include <string>

#include "foundation/zr_string.h"
#include "foundation/zr_time.h"
#include "persist/zrp_table_base.h"
#include "persist/zrp_table_xchg.h"

// One field of every kind the layer declares.
class AllKindsTable : public ZrpTableBase {
 public:
  explicit AllKindsTable(ZrpBase* base) : ZrpTableBase(base, true, true, 10000) {}

  ZrString text;
  bool flag = false;
  int32_t number = 0;
  uint32_t count = 0;
  double amount = 0.0;
  double ratio = 0.0;
  ZrTime stamp;
  ZrTime shortStamp;
  uint32_t pcTime = 0;
  uint64_t id64 = 0;
  int32_t hexSigned = 0;
  uint32_t hexUnsigned = 0;

 protected:
  void ZrpTableXChg(ZrpTableInfo* info) override {
    ZrpTableName(info, "ALLKINDS");
    ZrpTableFld(info, text, "TEXT", 12);
    ZrpTableFld(info, flag, "FLAG");
    ZrpTableFld(info, number, "NUMBER", 'N', 11);
    ZrpTableFld(info, count, "COUNT", 'N', 10);
    ZrpTableFld(info, amount, "AMOUNT", 'N', 12, 3);
    ZrpTableFldEx(info, ratio, "RATIO", "%.2f", 8);
    ZrpTableFld(info, stamp, "STAMP", true);
    ZrpTableFld(info, shortStamp, "SSTAMP", false);
    ZrpTableTimeFld(info, pcTime, "PCTIME");
    ZrpTableHexFld(info, id64, "ID64");
    ZrpTableHexFld(info, hexSigned, "HEXS");
    ZrpTableHexFld(info, hexUnsigned, "HEXU");
    ZrpTableTag(info, "TEXT", "TEXT", nullptr, false, false);
  }
};

// A log keyed by a 14-digit time and a point name, like the plant logs.
// The table name and the widths are settable so that tests can declare a
// second layout of the same file.
class LogTable : public ZrpTableBase {
 public:
  explicit LogTable(ZrpBase* base, const char* name = "LOG", int32_t pointWidth = 10,
                    bool createAdjust = true, uint32_t lockTimeout = 10000)
      : ZrpTableBase(base, true, createAdjust, lockTimeout),
        name_(name),
        pointWidth_(pointWidth) {}

  uint32_t time = 0;
  ZrString point;
  int32_t value = 0;

 protected:
  void ZrpTableXChg(ZrpTableInfo* info) override {
    ZrpTableName(info, name_.c_str());
    ZrpTableTimeFld(info, time, "TIME");
    ZrpTableFld(info, point, "POINT", pointWidth_);
    ZrpTableFld(info, value, "VALUE", 'N', 8);
    ZrpTableTag(info, "TIME", "TIME", nullptr, false, false);
    ZrpTableTag(info, "POINT", "POINT", nullptr, false, false);
    ZrpTableTag(info, "BIG", "POINT", "VALUE>=100", false, true);
  }

 private:
  std::string name_;
  int32_t pointWidth_;
};

#endif  // PV_TESTS_PERSIST_PERSIST_TEST_TABLES_H_
