// The lookup list: a data field holding a code, chosen by the name of a
// record of a code table. The list keeps the code table's current record on
// the chosen code, so that name displays bound to the code table show it.
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <algorithm>

#include "dataset/client_table.h"
#include "platform/codepage.h"
#include "shell/db_controls.h"

namespace sarvenu {

namespace {

// Ends the list's subscription to its code table when the list goes; the
// source has to outlive the list, as for every bound control.
class TListSubscription : public QObject {
  public:
    TListSubscription(QObject* owner, TTableSource* source, int id)
        : QObject(owner), source_(source), id_(id) {
        setObjectName(QStringLiteral("listSubscription"));
    }
    ~TListSubscription() override { source_->Unsubscribe(id_); }

  private:
    TTableSource* source_;
    int id_;
};

TClientTable* OpenTableOf(TTableSource* source) {
    TClientTable* table = source ? source->DataSet() : nullptr;
    return table && table->Active() ? table : nullptr;
}

}  // namespace

TDBLookupComboBox::TDBLookupComboBox(QWidget* parent, const QString& objectName)
    : QComboBox(parent), link_([this] { Refresh(); }) {
    setObjectName(objectName);
    setEditable(false);
    // Every choice the user makes (list, arrow keys, typing a name) writes the code.
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (refreshing_ || index < 0 || index >= static_cast<int>(codes_.size())) return;
        link_.Write(codes_[static_cast<size_t>(index)]);
        Refresh();
        if (OnClick) OnClick();
    });
}

void TDBLookupComboBox::SetListSource(TTableSource* list, const std::string& keyField,
                                      const std::string& listField) {
    // Classes without the meta-object compiler are found by name, not by type.
    delete findChild<QObject*>(QStringLiteral("listSubscription"), Qt::FindDirectChildrenOnly);
    list_ = list;
    listSubscription_ = 0;
    keyField_ = keyField;
    listField_ = listField;
    if (list_) {
        // After a change of the code table the list puts it back on the code
        // once the change is over, so that code moving through the table (or
        // changing its filter) is not pulled back while it works.
        listSubscription_ = list_->Subscribe([this] {
            if (refreshing_) return;
            QMetaObject::invokeMethod(
                this, [this] { Refresh(); }, Qt::QueuedConnection);
        });
        new TListSubscription(this, list_, listSubscription_);
    }
    RefreshList();
}

std::string TDBLookupComboBox::TextCp932() const {
    return currentIndex() < 0 ? std::string() : platform::QStringToCp932(currentText());
}

void TDBLookupComboBox::SelectCode(const std::string& code) {
    auto found = std::find(codes_.begin(), codes_.end(), code);
    if (found == codes_.end()) {
        RefreshList();
        found = std::find(codes_.begin(), codes_.end(), code);
        if (found == codes_.end()) return;
    }
    {
        QScopedValueRollback<bool> refreshing(refreshing_, true);
        setCurrentIndex(static_cast<int>(found - codes_.begin()));
    }
    link_.Write(code);
    Refresh();
    if (OnClick) OnClick();
}

void TDBLookupComboBox::RefreshList() {
    {
        QScopedValueRollback<bool> refreshing(refreshing_, true);
        clear();
        codes_.clear();
        TClientTable* table = OpenTableOf(list_);
        TField* key = table ? table->FindField(keyField_) : nullptr;
        TField* name = table ? table->FindField(listField_) : nullptr;
        if (key && name) {
            QStringList names;
            VisitRecords(*table, [&](const TRecordView& record) {
                codes_.push_back(record.Text(*key));
                names << platform::Cp932ToQString(record.Text(*name));
            });
            addItems(names);
        }
        setCurrentIndex(-1);
    }
    Refresh();
}

void TDBLookupComboBox::showPopup() {
    if (OnDropDown) OnDropDown();
    RefreshList();
    QComboBox::showPopup();
}

void TDBLookupComboBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete) {
        link_.Write("");
        Refresh();
    }
    if (OnKeyDown && OnKeyDown(event->key())) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Delete) {
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void TDBLookupComboBox::Refresh() {
    if (refreshing_) return;
    bool reread = false;
    {
        QScopedValueRollback<bool> refreshing(refreshing_, true);
        const std::string code = link_.Read();
        TClientTable* table = OpenTableOf(list_);
        TField* key = table ? table->FindField(keyField_) : nullptr;
        // Put the code table on the code; a code it cannot find leaves the
        // table where it is, as a search does.
        bool inView = false;
        if (key && !code.empty() && !table->IsEditing())
            inView = key->GetText() == code || table->Locate(keyField_, code);
        const auto found = std::find(codes_.begin(), codes_.end(), code);
        // A code in the table's view but not in the list: the view changed
        // since the list was read.
        reread = found == codes_.end() && inView && table->FindField(listField_);
        const int index =
            code.empty() || found == codes_.end() ? -1 : static_cast<int>(found - codes_.begin());
        if (!reread && currentIndex() != index) setCurrentIndex(index);
    }
    if (reread) RefreshList();
}

}  // namespace sarvenu
