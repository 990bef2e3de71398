// The table engine's interface for the persistence layer, in one include:
// engine context and settings, error codes and texts, tables, fields, field
// and tag lists, and the seam to index files.
#ifndef PV_TABLEENGINE_ENGINE_API_H_
#define PV_TABLEENGINE_ENGINE_API_H_

#include "tableengine/engine_context.h"
#include "tableengine/engine_errors.h"
#include "tableengine/field.h"
#include "tableengine/field_list.h"
#include "tableengine/index_hooks.h"
#include "tableengine/table.h"

#endif  // PV_TABLEENGINE_ENGINE_API_H_
