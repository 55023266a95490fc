// Moving through a table's view and counting it.
#include "dataset/client_table.h"
#include "dataset/table_engine.h"

namespace sarvenu {

void TClientTable::ReadCurrent() {
    hasCurrent_ = ResultCode(Cursor()->ReadCurrentRecord(current_.data())) == DS_OK;
}

void TClientTable::Scrolled() {
    MasterChanged();
    DataChanged();
    if (AfterScroll) AfterScroll(*this);
}

void TClientTable::MoveFirst() {
    Require(true);
    SettleDetails();
    SettleEdit();
    IDSCursor* cursor = Cursor();
    Check(cursor->GoBeforeFirst());
    uint32_t status = ResultCode(cursor->MoveBy(1));
    if (status != DS_OK && status != DSERR_EOF) Raise(status);
    ReadCurrent();
    atEnd_ = !hasCurrent_;
    Scrolled();
}

void TClientTable::MoveNext() {
    Require(true);
    SettleDetails();
    SettleEdit();
    IDSCursor* cursor = Cursor();
    uint32_t status = ResultCode(cursor->MoveBy(1));
    if (status == DSERR_EOF) {
        // Past the end the last record stays current, so that a later edit
        // still has a record to work on.
        atEnd_ = true;
        status = ResultCode(cursor->MoveBy(-1));
        if (status != DS_OK && status != DSERR_BOF) Raise(status);
    } else if (status != DS_OK) {
        Raise(status);
    } else {
        atEnd_ = false;
    }
    ReadCurrent();
    if (!hasCurrent_) atEnd_ = true;
    Scrolled();
}

void TClientTable::MovePrior() {
    Require(true);
    SettleDetails();
    SettleEdit();
    IDSCursor* cursor = Cursor();
    uint32_t status = ResultCode(cursor->MoveBy(-1));
    if (status == DSERR_BOF) {
        status = ResultCode(cursor->MoveBy(1));
        if (status != DS_OK && status != DSERR_EOF) Raise(status);
    } else if (status != DS_OK) {
        Raise(status);
    }
    ReadCurrent();
    atEnd_ = !hasCurrent_;
    Scrolled();
}

void TClientTable::MoveLast() {
    Require(true);
    SettleDetails();
    SettleEdit();
    IDSCursor* cursor = Cursor();
    Check(cursor->GoAfterLast());
    uint32_t status = ResultCode(cursor->MoveBy(-1));
    if (status != DS_OK && status != DSERR_BOF) Raise(status);
    ReadCurrent();
    atEnd_ = !hasCurrent_;
    Scrolled();
}

bool TClientTable::MoveToPosition(uint32_t position) {
    Require(true);
    if (position == 0 || position > RecordTotal()) return false;
    SettleDetails();
    SettleEdit();
    // Settling may have changed the view.
    if (position > RecordTotal()) return false;
    Check(Cursor()->GoToOrdinal(position));
    ReadCurrent();
    atEnd_ = !hasCurrent_;
    Scrolled();
    return true;
}

uint32_t TClientTable::Position() {
    Require(true);
    uint32_t ordinal = 0;
    if (!hasCurrent_ || ResultCode(Cursor()->ReadOrdinal(&ordinal)) != DS_OK) return 0;
    return ordinal;
}

bool TClientTable::Locate(const std::string& fieldName, const std::string& text) {
    Require(true);
    TField& field = FieldNamed(fieldName);
    SettleDetails();
    SettleEdit();
    uint32_t total = RecordTotal();
    uint32_t start = Position();
    std::vector<uint8_t> saved = current_;
    bool savedHas = hasCurrent_;
    for (uint32_t i = 1; i <= total; ++i) {
        Check(Cursor()->GoToOrdinal(i));
        ReadCurrent();
        if (hasCurrent_ && field.GetText() == text) {
            atEnd_ = false;
            Scrolled();
            return true;
        }
    }
    // Not found: back to where the cursor stood.
    if (start) {
        Check(Cursor()->GoToOrdinal(start));
        ReadCurrent();
    } else {
        current_ = saved;
        hasCurrent_ = savedHas;
    }
    return false;
}

uint32_t TClientTable::RecordTotal() {
    Require(true);
    uint32_t count = 0;
    uint32_t result = Cursor()->CountRecords(&count);
    if (ResultCode(result) == DSERR_DETAILSNOTFETCHED) return 0;
    Check(result);
    return count;
}

}  // namespace sarvenu
