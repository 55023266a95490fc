// A table's view: its order (IndexFieldNames), its filter and its master link.
#include <algorithm>

#include "dataset/client_table.h"
#include "dataset/dataset_messages.h"
#include "dataset/filter_expression.h"
#include "dataset/table_engine.h"
#include "dataset/value_codec.h"

namespace sarvenu {
namespace {

std::vector<std::string> SplitNames(const std::string& names) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= names.size()) {
        size_t end = names.find(';', start);
        if (end == std::string::npos) end = names.size();
        std::string name = names.substr(start, end - start);
        size_t b = name.find_first_not_of(' ');
        size_t e = name.find_last_not_of(' ');
        if (b != std::string::npos) out.push_back(name.substr(b, e - b + 1));
        start = end + 1;
    }
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// Order.

std::vector<TField*> TClientTable::FieldsOf(const std::string& names) {
    std::vector<TField*> out;
    for (const std::string& name : SplitNames(names)) out.push_back(&FieldNamed(name));
    return out;
}

std::vector<uint32_t> TClientTable::ResolveFieldNames(const std::string& names) {
    std::vector<uint32_t> numbers;
    for (TField* f : FieldsOf(names)) numbers.push_back(f->FieldNo());
    return numbers;
}

void TClientTable::SetIndexFieldNames(const std::string& names) {
    if (!Active()) {
        indexFieldNames_ = names;
        return;
    }
    std::vector<uint32_t> fields = ResolveFieldNames(names);
    SettleEdit();
    ApplySort(fields);
    indexFieldNames_ = names;
    if (rangeSet_) {
        ApplyRange(true);
        MoveFirst();
    } else {
        ReadCurrent();
        atEnd_ = !hasCurrent_;
        DataChanged();
    }
}

void TClientTable::ApplySort(const std::vector<uint32_t>& fields) {
    IDSCursor* cursor = Cursor();
    if (fields.empty())
        Check(cursor->SelectIndex(""));
    else
        Check(cursor->SortByFields(static_cast<uint32_t>(fields.size()), fields.data(), nullptr,
                                   nullptr));
    sortFields_ = fields;
}

// ---------------------------------------------------------------------------
// Filter.

std::vector<uint8_t> TClientTable::TranslateFilter(const std::string& text) {
    std::vector<filterexpr::FieldInfo> infos;
    for (auto& f : fields_)
        infos.push_back({f->FieldName(), f->Kind(), f->EngineType(), f->FieldNo()});
    auto lookup = [&infos](const std::string& name) -> const filterexpr::FieldInfo* {
        for (const auto& info : infos)
            if (info.name.size() == name.size() &&
                std::equal(info.name.begin(), info.name.end(), name.begin(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) ==
                           std::tolower(static_cast<unsigned char>(b));
                }))
                return &info;
        return nullptr;
    };
    return filterexpr::Translate(text, lookup, filterCaseInsensitive_);
}

// Attaches the expression of text; returns its handle (0 for an empty text).
uint32_t TClientTable::AttachExpression(const std::string& text) {
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) return 0;
    std::vector<uint8_t> bytes = TranslateFilter(text);
    uint32_t handle = 0;
    Check(Cursor()->AttachExpressionFilter(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                           &handle));
    return handle;
}

void TClientTable::AttachFilter() {
    filterHandle_ = AttachExpression(filter_);
}

void TClientTable::DetachFilter() {
    if (filterHandle_) Check(Cursor()->DetachFilter(filterHandle_));
    filterHandle_ = 0;
}

void TClientTable::RefreshView() {
    if (rangeSet_) ApplyRange(true);
    MoveFirst();
}

void TClientTable::SetFilter(const std::string& text) {
    if (!Active() || !filtered_) {
        filter_ = text;
        return;
    }
    SettleEdit();
    // The new filter is in place before the old one goes, so a bad text
    // leaves the view as it was.
    uint32_t handle = AttachExpression(text);
    uint32_t old = filterHandle_;
    filterHandle_ = handle;
    filter_ = text;
    if (old) Check(Cursor()->DetachFilter(old));
    RefreshView();
}

void TClientTable::SetFiltered(bool on) {
    if (!Active() || on == filtered_) {
        filtered_ = on;
        return;
    }
    SettleEdit();
    if (on)
        AttachFilter();
    else
        DetachFilter();
    filtered_ = on;
    RefreshView();
}

void TClientTable::SetFilterCaseInsensitive(bool on) {
    if (on == filterCaseInsensitive_) return;
    filterCaseInsensitive_ = on;
    if (Active() && filtered_) {
        try {
            SetFilter(filter_);
        } catch (...) {
            filterCaseInsensitive_ = !on;
            throw;
        }
    }
}

// ---------------------------------------------------------------------------
// Master link.

void TClientTable::SetMasterSource(TTableSource* source) {
    if (source == masterSource_) return;
    if (masterSource_) std::erase(masterSource_->details_, this);
    masterSource_ = source;
    if (masterSource_) masterSource_->details_.push_back(this);
    if (Active()) RefreshLink();
}

void TClientTable::SetMasterFields(const std::string& names) {
    masterFields_ = names;
    if (Active()) RefreshLink();
}

void TClientTable::RefreshLink() {
    SettleEdit();
    ApplyRange(true);
    MoveFirst();
}

TClientTable* TClientTable::LinkedMaster() const {
    if (!masterSource_ || masterFields_.empty()) return nullptr;
    TClientTable* master = masterSource_->DataSet();
    return master && master->Active() ? master : nullptr;
}

std::vector<TField*> TClientTable::LinkedFields() {
    std::vector<TField*> out;
    std::vector<std::string> masterNames = SplitNames(masterFields_);
    for (size_t i = 0; i < sortFields_.size() && i < masterNames.size(); ++i)
        for (auto& f : fields_)
            if (f->FieldNo() == sortFields_[i]) out.push_back(f.get());
    return out;
}

// The master's current key as one text, its values separated by a byte that
// no CP932 text holds.
std::string TClientTable::MasterKey() {
    std::string key;
    TClientTable* master = LinkedMaster();
    if (!master) return key;
    for (TField* f : master->FieldsOf(masterFields_)) key += f->GetText() + '\x01';
    return key;
}

void TClientTable::ApplyRange(bool force) {
    TClientTable* master = LinkedMaster();
    IDSCursor* cursor = Cursor();
    if (!master) {
        if (rangeSet_) Check(cursor->ClearRange());
        rangeSet_ = false;
        rangeKey_.clear();
        return;
    }
    std::string key = MasterKey();
    if (rangeSet_ && !force && key == rangeKey_) return;
    std::vector<TField*> masterFields = master->FieldsOf(masterFields_);
    std::vector<TField*> linked = LinkedFields();
    if (linked.size() < masterFields.size()) {
        // The order does not start with as many fields as the link names.
        Raise(DSERR_NOTINDEXED);
    }
    std::vector<uint8_t> bound(engine_->recordSize, 0);
    for (size_t i = 0; i < masterFields.size(); ++i) {
        std::string text = masterFields[i]->GetText();
        std::vector<uint8_t> value;
        bool usable =
            !text.empty() && codec::ParseValue(linked[i]->EngineType(), linked[i]->Width(), text,
                                               &value) == codec::ParseError::None;
        Check(cursor->WriteFieldValue(bound.data(), linked[i]->FieldNo(),
                                      usable ? value.data() : nullptr));
    }
    Check(cursor->LimitToRange(static_cast<int32_t>(masterFields.size()), bound.data(), 1,
                               bound.data(), 1));
    rangeSet_ = true;
    rangeKey_ = key;
}

void TClientTable::MasterChanged() {
    for (TTableSource* source : std::vector<TTableSource*>(sources_)) {
        for (TClientTable* detail : std::vector<TClientTable*>(source->details_)) {
            if (!detail->Active()) continue;
            bool linked = detail->LinkedMaster() != nullptr;
            if (linked && detail->rangeSet_ && detail->MasterKey() == detail->rangeKey_) continue;
            if (!linked && !detail->rangeSet_) continue;
            // The master moved to another key: the detail's pending edit is
            // settled before its view changes.
            detail->SettleEdit();
            detail->ApplyRange(true);
            detail->MoveFirst();
        }
    }
}

}  // namespace sarvenu
