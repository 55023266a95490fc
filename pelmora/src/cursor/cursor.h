// The cursor object (TDSCursor, interface IDSCursor): a view through which a
// caller walks, reads and edits one dataset. The dataset owns the records and
// indexes; a cursor owns only which index orders it, the key range, where it
// stands and scratch buffers. Positions are 1-based places in the current
// index; every operation first brings the cursor up to date with the index
// (and with its master cursor when it is a linked detail).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "com/com_object.h"
#include "cursor/cursor_aggregates.h"
#include "cursor/cursor_filters.h"
#include "pelmora/pelmora.h"

namespace pelmora {

class DSIDX;
class TDSBASE;
struct DetailLink;

class TDSCursor : public ComObject<IDSCursor, IID_IDSCursor>,
                  private CursorFilterHost,
                  private AggregateHost {
  public:
    TDSCursor();
    ~TDSCursor() override;

    EngineResult AttachDataset(IDSBase* dataset) override;
    EngineResult CopyCursor(IDSCursor* source) override;
    EngineResult ReadCursorProps(DatasetProps* out) override;
    EngineResult ReadIndexDescs(int32_t currentOnly, IndexDesc* out) override;
    EngineResult ReadFieldDescs(FieldDesc* out) override;
    EngineResult ReadCurrentRecord(void* record) override;
    EngineResult NoOperation(void* ignored1, void* ignored2) override;
    EngineResult SaveBookmark(CursorBookmark* out) override;
    EngineResult ReadOrdinal(uint32_t* out) override;
    EngineResult ReadRecordStatus(uint8_t* out) override;
    EngineResult CountRecords(uint32_t* out) override;
    EngineResult GoBeforeFirst() override;
    EngineResult GoAfterLast() override;
    EngineResult MoveBy(int32_t offset) override;
    EngineResult GoToOrdinal(uint32_t ordinal) override;
    EngineResult GoToBookmark(const CursorBookmark* bookmark) override;
    EngineResult SeekKey(uint32_t mode, uint32_t fieldCount, uint32_t partialLength,
                         const void* key) override;
    EngineResult CompareBookmarkOrder(const CursorBookmark* a, const CursorBookmark* b,
                                      int32_t* out) override;
    EngineResult BuildKeyFromRecord(const void* record, void* key) override;
    EngineResult FindRecordByKey(uint32_t fieldCount, uint32_t partialLength, const void* key,
                                 void* record) override;
    EngineResult ReadFieldValue(const void* record, uint32_t field, void* value,
                                uint32_t* blank) override;
    EngineResult WriteFieldValue(void* record, uint32_t field, const void* value) override;
    EngineResult ReadBlobLength(const void* record, uint32_t field, uint32_t* length) override;
    EngineResult ReadBlobData(const void* record, uint32_t field, uint32_t offset, void* buffer,
                              uint32_t* length) override;
    EngineResult WriteBlobData(void* record, uint32_t field, uint32_t offset, const void* buffer,
                               uint32_t length) override;
    EngineResult PrepareRecord(void* record) override;
    EngineResult RemoveCurrentRecord() override;
    EngineResult UpdateCurrentRecord(const void* record) override;
    EngineResult AddRecord(const void* record) override;
    EngineResult WithdrawLastChange(int32_t follow) override;
    EngineResult AttachExpressionFilter(const void* bytes, uint32_t length,
                                        uint32_t* handle) override;
    EngineResult DetachFilter(uint32_t handle) override;
    EngineResult LimitToRange(int32_t fieldCount, const void* startKey, int32_t startInclusive,
                              const void* endKey, int32_t endInclusive) override;
    EngineResult ClearRange() override;
    EngineResult SortByFields(uint32_t count, const uint32_t* fields, const uint32_t* descending,
                              const uint32_t* caseInsensitive) override;
    EngineResult SelectIndex(const char* name) override;
    EngineResult SetChangeNotifier(void* clientData, ChangeCallback callback) override;
    EngineResult AttachCallbackFilter(void* clientData, FilterCallback callback,
                                      uint32_t* handle) override;
    EngineResult CheckFieldConstraint(uint32_t field, const void* value) override;
    EngineResult ReadCursorProperty(uint32_t kind, void* out) override;
    EngineResult RestoreCurrentRecord() override;
    EngineResult FindNextMatch(const void* bytes, uint32_t length) override;
    EngineResult AttachAggregate(uint32_t level, uint32_t length, const void* bytes,
                                 uint32_t* handle) override;
    EngineResult DetachAggregate(uint32_t handle) override;
    EngineResult ReadAggregateValue(uint32_t handle, void* value, uint32_t* blank) override;
    EngineResult ReadAggregateDesc(uint32_t handle, FieldDesc* out) override;
    EngineResult SkipToNextGroup(uint32_t level) override;
    EngineResult ReadGroupPlacement(uint32_t level, uint32_t* out) override;
    EngineResult LinkDetailCursor(uint32_t count, const uint32_t* masterFields,
                                  const uint32_t* detailFields, IDSCursor* detail) override;
    EngineResult SyncWithMaster() override;
    EngineResult WriteCursorProperty(uint32_t kind, uint32_t value) override;
    EngineResult ReadRecordNumber(uint32_t* out) override;
    EngineResult BuildRowRequest(int32_t keyFieldsOnly, int32_t requestBlobs,
                                 int32_t requestDetails, int32_t withMetadata,
                                 SAFEARRAY** out) override;
    EngineResult MergeRowResponse(SAFEARRAY* packet) override;

    // Called by the dataset after every successful change: runs the
    // registered change callback.
    void FireNotifier();

    TDSBASE* dataset() const { return dataset_; }
    DSIDX* current_index() const { return index_; }
    uint32_t change_counter() const { return changeCounter_; }

  private:
    // ---- what the filter operations reach (cursor.cpp) -------------------
    TDSBASE* FilterDataset() override { return dataset_; }
    DSIDX* FilterCurrentIndex() override { return index_; }
    void AdoptFilteredIndex(DSIDX* index) override;
    void ChangeFilterCount(int32_t delta) override;
    void MakeIndexStale() override { MakeStale(); }
    std::unique_ptr<DSCONSTR>& SearchFilters() override { return searchFilters_; }
    EngineResult CursorSaveBookmark(CursorBookmark* out) override { return SaveBookmark(out); }
    EngineResult CursorGoToBookmark(const CursorBookmark* bookmark) override {
        return GoToBookmark(bookmark);
    }
    EngineResult CursorMoveBy(int32_t offset) override { return MoveBy(offset); }
    EngineResult CursorRecordNumber(uint32_t* out) override { return ReadRecordNumber(out); }
    // ---- what the aggregate operations reach (cursor.cpp) ----------------
    TDSBASE* AggregateDataset() override { return dataset_; }
    DSIDX* AggregateCurrentIndex() override { return index_; }
    void AggregateSync() override { Sync(); }
    uint32_t AggregatePosition() override { return position_; }
    uint32_t AggregateStatus() override { return status_; }
    uint32_t AggregateRangeFirst() override { return rangeFirst_; }
    uint32_t AggregateRangeLast() override { return rangeLast_; }
    void AggregateStandOn(uint32_t position) override;
    EngineResult CursorGoAfterLast() override { return GoAfterLast(); }
    AggregateHandles& AggregateHandleTable() override { return aggregateHandles_; }

    // Attaches again, in list order, the filters of a source cursor's
    // filtered index (CopyCursor).
    EngineResult CopyFiltersFrom(const TDSCursor& source);

    // ---- synchronisation and bookkeeping (cursor.cpp) -------------------
    // Brings the cursor up to date with its master and its index.
    void Sync();
    // True when a live stored record is missing from the current index only
    // because the cursor's filters hide it.
    bool HiddenByFilter(uint32_t record) const;
    // The crack position after the last entry that sorts before a record.
    uint32_t CrackBefore(uint32_t record) const;
    // Records the current record number and counts changes of position,
    // status and record.
    void Bookkeep();
    void MoveBeforeFirst();
    void MoveAfterLast();
    // Makes a record the current one and notes the store's epoch, so that a
    // later sync can tell when the slot was freed under the cursor.
    void TakeRecord(uint32_t record);
    // A current record whose slot was freed since it was taken: follows a
    // withdrawn version to the earlier one, else leaves the cursor on the
    // crack with 8708. True when the record went away.
    bool LoseFreedRecord();
    // Marks the stamp stale so that the next sync recomputes the bounds.
    void MakeStale();
    // After the cursor's order changed: back on the record it was on (by
    // the bookmark taken before), else before the first record.
    EngineResult SettleInNewOrder(bool wasOnRecord, const CursorBookmark& mark);
    // Drops one reference on an index; a private index nobody else follows
    // leaves the registry and is destroyed.
    void ReleaseIndex(DSIDX* index);

    // ---- records (cursor_records.cpp) ------------------------------------
    // Copies a stored record into a buffer of the cursor's layout.
    void ReadStored(uint32_t record, uint8_t* buffer) const;
    bool ValidField(uint32_t field) const { return field >= 1 && field <= fieldCount_; }
    // Converts a buffer of the cursor's layout into the dataset's current
    // layout (fields added to the dataset since the attach become blank).
    void ToDatasetLayout(const uint8_t* in, uint8_t* out) const;
    // Writes a link value into the hidden link field of a dataset-layout buffer.
    void WriteLinkValue(uint8_t* buffer, uint32_t value) const;
    // A BLOB field's reference and indicator from a buffer or the stored record.
    EngineResult ReadBlobRef(const void* record, uint32_t field, uint32_t* ref, uint32_t* blank);

    // ---- keys and ranges (cursor_keys.cpp) -------------------------------
    // Recomputes range first and range last from the bound keys.
    void ComputeBounds();
    // Installs bound keys of `count` raw key fields and goes before the first
    // record of the range.
    EngineResult ApplyRange(uint32_t count, const uint8_t* start, int32_t startInclusive,
                            const uint8_t* end, int32_t endInclusive);
    void DropRange();
    // The caller's key field count adjusted for the hidden link field of a
    // nested detail.
    uint32_t AdjustNestedCount(uint32_t count, uint32_t partial) const;
    bool NestedDetail() const;

    // ---- links (cursor_links.cpp) ----------------------------------------
    // The link entry (in the master dataset) this detail cursor follows.
    DetailLink* MyLink() const;
    uint32_t MyLinkNumber() const;
    // Writes the master's current link values into a buffer of this
    // cursor's layout; sets the master link value. Needs the master on a record.
    EngineResult PutMasterLinkValues(uint8_t* buffer);
    // Re-applies the master's key range after the order changed.
    void ForgetMasterRange() { masterSynced_ = false; }
    // Logs a detail change in the master dataset after an edit.
    void MarkMaster();
    bool IsNestedLink() const;

    // ---- row requests (row_request.cpp) ----------------------------------
    // One level of a row request: a dataset with its current record, the
    // nested field towards the next level and its key fields.
    struct RequestLevel {
        TDSBASE* dataset = nullptr;
        uint32_t record = 0;
        uint32_t nestedField = 0;
        std::vector<uint32_t> keyFields;
    };
    // The cursor's dataset and its masters, top first; each must stand on a
    // record (its status otherwise).
    EngineResult RequestChain(std::vector<RequestLevel>& out);

    // ---- edits (cursor_edits.cpp) ----------------------------------------
    EngineResult CheckMasterDelete(uint32_t record) const;
    EngineResult CheckUpdateLinks(uint32_t record, const uint8_t* newValues, bool* leavesMaster,
                                  std::vector<size_t>* cascades) const;
    EngineResult CheckDetailHasMaster(const uint8_t* values) const;
    // Moves the details of one link from the old link values to the new ones;
    // on a failure the details already moved go back and nothing changed.
    EngineResult CascadeLinkChange(size_t link, const std::vector<uint8_t>& oldValues,
                                   const uint8_t* newValues);
    // The same for several links, all or none.
    EngineResult CascadeLinkChanges(const std::vector<size_t>& links,
                                    const std::vector<uint8_t>& oldValues,
                                    const uint8_t* newValues);
    // The master-detail checks before a record's change is withdrawn (undo or
    // revert): `restored` is the version that comes back, 0 when the record
    // goes away. Fills the record's values and the restored ones, and the
    // links whose details have to move with them.
    EngineResult CheckWithdrawal(uint32_t record, uint32_t restored, std::vector<uint8_t>& current,
                                 std::vector<uint8_t>& restoredValues,
                                 std::vector<size_t>* cascades) const;

    // Position model.
    uint32_t position_ = 0;
    uint32_t status_ = DSERR_BOF;
    uint32_t rangeFirst_ = 1;
    uint32_t rangeLast_ = 0;
    uint32_t indexStamp_ = 0;
    uint32_t lastPosition_ = 0;
    uint32_t lastStatus_ = DSERR_BOF;
    uint32_t currentRecord_ = 0;
    uint32_t recordEpoch_ = 0;

    // Key range.
    bool rangeActive_ = false;
    bool equalBounds_ = false;
    bool hasStart_ = false;
    bool hasEnd_ = false;
    int32_t startInclusive_ = 1;
    uint32_t startFieldCount_ = 0;
    uint32_t startPartial_ = 0;
    int32_t endInclusive_ = 1;
    std::vector<uint8_t> startKey_;
    std::vector<uint8_t> endKey_;
    uint32_t endFieldCount_ = 0;
    uint32_t endPartial_ = 0;

    // Layout and scratch space.
    std::vector<uint32_t> fieldMap_;
    std::vector<uint8_t> scratch_;
    uint32_t dataLength_ = 0;

    DSIDX* index_ = nullptr;
    void* notifierData_ = nullptr;
    ChangeCallback notifier_ = nullptr;
    TDSBASE* dataset_ = nullptr;  // one reference held
    uint32_t bookmarkSize_ = sizeof(CursorBookmark);
    uint32_t fieldCount_ = 0;
    std::vector<FieldDesc> fields_;
    uint32_t recordSize_ = 0;
    uint32_t filterCount_ = 0;
    uint32_t changeCounter_ = 0;
    // Private search list of FindNextMatch; created on first search.
    std::unique_ptr<DSCONSTR> searchFilters_;
    // Aggregate handles this cursor handed out.
    AggregateHandles aggregateHandles_;

    // Master-detail link (this cursor as the detail).
    uint32_t masterSeen_ = 0;
    bool masterSynced_ = false;
    // The master stands on no record: the detail shows nothing.
    bool masterAbsent_ = false;
    TDSCursor* master_ = nullptr;  // one reference held while linked
    int32_t masterLink_ = 0;
};

// A new cursor object with reference count 0; null when memory is short.
TDSCursor* NewCursor();

// ---- master-detail scans (cursor_links.cpp) --------------------------------
// True when the values of aFields in a buffer of a's layout equal those of
// bFields in stored record bRecord of b (blank equals blank).
bool LinkValuesMatch(const TDSBASE& a, const uint8_t* aBuffer, const std::vector<uint32_t>& aFields,
                     const TDSBASE& b, uint32_t bRecord, const std::vector<uint32_t>& bFields);
// True when a master record has live detail records over a link (details
// announced but not delivered count as present).
bool HasDetails(TDSBASE& master, uint32_t masterRecord, const DetailLink& link);
// The cursor links of a master dataset plus one entry per nested detail.
std::vector<DetailLink> AllDetailLinks(TDSBASE& master);

}  // namespace pelmora
