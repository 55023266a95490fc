// The binding of a data-aware control to one field of a table, and reading a
// whole view for lists and grids without disturbing the program's handlers.
#include <QScopedValueRollback>
#include <utility>

#include "dataset/client_table.h"
#include "shell/db_controls.h"

namespace sarvenu {

namespace {

// Takes a table's AfterScroll handler away for the scope.
class TQuietScroll {
  public:
    explicit TQuietScroll(TClientTable& table)
        : table_(table), saved_(std::exchange(table.AfterScroll, nullptr)) {}
    ~TQuietScroll() { table_.AfterScroll = std::move(saved_); }
    TQuietScroll(const TQuietScroll&) = delete;
    TQuietScroll& operator=(const TQuietScroll&) = delete;

  private:
    TClientTable& table_;
    TClientTable::Event saved_;
};

}  // namespace

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

bool VisitRecords(TClientTable& table, const std::function<void()>& visit) {
    if (!table.Active() || table.IsEditing()) return false;
    TQuietScroll quiet(table);
    const uint32_t position = table.Position();
    for (table.MoveFirst(); !table.AtEnd(); table.MoveNext()) visit();
    if (position > 0)
        table.MoveToPosition(position);
    else if (table.RecordTotal() > 0)
        table.MoveFirst();
    return true;
}

}  // namespace sarvenu
