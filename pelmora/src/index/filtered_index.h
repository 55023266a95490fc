// The filtered index (DSIDXFILT): an index that copies the order of another
// and holds only the records that pass every entry of its filter list. A
// cursor creates one when its first filter is attached; it is private to
// that cursor and rebuilt in place when filters come and go or the order
// changes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "expr/filter_list.h"
#include "index/index.h"

namespace pelmora {

class DSIDXFILT : public DSIDX {
  public:
    explicit DSIDXFILT(TDSBASE* dataset);
    ~DSIDXFILT() override;

    // Builds like a plain index from the store or a source index, keeping
    // only passing records. When the dataset's record size changed since the
    // last build, the scratch record is remade and the filters recompiled.
    EngineResult Rebuild(const IndexDesc* desc, const DSIDX* source) override;
    // Added in key order only when the record passes.
    EngineResult RecordAdded(uint32_t record) override;
    // Removed when it is an entry (a record that never passed is not one).
    EngineResult RecordRemoved(uint32_t record) override;
    // Replaced, added or removed according to whether the old version is an
    // entry and the new one passes.
    EngineResult RecordReplaced(uint32_t newRecord, uint32_t oldRecord) override;

    // True when the list is absent or empty, or the stored record passes it.
    bool Passes(uint32_t record);
    bool Admits(uint32_t record) override { return Passes(record); }

    // The filter list, created on first use (null when memory is short).
    DSCONSTR* EnsureFilters();
    DSCONSTR* filters() const { return filters_.get(); }
    // Forgets the list (after its last entry was removed).
    void DropFilters() { filters_.reset(); }

  private:
    EngineResult PrepareScratch();
    // Copies the fields the compiled filters read from the store into the
    // scratch record; false when the whole record is needed instead.
    bool CopyFilterFields(uint32_t record);

    std::unique_ptr<DSCONSTR> filters_;
    std::vector<uint8_t> scratch_;
    uint32_t recordSize_ = 0;
};

// A new filtered index of a dataset (private, not yet built or registered);
// null when memory is short.
DSIDXFILT* NewFilteredIndex(TDSBASE* dataset);

}  // namespace pelmora
