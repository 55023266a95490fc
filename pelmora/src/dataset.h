// The dataset object (TDSBASE, interface IDSBase): one in-memory table with
// its fields, records, BLOBs, indexes, change log and parameters.
#pragma once

#include "com_object.h"
#include "pelmora/pelmora.h"

namespace pelmora {

class TDSBASE : public ComObject<IDSBase, IID_IDSBase> {
  public:
    TDSBASE();
    ~TDSBASE() override;

    EngineResult DefineFields(uint32_t count, const FieldDesc* fields, const char* name) override;
    EngineResult AddRuntimeField(const FieldDesc* desc) override;
    EngineResult LoadPacket(SAFEARRAY* packet, int32_t last) override;
    EngineResult FindParameter(uint32_t index, uint32_t field, const char** name,
                               uint32_t* typeWord, uint32_t* length, const void** value) override;
    EngineResult StoreParameter(uint32_t field, const char* name, uint32_t typeWord,
                                uint32_t length, const void* value) override;
    EngineResult ReadDatasetProps(DatasetProps* out) override;
    EngineResult ListFields(FieldDesc* out) override;
    EngineResult ListIndexes(IndexDesc* out) override;
    EngineResult MakeDelta(IDSBase** out) override;
    EngineResult WritePacket(SAFEARRAY** out) override;
    EngineResult AcceptAllChanges() override;
    EngineResult SetIndicator(void* record, uint32_t recordNumber, uint32_t field,
                              uint32_t value) override;
    EngineResult MakeIndex(const IndexDesc* desc) override;
    EngineResult DropIndex(const char* name) override;
    EngineResult ErrorText(uint32_t code, char* buffer) override;
    int32_t CompareValues(uint32_t type, const void* a, const void* b, uint32_t length) override;
    EngineResult ReadProperty(uint32_t id, void* out) override;
    EngineResult WriteProperty(uint32_t id, uint32_t value) override;
    EngineResult SetCalcCallback(void* clientData, CalcCallback callback) override;
    EngineResult ApplyReconcileResult(SAFEARRAY* delta, SAFEARRAY* errors, void* clientData,
                                      ReconcileCallback callback) override;
    EngineResult ReservedSlot23() override;
    EngineResult ReservedSlot24() override;
    EngineResult ReservedSlot25() override;
    EngineResult ReservedSlot26() override;
    EngineResult ClearRecords() override;
    EngineResult UndoToSavepoint(uint32_t savepoint) override;
    EngineResult GetNestedDataset(uint32_t field, IDSBase** out) override;
    EngineResult EmbedDetail(IDSBase* detail, uint32_t count, const uint32_t* masterFields,
                             const uint32_t* detailFields, const char* nestedName,
                             const char* linkName) override;
    EngineResult RefreshFromPacket(SAFEARRAY* packet, uint32_t recordNumber) override;
    EngineResult DiscardBlobs(uint32_t reference) override;
    EngineResult MakeDerived(uint32_t kind, int32_t includeNested, int32_t copyParameters,
                             IDSBase** out) override;
    EngineResult MergeChanges(IDSBase* view, SAFEARRAY* delta, SAFEARRAY* errors, void* clientData,
                              MergeCallback callback) override;
    EngineResult DropParameter(uint32_t field, const char* name) override;
};

// A new dataset object with reference count 0; null when memory is short.
TDSBASE* NewDataset();

}  // namespace pelmora
