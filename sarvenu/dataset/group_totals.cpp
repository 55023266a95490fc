#include "dataset/group_totals.h"

#include <algorithm>
#include <cstring>

#include "dataset/client_table.h"
#include "dataset/dataset_messages.h"
#include "dataset/engine_binding.h"
#include "pelmora/expression_format.h"

namespace sarvenu {

namespace {

constexpr uint32_t kKeyField = 1;
constexpr const char* kKeyName = "GROUP_KEY";
constexpr const char* kIndexName = "BY_GROUP";

std::string ColumnName(int column) {
    return "VALUE" + std::to_string(column + 1);
}

void Put16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The canonical expression FUNCTION(field): the function node at the start
// of the node area, its one list item, then the field node; the literal area
// holds the function's and the field's names.
std::vector<uint8_t> AggregateExpression(const std::string& function, const std::string& field,
                                         uint32_t fieldNo) {
    constexpr size_t kNodeSize = kExprNodeHeadSize + 2 * 2;  // every node here has two operands
    const size_t nodeStart = kExprHeaderSize;
    const size_t literalStart = nodeStart + 3 * kNodeSize;
    const size_t size = literalStart + function.size() + 1 + field.size() + 1;
    std::vector<uint8_t> out(size, 0);
    Put16(out, 0, kExprVersion);
    Put16(out, 2, static_cast<uint16_t>(size));
    Put16(out, 4, 0xFFFF);
    Put16(out, kExprNodeOffsetAt, static_cast<uint16_t>(nodeStart));
    Put16(out, kExprLiteralOffsetAt, static_cast<uint16_t>(literalStart));
    const uint16_t itemAt = kNodeSize, fieldAt = 2 * kNodeSize;
    const uint16_t functionName = 0, fieldName = static_cast<uint16_t>(function.size() + 1);
    size_t at = nodeStart;
    auto node = [&](uint32_t kind, uint32_t op, uint16_t a, uint16_t b) {
        Put32(out, at, kind);
        Put32(out, at + 4, op);
        Put16(out, at + 8, a);
        Put16(out, at + 10, b);
        at += kNodeSize;
    };
    node(EXPR_FUNCTION, OP_FUNCTION, functionName, itemAt);
    node(EXPR_LIST_ITEM, OP_LIST_ITEM, fieldAt, 0);  // 0: no next item
    node(EXPR_FIELD, OP_FIELD, static_cast<uint16_t>(fieldNo), fieldName);
    std::memcpy(out.data() + literalStart + functionName, function.c_str(), function.size() + 1);
    std::memcpy(out.data() + literalStart + fieldName, field.c_str(), field.size() + 1);
    return out;
}

FieldDesc Describe(const std::string& name, uint32_t type, uint32_t units1) {
    FieldDesc f{};
    std::strncpy(f.name, name.c_str(), sizeof f.name - 1);
    f.type = type;
    f.units1 = units1;
    return f;
}

}  // namespace

TGroupTotals::TGroupTotals(int columnCount, uint32_t keyWidth, std::vector<int> extremeColumns)
    : columnCount_(columnCount), keyWidth_(keyWidth), extremeColumns_(std::move(extremeColumns)) {
    dataset_.reset(engine::CreateDataset());
    cursor_.reset(engine::CreateCursor());
    std::vector<FieldDesc> fields{Describe(kKeyName, FLD_STRING, keyWidth)};
    for (int c = 0; c < columnCount; ++c) fields.push_back(Describe(ColumnName(c), FLD_FLOAT, 0));
    Check(dataset_->DefineFields(static_cast<uint32_t>(fields.size()), fields.data(), "TOTALS"));
    // Rows are only ever added: no change log to keep.
    Check(dataset_->WriteProperty(PROP_LOGGING, 0));
    Check(cursor_->AttachDataset(dataset_.get()));
    DatasetProps props{};
    Check(cursor_->ReadCursorProps(&props));
    record_.assign(props.recordSize, 0);
}

TGroupTotals::~TGroupTotals() {
    cursor_.reset();  // the cursor goes before its dataset
}

void TGroupTotals::Check(uint32_t result) const {
    const uint16_t code = ResultCode(result);
    if (code == DS_OK) return;
    char buffer[256] = {0};
    std::string message;
    if (dataset_ && dataset_->ErrorText(code, buffer) == DS_OK) message = buffer;
    if (message.empty()) message = dsmsg::Format(dsmsg::kEngineError, {std::to_string(code)});
    throw EDatabaseError(message, code);
}

void TGroupTotals::Add(const std::string& key, std::span<const std::optional<double>> values) {
    if (key.size() > keyWidth_ || values.size() != static_cast<size_t>(columnCount_))
        Check(DSERR_INVALIDPARAM);
    Check(cursor_->PrepareRecord(record_.data()));
    Check(cursor_->WriteFieldValue(record_.data(), kKeyField, key.c_str()));
    for (int c = 0; c < columnCount_; ++c) {
        const std::optional<double>& value = values[static_cast<size_t>(c)];
        const uint32_t fieldNo = kKeyField + 1 + static_cast<uint32_t>(c);
        Check(cursor_->WriteFieldValue(record_.data(), fieldNo, value ? &*value : nullptr));
    }
    Check(cursor_->AddRecord(record_.data()));
}

std::vector<TGroupTotals::TGroup> TGroupTotals::Groups() {
    // The index is made once the rows are in: one sort instead of an insert
    // into the order per row.
    if (!indexed_) {
        IndexDesc byKey{};
        std::strncpy(byKey.name, kIndexName, sizeof byKey.name - 1);
        byKey.fieldCount = 1;
        byKey.fields[0] = kKeyField;
        Check(dataset_->MakeIndex(&byKey));
        Check(cursor_->SelectIndex(kIndexName));
        indexed_ = true;
    }
    // Handles: rows, then sum and count of every column, min and max of
    // those that keep them (0: none).
    struct THandles {
        uint32_t sum = 0, count = 0, min = 0, max = 0;
    };
    auto attach = [this](const char* function, const std::string& field, uint32_t fieldNo) {
        const std::vector<uint8_t> e = AggregateExpression(function, field, fieldNo);
        uint32_t handle = 0;
        Check(cursor_->AttachAggregate(1, static_cast<uint32_t>(e.size()), e.data(), &handle));
        return handle;
    };
    std::vector<uint32_t> attached;
    const uint32_t rows = attach("COUNT", kKeyName, kKeyField);
    attached.push_back(rows);
    std::vector<THandles> handles(static_cast<size_t>(columnCount_));
    for (int c = 0; c < columnCount_; ++c) {
        const std::string name = ColumnName(c);
        const uint32_t fieldNo = kKeyField + 1 + static_cast<uint32_t>(c);
        THandles& h = handles[static_cast<size_t>(c)];
        h.sum = attach("SUM", name, fieldNo);
        h.count = attach("COUNT", name, fieldNo);
        attached.insert(attached.end(), {h.sum, h.count});
        if (std::find(extremeColumns_.begin(), extremeColumns_.end(), c) != extremeColumns_.end()) {
            h.min = attach("MIN", name, fieldNo);
            h.max = attach("MAX", name, fieldNo);
            attached.insert(attached.end(), {h.min, h.max});
        }
    }
    auto readNumber = [this](uint32_t handle, bool* blank) {
        uint8_t value[16] = {};
        uint32_t isBlank = 0;
        Check(cursor_->ReadAggregateValue(handle, value, &isBlank));
        *blank = isBlank != 0;
        double d = 0;
        std::memcpy(&d, value, sizeof d);
        return d;
    };
    auto readCount = [this](uint32_t handle) {
        uint8_t value[16] = {};
        uint32_t blank = 0;
        Check(cursor_->ReadAggregateValue(handle, value, &blank));
        int32_t n = 0;
        std::memcpy(&n, value, sizeof n);
        return blank ? 0 : n;
    };

    std::vector<TGroup> groups;
    std::vector<char> key(keyWidth_ + 1, 0);
    Check(cursor_->GoBeforeFirst());
    for (;;) {
        const EngineResult moved = cursor_->SkipToNextGroup(1);
        if (ResultCode(moved) == DSERR_EOF) break;
        Check(moved);
        TGroup group;
        uint32_t blank = 0;
        std::fill(key.begin(), key.end(), 0);
        Check(cursor_->ReadFieldValue(nullptr, kKeyField, key.data(), &blank));
        if (!blank) group.key = key.data();
        group.rows = readCount(rows);
        for (const THandles& h : handles) {
            TColumn column;
            column.count = readCount(h.count);
            bool none = false;
            const double sum = readNumber(h.sum, &none);
            if (!none) column.sum = sum;
            if (h.min != 0) {
                const double min = readNumber(h.min, &none);
                if (!none) column.min = min;
                const double max = readNumber(h.max, &none);
                if (!none) column.max = max;
            }
            group.columns.push_back(column);
        }
        groups.push_back(std::move(group));
    }
    for (uint32_t handle : attached) Check(cursor_->DetachAggregate(handle));
    return groups;
}

}  // namespace sarvenu
