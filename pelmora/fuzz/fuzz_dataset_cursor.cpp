// Fuzz target: loads arbitrary bytes as a datapacket into a dataset and, when
// that succeeds, walks every record with a cursor forwards and backwards,
// reading each record, each field and each BLOB, then re-sorts on the first
// field and walks the nested datasets the same way. Loops are bounded so
// that no input can hang the run.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cursor/cursor.h"
#include "dataset/dataset.h"
#include "platform/safearray.h"

namespace {

constexpr int kMaxSteps = 20000;
constexpr uint32_t kMaxBlob = 1u << 20;

void ReadEveryField(pelmora::TDSCursor& cursor, const std::vector<FieldDesc>& fields,
                    std::vector<uint8_t>& record) {
    if (cursor.ReadCurrentRecord(record.data()) != 0) return;
    std::vector<uint8_t> value;
    for (uint32_t k = 1; k <= fields.size(); ++k) {
        value.assign(fields[k - 1].length + 1, 0);
        uint32_t blank = 0;
        cursor.ReadFieldValue(record.data(), k, value.data(), &blank);
        cursor.ReadFieldValue(nullptr, k, value.data(), &blank);
        if (fields[k - 1].type != FLD_BLOB) continue;
        uint32_t length = 0;
        if (cursor.ReadBlobLength(record.data(), k, &length) != 0 || length > kMaxBlob) continue;
        value.assign(length + 1, 0);
        cursor.ReadBlobData(record.data(), k, 0, value.data(), &length);
    }
}

void Walk(pelmora::TDSCursor& cursor, const std::vector<FieldDesc>& fields, uint32_t size) {
    std::vector<uint8_t> record(size + 1, 0);
    int steps = 0;
    cursor.GoBeforeFirst();
    while (cursor.MoveBy(1) == 0 && steps++ < kMaxSteps) ReadEveryField(cursor, fields, record);
    while (cursor.MoveBy(-1) == 0 && steps++ < 2 * kMaxSteps)
        ReadEveryField(cursor, fields, record);
    uint32_t count = 0;
    cursor.CountRecords(&count);
}

void WalkDataset(pelmora::TDSBASE* dataset, int depth) {
    pelmora::TDSCursor* cursor = pelmora::NewCursor();
    if (!cursor) return;
    cursor->AddRef();
    if (cursor->AttachDataset(dataset) == 0) {
        DatasetProps props{};
        cursor->ReadCursorProps(&props);
        std::vector<FieldDesc> fields(dataset->fields());
        Walk(*cursor, fields, props.recordSize);
        const uint32_t first = 1;
        if (cursor->SortByFields(1, &first, nullptr, nullptr) == 0)
            Walk(*cursor, fields, props.recordSize);
        if (depth < 3) {
            for (const pelmora::NestedDetail& nested : dataset->nested()) {
                if (nested.dataset) WalkDataset(nested.dataset, depth + 1);
            }
        }
    }
    cursor->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 24)) return 0;
    pelmora::TDSBASE* dataset = pelmora::NewDataset();
    if (!dataset) return 0;
    dataset->AddRef();
    SAFEARRAY* packet = SafeArrayFromBytes(data, static_cast<uint32_t>(size));
    if (packet) {
        if (dataset->LoadPacket(packet, 1) == 0) WalkDataset(dataset, 0);
        SafeArrayDestroy(packet);
    }
    dataset->Release();
    return 0;
}
