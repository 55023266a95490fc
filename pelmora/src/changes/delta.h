// Delta rows: turning a dataset's compacted change log into the rows of a
// delta dataset, and matching the rows of a delta back to that log (the
// reconcile operations need the same walk to know which change a row is).
#pragma once

#include <cstdint>
#include <vector>

#include "changes/change_log.h"
#include "pelmora/pelmora.h"

namespace pelmora {

class TDSBASE;

// One delta row as the log walk produces it: the record it stands for and
// its action: the record status of its row (superseded old version, modified
// new version, deleted, inserted) or LOG_DETAIL_CHANGED; `entry` is the
// compacted log entry it came from.
struct DeltaRow {
    uint32_t record = 0;
    uint8_t action = 0;
    LogEntry entry;
};

// Walks a compacted log the way a delta is made: a modification whose
// versions hold equal values gives nothing, any other two rows. Throws
// std::bad_alloc when memory runs out.
std::vector<DeltaRow> DeltaRowsOf(const TDSBASE& base, const std::vector<LogEntry>& compacted);

// The delta rows of a dataset's own log in the order its delta holds them.
// A nested detail's rows travel in a packet under their master's row, so
// they are grouped by the position of that row in the master's delta (the
// last row carrying the master's link value), keeping the log order within
// one master; rows without a master row come last. Throws std::bad_alloc
// when memory runs out.
std::vector<DeltaRow> OrderedDeltaRows(TDSBASE& ds);

// Copies a stored record of `from` into a buffer of `to`'s layout field by
// field: field k of `to` takes field k + shift of `from` (the hidden link
// fields map onto each other); BLOB contents are copied into `to`'s BLOB
// table. `blobRule` applies the delta rule for BLOBs of an old-version or
// deleted row (1), of a new or inserted row (2), or copies every BLOB (0).
EngineResult CopyRecordAcross(TDSBASE& from, uint32_t record, TDSBASE& to, uint8_t* buffer,
                              int blobRule, uint32_t shift = 0);

}  // namespace pelmora
