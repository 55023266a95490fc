// The read-only grid over a table's view: one row per record with the chosen
// columns, the selected row following the table's current record and moving
// it when the user picks another row.
#include <QAbstractTableModel>
#include <QHeaderView>
#include <QScopedValueRollback>

#include "dataset/client_table.h"
#include "platform/codepage.h"
#include "shell/db_controls.h"

namespace sarvenu {

// The rows as read from the table, as CP932 texts.
struct TDBGrid::TModel : QAbstractTableModel {
    std::vector<QString> titles;
    std::vector<std::vector<std::string>> rows;

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(titles.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        return platform::Cp932ToQString(Cell(index.row(), index.column()));
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
            section >= static_cast<int>(titles.size()))
            return {};
        return titles[static_cast<size_t>(section)];
    }
    std::string Cell(int row, int column) const {
        if (row < 0 || row >= static_cast<int>(rows.size()) || column < 0) return {};
        const auto& cells = rows[static_cast<size_t>(row)];
        return column < static_cast<int>(cells.size()) ? cells[static_cast<size_t>(column)]
                                                       : std::string();
    }
    void Reset(std::vector<QString> newTitles, std::vector<std::vector<std::string>> newRows) {
        beginResetModel();
        titles = std::move(newTitles);
        rows = std::move(newRows);
        endResetModel();
    }
    void SetRow(int row, std::vector<std::string> cells) {
        if (row < 0 || row >= static_cast<int>(rows.size())) return;
        rows[static_cast<size_t>(row)] = std::move(cells);
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    }
};

namespace {

TClientTable* OpenTableOf(TTableSource* source) {
    TClientTable* table = source ? source->DataSet() : nullptr;
    return table && table->Active() ? table : nullptr;
}

// The fields of the columns; null for a column whose field the table lacks.
std::vector<TField*> ColumnFields(TClientTable& table,
                                  const std::vector<TDBGrid::TColumn>& columns) {
    std::vector<TField*> fields;
    for (const TDBGrid::TColumn& column : columns) fields.push_back(table.FindField(column.field));
    return fields;
}

// The texts of the current record for the columns.
std::vector<std::string> CurrentCells(TClientTable& table,
                                      const std::vector<TDBGrid::TColumn>& columns) {
    std::vector<std::string> cells;
    for (TField* field : ColumnFields(table, columns))
        cells.push_back(field ? field->GetText() : std::string());
    return cells;
}

}  // namespace

TDBGrid::TDBGrid(QWidget* parent, const QString& objectName)
    : QTableView(parent), model_(std::make_unique<TModel>()) {
    setObjectName(objectName);
    setModel(model_.get());
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->hide();
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) {
                if (refreshing_ || !current.isValid()) return;
                TClientTable* table = OpenTableOf(source_);
                if (!table || table->IsEditing()) return;
                const uint32_t position = static_cast<uint32_t>(current.row()) + 1;
                if (table->Position() == position) return;
                QScopedValueRollback<bool> refreshing(refreshing_, true);
                table->MoveToPosition(position);
            });
}

TDBGrid::~TDBGrid() {
    if (source_ && subscription_) source_->Unsubscribe(subscription_);
    selectionModel()->disconnect(this);
    setModel(nullptr);
}

void TDBGrid::Bind(TTableSource* source, const std::vector<TColumn>& columns) {
    if (source_ && subscription_) source_->Unsubscribe(subscription_);
    subscription_ = 0;
    source_ = source;
    columns_ = columns;
    std::vector<QString> titles;
    for (const TColumn& column : columns_) titles.push_back(column.title);
    model_->Reset(titles, {});
    if (source_) {
        // A plain move only changes the selected row and the current row's
        // texts; a change of the number of rows, or any change of a detail
        // table (whose range follows its master), reads all rows again.
        subscription_ = source_->Subscribe([this] {
            if (refreshing_ || !isVisible()) return;
            TClientTable* table = OpenTableOf(source_);
            if (!table || table->IsEditing()) return;
            if (table->MasterSource() || table->RecordTotal() != model_->rows.size()) {
                RefreshRows();
                return;
            }
            const uint32_t position = table->Position();
            if (position == 0) return;
            QScopedValueRollback<bool> refreshing(refreshing_, true);
            model_->SetRow(static_cast<int>(position) - 1, CurrentCells(*table, columns_));
            selectRow(static_cast<int>(position) - 1);
        });
    }
    RefreshRows();
}

void TDBGrid::RefreshRows() {
    TClientTable* table = OpenTableOf(source_);
    if (table && table->IsEditing()) return;
    QScopedValueRollback<bool> refreshing(refreshing_, true);
    std::vector<std::vector<std::string>> rows;
    if (table) {
        const std::vector<TField*> fields = ColumnFields(*table, columns_);
        VisitRecords(*table, [&](const TRecordView& record) {
            std::vector<std::string> cells;
            cells.reserve(fields.size());
            for (TField* field : fields)
                cells.push_back(field ? record.Text(*field) : std::string());
            rows.push_back(std::move(cells));
        });
    }
    model_->Reset(model_->titles, std::move(rows));
    // A reset gives the header its default widths back.
    for (size_t i = 0; i < columns_.size(); ++i)
        setColumnWidth(static_cast<int>(i), columns_[i].width);
    const uint32_t position = table ? table->Position() : 0;
    if (position > 0)
        selectRow(static_cast<int>(position) - 1);
    else
        clearSelection();
}

int TDBGrid::RowTotal() const {
    return static_cast<int>(model_->rows.size());
}

std::string TDBGrid::CellText(int row, int column) const {
    return model_->Cell(row, column);
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (OnDblClick) OnDblClick();
}

void TDBGrid::showEvent(QShowEvent* event) {
    QTableView::showEvent(event);
    RefreshRows();
}

}  // namespace sarvenu
