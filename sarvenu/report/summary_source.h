// Reading the works a summary covers out of open survey tables: the stored
// installation's tables, or the one-record tables of a submission file. Only
// the fields the summary needs are kept, so an office's years of works read
// in one pass over each table.
#pragma once

#include <array>
#include <vector>

#include "dataset/client_table.h"
#include "records/cds_module.h"
#include "report/summary.h"

namespace sarvenu {

// The main table and the five sheets, in TTableId order; null for a table the
// source lacks (its figures then count as absent).
inline constexpr int kSummaryTableCount = 6;
using TSummaryTables = std::array<TClientTable*, kSummaryTableCount>;

// Every work of the main table, in its stored order, with its sheets' values
// (a work's first record on each sheet). Reads every live record, whatever
// order, filter or master range a table has. Raises EDatabaseError.
std::vector<TSummaryWork> ReadSummaryWorks(const TSummaryTables& tables, bool orderingMode);
// The same over the data store's open survey tables.
std::vector<TSummaryWork> ReadSummaryWorks(TdmCdsModule& dm, bool orderingMode);

}  // namespace sarvenu
