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
    // The view reads the fields asked for straight from the scan cursor's
    // current record: survey records hold long texts, and copying each whole
    // record would cost far more than the few fields a list or a summary reads.
    const TRecordView view(nullptr, cursor);
    for (;;) {
        const uint32_t status = ResultCode(cursor->MoveBy(1));
        if (status == DSERR_EOF) break;
        if (status != DS_OK) Raise(status);
        visit(view);
    }
}

}  // namespace sarvenu
