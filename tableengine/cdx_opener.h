// The compound index behind the engine's index seam (index_hooks.h): opens
// and creates .cdx files for a Table and presents their tags as Tags.
//
// Install once per engine context:
//   context.set_index_opener(pv::CdxIndexOpener());
#ifndef PV_TABLEENGINE_CDX_OPENER_H_
#define PV_TABLEENGINE_CDX_OPENER_H_

#include <vector>

#include "tableengine/cdx_check.h"
#include "tableengine/cdx_index.h"
#include "tableengine/index_hooks.h"

namespace pv {

// The process-wide opener of compound index files. Never deleted.
IndexOpener* CdxIndexOpener();

// The CdxIndex behind an IndexFile that CdxIndexOpener() made (null for any
// other IndexFile): for the index check and the tools.
CdxIndex* CdxIndexOf(IndexFile* index);

// The index check (cdx_check.h) of every compound index the table has open,
// against the records in its data file (with_records false: the trees only,
// which still counts the keys).
Status CdxCheckTable(Table* table, std::vector<CdxTagReport>* reports, bool with_records = true);

}  // namespace pv

#endif  // PV_TABLEENGINE_CDX_OPENER_H_
