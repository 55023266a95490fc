// Reading a whole view without moving the table: lists, grids and counts
// over many records go through a second engine cursor, so that no detail
// table is re-ranged and no listener is told about each record passed.
#include "dataset/client_table.h"
#include "dataset/engine_binding.h"
#include "dataset/table_engine.h"

namespace sarvenu {

void TClientTable::ScanView(const std::function<void(const TRecordView&)>& visit) {
    Require(true);
    pelmora::Ref<IDSCursor> scan(engine::CreateCursor());
    // The copy takes the order, the filters and the range of the table's cursor.
    Check(scan->CopyCursor(Cursor()));
    Scan(scan.get(), visit);
}

void TClientTable::ScanAllRecords(const std::function<void(const TRecordView&)>& visit) {
    Require(true);
    pelmora::Ref<IDSCursor> scan(engine::CreateCursor());
    Check(scan->AttachDataset(engine_->dataset.get()));
    Scan(scan.get(), visit);
}

void TClientTable::Scan(IDSCursor* cursor, const std::function<void(const TRecordView&)>& visit) {
    Check(cursor->GoBeforeFirst());
    std::vector<uint8_t> record(engine_->recordSize, 0);
    const TRecordView view(record.data(), cursor);
    for (;;) {
        const uint32_t status = ResultCode(cursor->MoveBy(1));
        if (status == DSERR_EOF) break;
        if (status != DS_OK) Raise(status);
        Check(cursor->ReadCurrentRecord(record.data()));
        visit(view);
    }
}

}  // namespace sarvenu
