// Reconciling a dataset's change log with the outcome of applying its delta
// elsewhere: the error rows name failed delta rows; a callback chooses for
// each what to do (skip, abort, merge, correct, cancel, refresh) and every
// change that did not fail is settled. One RECONCB per nesting level holds
// the datasets, the delta rows matched to the log and the row buffers.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "changes/delta.h"
#include "pelmora/pelmora.h"

namespace pelmora {

class TDSBASE;

// Reconcile actions a callback returns.
enum : uint32_t {
    RECONCILE_SKIP = 1,
    RECONCILE_ABORT = 2,
    RECONCILE_MERGE = 3,
    RECONCILE_CORRECT = 4,
    RECONCILE_CANCEL = 5,
    RECONCILE_REFRESH = 6,
};

// The six leading fields of an error packet, in their order; the data
// fields follow them.
enum ErrorColumn : uint32_t {
    ERRCOL_RECORDNO = 0,
    ERRCOL_RESPONSE = 1,
    ERRCOL_MESSAGE = 2,
    ERRCOL_CONTEXT = 3,
    ERRCOL_CATEGORY = 4,
    ERRCOL_CODE = 5,
    ERRCOL_COUNT = 6,
};
extern const char* const kErrorFieldNames[ERRCOL_COUNT];
// The ERROR_RESPONSE that stops a reconcile after its row.
constexpr uint32_t kErrorResponseStop = 2;

// An error row's unsigned number or text in a field (0 or null when the
// field is missing or blank).
uint32_t ReadErrorUint(TDSBASE& errors, uint32_t record, uint32_t field);
const char* ReadErrorText(TDSBASE& errors, uint32_t record, uint32_t field);

struct RECONCB {
    TDSBASE* base = nullptr;    // not owned
    TDSBASE* delta = nullptr;   // not owned (lives in the loaded packet's tree)
    TDSBASE* errors = nullptr;  // not owned
    TDSBASE* view = nullptr;    // not owned; nested reconcile only
    uint32_t depth = 0;
    std::vector<uint32_t> path;  // nested field numbers from the top level
    std::vector<DeltaRow> rows;  // delta row k + 1 stands for rows[k]
    std::vector<bool> handled;
    std::vector<std::unique_ptr<RECONCB>> children;
    std::vector<uint32_t> childFields;  // nested field of each child
};

// Loads a packet into a new dataset (one reference held by the caller).
EngineResult LoadIntoNew(SAFEARRAY* packet, TDSBASE** out);

// Matches a level's delta rows to its base's compacted log: 16385 when the
// log is empty and `emptyIsError`, 16389 when the counts differ.
EngineResult MatchDeltaRows(RECONCB& level, bool emptyIsError);

// Runs one action for a delta row (0-based index k) of a level: `current`
// and `old` are base-layout buffers, `values` the error values or null.
EngineResult RunFlatAction(RECONCB& level, size_t k, uint32_t action, uint32_t errorCode,
                           uint8_t* current, const uint8_t* values);

// Settles every delta row that is not handled (the final merge); rows of
// status 64 are passed over when `keepDetailChanges`.
EngineResult FinalMerge(RECONCB& level, bool keepDetailChanges);

// The latest version of the chain that starts at a record (the record
// itself when no modification follows it).
uint32_t LatestVersion(TDSBASE& base, uint32_t first);

// A callback that keeps choosing failing actions is asked at most this often
// for one error row; the row then stays in the log as if skipped.
constexpr uint32_t kReconcileAttempts = 1000;

// Asks what to do with one error row and applies the answer, asking again
// with the failure while the chosen action fails. `ask(previous)` calls the
// callback (RECONCILE_SKIP without one); after an abort every later row is
// skipped unasked. An empty log ends the asking. True when an action succeeded.
template <typename Dataset, typename Ask, typename Apply>
bool AskAndApply(Dataset& base, bool& aborted, Ask ask, Apply apply) {
    EngineResult previous = DS_OK;
    for (uint32_t attempt = 0; attempt < kReconcileAttempts; ++attempt) {
        const uint32_t action = aborted ? static_cast<uint32_t>(RECONCILE_SKIP) : ask(previous);
        if (base.log() == nullptr || base.log()->empty()) return false;
        if (action == RECONCILE_ABORT) aborted = true;
        EngineResult result = previous;
        if (action >= RECONCILE_SKIP && action <= RECONCILE_REFRESH) result = apply(action);
        if (result == DS_OK) return true;
        previous = result;
    }
    return false;
}

}  // namespace pelmora
