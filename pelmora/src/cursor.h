// The cursor object (TDSCursor, interface IDSCursor): a view through which a
// caller walks, reads and edits one dataset.
#pragma once

#include "com_object.h"
#include "pelmora/pelmora.h"

namespace pelmora {

class TDSCursor : public ComObject<IDSCursor, IID_IDSCursor> {
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
};

// A new cursor object with reference count 0; null when memory is short.
TDSCursor* NewCursor();

}  // namespace pelmora
