// Moving through a table's view and counting it.
#include "dataset/client_table.h"
#include "dataset/table_engine.h"
#include "dataset/value_codec.h"

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
    if (!text.empty() && !sortFields_.empty() && sortFields_.front() == field.FieldNo()) {
        // Ordered by the field: a key search, whose miss is final.
        if (!SeekFirstKeyField(field, text)) return false;
        atEnd_ = false;
        Scrolled();
        return true;
    }
    // Any other field: a walk over a cursor of its own, so that the table
    // moves only to the record found.
    uint32_t found = 0;
    uint32_t ordinal = 0;
    ScanView([&](const TRecordView& record) {
        ++ordinal;
        if (!found && record.Text(field) == text) found = ordinal;
    });
    if (!found) return false;
    Check(Cursor()->GoToOrdinal(found));
    ReadCurrent();
    atEnd_ = !hasCurrent_;
    Scrolled();
    return hasCurrent_;
}

// In a view ordered by field first, finds the first record whose field reads
// as text by a key search and stands on it; false, without a move, when none.
bool TClientTable::SeekFirstKeyField(const TField& field, const std::string& text) {
    if (text.empty()) return false;
    std::vector<uint8_t> value;
    if (codec::ParseValue(field.EngineType(), field.Width(), text, &value) !=
        codec::ParseError::None)
        return false;
    const uint32_t ordinal = Position();
    std::vector<uint8_t> key(engine_->recordSize, 0);
    IDSCursor* cursor = Cursor();
    Check(cursor->WriteFieldValue(key.data(), field.FieldNo(), value.data()));
    std::vector<uint8_t> record(engine_->recordSize, 0);
    const uint32_t status = ResultCode(cursor->FindRecordByKey(1, 0, key.data(), record.data()));
    if (status == DSERR_RECNOTFOUND || status == DSERR_EOF) return false;
    Check(status);
    // The key comparison follows the collation; the match must also be the
    // same text, else the cursor goes back to the record it stood on.
    if (field.TextIn(record.data(), cursor) != text) {
        if (ordinal)
            Check(cursor->GoToOrdinal(ordinal));
        else
            Check(cursor->GoBeforeFirst());
        return false;
    }
    current_ = std::move(record);
    hasCurrent_ = true;
    return true;
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
