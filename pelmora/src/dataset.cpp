#include "dataset.h"

#include <new>

#include "error_text.h"

namespace pelmora {

TDSBASE::TDSBASE() = default;
TDSBASE::~TDSBASE() = default;

TDSBASE* NewDataset() {
    return new (std::nothrow) TDSBASE;
}

// The store operations arrive with the dataset store; until then every slot
// that needs them answers "Operation not applicable.".
EngineResult TDSBASE::DefineFields(uint32_t, const FieldDesc*, const char*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::AddRuntimeField(const FieldDesc*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::LoadPacket(SAFEARRAY*, int32_t) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::FindParameter(uint32_t, uint32_t, const char**, uint32_t*, uint32_t*,
                                    const void**) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::StoreParameter(uint32_t, const char*, uint32_t, uint32_t, const void*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::ReadDatasetProps(DatasetProps*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::ListFields(FieldDesc*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::ListIndexes(IndexDesc*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::MakeDelta(IDSBase**) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::WritePacket(SAFEARRAY**) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::AcceptAllChanges() {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::SetIndicator(void*, uint32_t, uint32_t, uint32_t) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::MakeIndex(const IndexDesc*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::DropIndex(const char*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::ErrorText(uint32_t code, char* buffer) {
    return pelmora::ErrorText(code, buffer);
}
int32_t TDSBASE::CompareValues(uint32_t type, const void* a, const void* b, uint32_t length) {
    (void)type;
    (void)a;
    (void)b;
    (void)length;
    return 1;  // TODO(integration): value comparison
}
EngineResult TDSBASE::ReadProperty(uint32_t, void*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::WriteProperty(uint32_t, uint32_t) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::SetCalcCallback(void*, CalcCallback) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::ApplyReconcileResult(SAFEARRAY*, SAFEARRAY*, void*, ReconcileCallback) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::ReservedSlot23() {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::ReservedSlot24() {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::ReservedSlot25() {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::ReservedSlot26() {
    return DS_OK;
}
EngineResult TDSBASE::ClearRecords() {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::UndoToSavepoint(uint32_t) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::GetNestedDataset(uint32_t, IDSBase**) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::EmbedDetail(IDSBase*, uint32_t, const uint32_t*, const uint32_t*, const char*,
                                  const char*) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::RefreshFromPacket(SAFEARRAY*, uint32_t) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::DiscardBlobs(uint32_t) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::MakeDerived(uint32_t, int32_t, int32_t, IDSBase**) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::MergeChanges(IDSBase*, SAFEARRAY*, SAFEARRAY*, void*, MergeCallback) {
    return DSERR_NOTSUPPORTED;
}
EngineResult TDSBASE::DropParameter(uint32_t, const char*) {
    return DSERR_NOTSUPPORTED;
}

}  // namespace pelmora
