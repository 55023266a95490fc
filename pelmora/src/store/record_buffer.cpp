#include "store/record_buffer.h"

#include <cstring>

#include "store/field_values.h"

namespace pelmora {

namespace {

class BufferSlots final : public FieldSlots {
  public:
    BufferSlots(std::span<const FieldDesc> fields, uint8_t* record)
        : fields_(fields), record_(record) {}
    uint8_t* Value(uint32_t field) override { return record_ + fields_[field - 1].offset; }
    uint8_t* Indicator(uint32_t field) override {
        return record_ + fields_[field - 1].indicatorOffset;
    }

  private:
    std::span<const FieldDesc> fields_;
    uint8_t* record_;
};

bool ValidField(std::span<const FieldDesc> fields, uint32_t field) {
    return field >= 1 && field <= fields.size();
}

}  // namespace

uint32_t RecordBufferSize(std::span<const FieldDesc> fields) {
    uint32_t size = 0;
    for (const FieldDesc& f : fields) size += f.length + 1;
    return size;
}

EngineResult ReadBufferValue(std::span<const FieldDesc> fields, const uint8_t* record,
                             uint32_t field, void* value, uint8_t* indicator) {
    if (!ValidField(fields, field)) return DSERR_OUTOFRANGE;
    const FieldDesc& f = fields[field - 1];
    if (value != nullptr && f.length != 0) std::memcpy(value, record + f.offset, f.length);
    if (indicator != nullptr) *indicator = record[f.indicatorOffset];
    return DS_OK;
}

EngineResult WriteBufferValue(std::span<const FieldDesc> fields, uint8_t* record, uint32_t field,
                              const void* value) {
    if (!ValidField(fields, field)) return DSERR_OUTOFRANGE;
    BufferSlots slots(fields, record);
    return WriteFieldValue(fields, slots, field, value);
}

EngineResult WriteBufferIndicator(std::span<const FieldDesc> fields, uint8_t* record,
                                  uint32_t field, uint8_t indicator) {
    if (!ValidField(fields, field)) return DSERR_OUTOFRANGE;
    BufferSlots slots(fields, record);
    WriteFieldIndicator(fields, slots, field, indicator);
    return DS_OK;
}

void ClearRecordBuffer(std::span<const FieldDesc> fields, uint8_t* record) {
    for (const FieldDesc& f : fields) {
        std::memset(record + f.offset, 0, f.length);
        record[f.indicatorOffset] = IND_BLANK;
    }
}

}  // namespace pelmora
