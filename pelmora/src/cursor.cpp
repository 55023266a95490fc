#include "cursor.h"

#include <new>

namespace pelmora {

TDSCursor::TDSCursor() = default;
TDSCursor::~TDSCursor() = default;

TDSCursor* NewCursor() {
    return new (std::nothrow) TDSCursor;
}

// Cursor operations arrive with the dataset store; until then they answer
// "Operation not applicable.".
EngineResult TDSCursor::AttachDataset(IDSBase*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::CopyCursor(IDSCursor*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::ReadCursorProps(DatasetProps*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::ReadIndexDescs(int32_t, IndexDesc*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::ReadFieldDescs(FieldDesc*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::ReadCurrentRecord(void*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::NoOperation(void*, void*) {
    return DS_OK;
}
EngineResult TDSCursor::SaveBookmark(CursorBookmark*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::ReadOrdinal(uint32_t*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::ReadRecordStatus(uint8_t*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::CountRecords(uint32_t*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::GoBeforeFirst() {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::GoAfterLast() {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::MoveBy(int32_t) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::GoToOrdinal(uint32_t) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::GoToBookmark(const CursorBookmark*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::SeekKey(uint32_t, uint32_t, uint32_t, const void*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::CompareBookmarkOrder(const CursorBookmark*, const CursorBookmark*,
                                             int32_t*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::BuildKeyFromRecord(const void*, void*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::FindRecordByKey(uint32_t, uint32_t, const void*, void*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::ReadFieldValue(const void*, uint32_t, void*, uint32_t*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::WriteFieldValue(void*, uint32_t, const void*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::ReadBlobLength(const void*, uint32_t, uint32_t*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::ReadBlobData(const void*, uint32_t, uint32_t, void*, uint32_t*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::WriteBlobData(void*, uint32_t, uint32_t, const void*, uint32_t) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::PrepareRecord(void*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::RemoveCurrentRecord() {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::UpdateCurrentRecord(const void*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::AddRecord(const void*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::WithdrawLastChange(int32_t) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::AttachExpressionFilter(const void*, uint32_t, uint32_t*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::DetachFilter(uint32_t) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::LimitToRange(int32_t, const void*, int32_t, const void*, int32_t) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::ClearRange() {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::SortByFields(uint32_t, const uint32_t*, const uint32_t*, const uint32_t*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::SelectIndex(const char*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::SetChangeNotifier(void*, ChangeCallback) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::AttachCallbackFilter(void*, FilterCallback, uint32_t*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::CheckFieldConstraint(uint32_t, const void*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::ReadCursorProperty(uint32_t, void*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::RestoreCurrentRecord() {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::FindNextMatch(const void*, uint32_t) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::AttachAggregate(uint32_t, uint32_t, const void*, uint32_t*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::DetachAggregate(uint32_t) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::ReadAggregateValue(uint32_t, void*, uint32_t*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::ReadAggregateDesc(uint32_t, FieldDesc*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::SkipToNextGroup(uint32_t) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::ReadGroupPlacement(uint32_t, uint32_t*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::LinkDetailCursor(uint32_t, const uint32_t*, const uint32_t*, IDSCursor*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::SyncWithMaster() {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::WriteCursorProperty(uint32_t, uint32_t) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::ReadRecordNumber(uint32_t*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::BuildRowRequest(int32_t, int32_t, int32_t, int32_t, SAFEARRAY**) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSCursor::MergeRowResponse(SAFEARRAY*) {
    return DSERR_NOTSUPPORTED;
}

}  // namespace pelmora
