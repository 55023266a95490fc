// The binding of a data-aware control to one field of a table, and reading a
// whole view for lists and grids without moving the table.
#include <QScopedValueRollback>

#include "dataset/client_table.h"
#include "shell/db_controls.h"

namespace sarvenu {

TFieldLink::TFieldLink(std::function<void()> refresh) : refresh_(std::move(refresh)) {}

TFieldLink::~TFieldLink() {
    if (source_ && subscription_) source_->Unsubscribe(subscription_);
}

void TFieldLink::Bind(TTableSource* source, const std::string& fieldName) {
    if (source_ && subscription_) source_->Unsubscribe(subscription_);
    subscription_ = 0;
    if (!source || fieldName.empty()) {
        source_ = nullptr;
        fieldName_.clear();
    } else {
        source_ = source;
        fieldName_ = fieldName;
        subscription_ = source_->Subscribe([this] {
            if (!writing_ && refresh_) refresh_();
        });
    }
    if (refresh_) refresh_();
}

TField* TFieldLink::Field() const {
    if (!source_ || fieldName_.empty()) return nullptr;
    TClientTable* table = source_->DataSet();
    if (!table || !table->Active()) return nullptr;
    return table->FindField(fieldName_);
}

std::string TFieldLink::Read() const {
    TField* field = Field();
    return field ? field->GetText() : std::string();
}

void TFieldLink::Write(const std::string& cp932) {
    TField* field = Field();
    if (!field || field->GetText() == cp932) return;
    QScopedValueRollback<bool> writing(writing_, true);
    TClientTable& table = field->Table();
    if (!table.IsEditing()) table.StartEdit();
    field->SetText(cp932);
}

bool VisitRecords(TClientTable& table, const std::function<void(const TRecordView&)>& visit) {
    if (!table.Active()) return false;
    table.ScanView(visit);
    return true;
}

}  // namespace sarvenu
