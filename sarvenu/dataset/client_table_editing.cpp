// Editing a table: inserting, changing, posting, cancelling and deleting
// records, and settling an edit the user moved away from.
#include "dataset/client_table.h"
#include "dataset/table_engine.h"

namespace sarvenu {

void TClientTable::SettleEdit() {
    if (!IsEditing()) return;
    if (modified_)
        CommitRecord();
    else
        DiscardRecord();
}

void TClientTable::SettleDetails() {
    for (TTableSource* source : std::vector<TTableSource*>(sources_))
        for (TClientTable* detail : std::vector<TClientTable*>(source->details_))
            if (detail->Active() && detail->IsEditing()) detail->SettleEdit();
}

void TClientTable::StartInsert() {
    Require(true);
    SettleDetails();
    SettleEdit();
    BeginInsert();
}

void TClientTable::StartAppend() {
    // The engine places a new record by the current order either way.
    StartInsert();
}

void TClientTable::BeginInsert() {
    if (BeforeInsert) BeforeInsert(*this);
    std::vector<uint8_t> buffer(engine_->recordSize, 0);
    Check(Cursor()->PrepareRecord(buffer.data()));
    edit_ = std::move(buffer);
    state_ = dsInsert;
    // A detail's new record takes the master's key.
    if (masterSource_ && masterSource_->DataSet() && masterSource_->DataSet()->Active()) {
        TClientTable& master = *masterSource_->DataSet();
        std::vector<TField*> linked = LinkedFields();
        std::vector<TField*> masterFields = master.FieldsOf(masterFields_);
        for (size_t i = 0; i < linked.size() && i < masterFields.size(); ++i)
            linked[i]->SetText(masterFields[i]->GetText());
    }
    if (OnNewRecord) OnNewRecord(*this);
    // Values set so far are defaults, not the user's changes.
    modified_ = false;
    MasterChanged();
    DataChanged();
    if (AfterInsert) AfterInsert(*this);
}

void TClientTable::StartEdit() {
    Require(true);
    if (IsEditing()) return;
    if (RecordTotal() == 0) {
        StartInsert();
        return;
    }
    if (BeforeEdit) BeforeEdit(*this);
    std::vector<uint8_t> buffer(engine_->recordSize, 0);
    Check(Cursor()->ReadCurrentRecord(buffer.data()));
    edit_ = std::move(buffer);
    state_ = dsEdit;
    modified_ = false;
    DataChanged();
    if (AfterEdit) AfterEdit(*this);
}

void TClientTable::CommitRecord() {
    Require(true);
    if (!IsEditing()) return;
    SettleDetails();
    IDSCursor* cursor = Cursor();
    if (state_ == dsInsert)
        Check(cursor->AddRecord(edit_.data()));
    else
        Check(cursor->UpdateCurrentRecord(edit_.data()));
    unwritten_ = true;
    state_ = dsBrowse;
    modified_ = false;
    edit_.clear();
    ReadCurrent();
    if (!hasCurrent_) {
        // The record left the view (a filter hides it): stand on a neighbour.
        if (ResultCode(cursor->MoveBy(1)) != DS_OK) cursor->MoveBy(-1);
        ReadCurrent();
    }
    atEnd_ = !hasCurrent_;
    MasterChanged();
    DataChanged();
}

void TClientTable::DiscardRecord() {
    Require(true);
    if (!IsEditing()) return;
    state_ = dsBrowse;
    modified_ = false;
    edit_.clear();
    ReadCurrent();
    atEnd_ = !hasCurrent_;
    MasterChanged();
    DataChanged();
}

void TClientTable::RemoveRecord() {
    Require(true);
    if (state_ == dsInsert) {
        // The record being inserted was never stored: dropping it is the delete.
        DiscardRecord();
        return;
    }
    DiscardRecord();
    SettleDetails();
    IDSCursor* cursor = Cursor();
    Check(cursor->RemoveCurrentRecord());
    unwritten_ = true;
    uint32_t status = ResultCode(cursor->MoveBy(1));
    if (status == DSERR_EOF) status = ResultCode(cursor->MoveBy(-1));
    ReadCurrent();
    atEnd_ = !hasCurrent_;
    Scrolled();
}

}  // namespace sarvenu
