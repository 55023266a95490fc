// The cursor's filter operations: attaching an expression or a callback
// filter (the cursor then follows a filtered index that copies its order),
// detaching one, and searching forward for the next record that satisfies an
// expression. The cursor reaches them through CursorFilterHost, which gives
// the few pieces of cursor state these operations change.
#pragma once

#include <cstdint>
#include <memory>

#include "expr/filter_list.h"
#include "pelmora/pelmora.h"

namespace pelmora {

class DSIDX;
class TDSBASE;

class CursorFilterHost {
  public:
    virtual TDSBASE* FilterDataset() = 0;
    virtual DSIDX* FilterCurrentIndex() = 0;
    // Releases the current index and follows `index` instead; the caller has
    // already given `index` the reference the cursor holds.
    virtual void AdoptFilteredIndex(DSIDX* index) = 0;
    // The number of filters attached through the cursor rises or falls.
    virtual void ChangeFilterCount(int32_t delta) = 0;
    // The next operation recomputes bounds and position.
    virtual void MakeIndexStale() = 0;
    // The cursor's private search list used by FindNextMatch (owned by the
    // cursor, empty until the first search).
    virtual std::unique_ptr<DSCONSTR>& SearchFilters() = 0;
    // The cursor slots of the same names.
    virtual EngineResult CursorSaveBookmark(CursorBookmark* out) = 0;
    virtual EngineResult CursorGoToBookmark(const CursorBookmark* bookmark) = 0;
    virtual EngineResult CursorMoveBy(int32_t offset) = 0;
    virtual EngineResult CursorRecordNumber(uint32_t* out) = 0;

  protected:
    ~CursorFilterHost() = default;
};

// Compiles the expression and attaches it as a filter; *handle (when given)
// receives the filter's handle. Compile errors are returned and nothing
// changes.
EngineResult AttachExpressionFilter(CursorFilterHost& cursor, const void* bytes, uint32_t length,
                                    uint32_t* handle);

// Attaches a callback filter: callback(client data, stored record) accepts
// the record by returning non-zero. 9986 without a callback.
EngineResult AttachCallbackFilter(CursorFilterHost& cursor, void* clientData,
                                  FilterCallback callback, uint32_t* handle);

// Detaches a filter. Handle 0, or a cursor without filtered index, does
// nothing; an unknown handle gives 8712 and changes nothing.
EngineResult DetachFilter(CursorFilterHost& cursor, uint32_t handle);

// Moves forward to the next record that satisfies the expression (null
// bytes: the previous search expression). 8710 at the end, where the cursor
// then stands after the last record.
EngineResult FindNextMatch(CursorFilterHost& cursor, const void* bytes, uint32_t length);

}  // namespace pelmora
