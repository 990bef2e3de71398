#include "app/dbf2zip.h"

#include "app/zip_data.h"
#include "foundation/output_handler.h"
#include "persist/zrp_base.h"

Dbf2Zip::Dbf2Zip() : SrcBase(nullptr), DestBase(nullptr), InterimOwner(nullptr) {}

Dbf2Zip::~Dbf2Zip() { CloseBases(); }

int32_t Dbf2Zip::ProcessDbf() { return 0; }

void Dbf2Zip::OpenBases(int32_t index) {
  // Open on a directory only configures the engine context, so the results
  // need no test: a missing directory shows when the tables are opened.
  index_ = index;
  SrcBase = new ZrpBase(FileSystem);
  SrcBase->Open(ZrString("SrcArchive%d", index), DbfPath, false, false);
  DestBase = new ZrpBase(FileSystem);
  DestBase->Open(ZrString("DestArchive%d", index), DbfPath, false, false);
  // The interim table is private (created by the copy, zipped, removed): no
  // other process may open it, its locks stay in memory, and its index is
  // built in one pass when the copy closes it.
  pv::EngineSettings& interim = DestBase->GetEngine().settings();
  interim.exclusive = true;
  interim.defer_index = true;
}

void Dbf2Zip::CloseBases() {
  for (ZrpBase** base : {&SrcBase, &DestBase}) {
    if (*base == nullptr) continue;
    (*base)->Close();
    delete *base;
    *base = nullptr;
  }
}

void Dbf2Zip::ReopenBases() {
  CloseBases();
  OpenBases(index_);
}

void Dbf2Zip::WriteZipInfo() {
  const ZipData* zd = GetZipData();
  GetLog()->PutInfo(ZrString("Starting 2 write data from ") + DbfPath + DbfKind + ".dbf 2 " +
                    zd->InterimName + ".dbf (" + zd->ArchiveDate + ".zip)" +
                    "\n   Timespan from " + zd->IntervalEnd.AsSortableString(true) +
                    " back to " + zd->IntervalStart.AsSortableString(true));
}
