// Writing a dataset as a datapacket: the columns with their parameters, the
// dataset parameters, then the rows with the detail rows of nested datasets
// inside their master rows.
//
// Record numbers and link values are handed out afresh when a packet is
// read, so the writer first plans which records go out in which order and
// translates the change logs of nested datasets (and detail-change link
// numbers) to the numbers the reader will give them. Versions of one master
// record share its link value; its detail rows go out once, under the last
// version, and the reader hands that link back to the earlier versions.
#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>

#include "changes/change_log.h"
#include "dataset/dataset.h"
#include "dataset/parameter_list.h"
#include "index/index.h"
#include "packet/packet_objects.h"
#include "packet/packet_writer.h"
#include "store/bcd.h"
#include "store/field_types.h"
#include "store/utf16_cut.h"

namespace pelmora {

namespace {

constexpr uint32_t kLinkNotFetched = 0x80000000u;
constexpr uint32_t kWordUint16 = (PKT_UINT << PKT_BASE_SHIFT) | 2;                   // 0x00020002
constexpr uint32_t kWordSubtype = PKT_VARYING | (PKT_STRING << PKT_BASE_SHIFT) | 2;  // 0x00490002
constexpr uint32_t kWordKeyList = PKT_REPEATED | (PKT_UINT << PKT_BASE_SHIFT) | 2;   // 0x00820002
constexpr uint32_t kWordLog = PKT_REPEATED | (PKT_UINT << PKT_BASE_SHIFT) | 4;       // 0x00820004
constexpr uint32_t kWordInt32 = (PKT_INT << PKT_BASE_SHIFT) | 4;                     // 0x00010004
constexpr uint32_t kWordLinks = PKT_REPEATED | (PKT_INT << PKT_BASE_SHIFT) | 2;      // 0x00810002

bool HasWidthParameter(uint32_t type) {
    return type == FLD_STRING || type == FLD_VARBYTES || type == FLD_UNICODE || type == FLD_BLOB ||
           type == FLD_BCD;
}

// Decimal places belong to packed decimals; the child count a nested-dataset
// field carries in units2 is no decimal count.
bool HasDecimals(const FieldDesc& f) {
    return f.units2 != 0 && f.type != FLD_ADT && f.type != FLD_ARRAY && f.type != FLD_TABLE &&
           f.type != FLD_REF;
}

void AppendLE(std::vector<uint8_t>& out, uint32_t value, uint32_t width) {
    for (uint32_t i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

class DatasetWriter {
  public:
    explicit DatasetWriter(IDSPacketWriter* writer)
        : w_(writer), direct_(dynamic_cast<TDATAPACKET_WRITE*>(writer)) {}
    EngineResult Write(TDSBASE& ds, SAFEARRAY** out);

  private:
    struct Plan {
        std::vector<uint32_t> records;                   // in the order they are written
        std::vector<uint8_t> statuses;                   // row status of each
        std::unordered_map<uint32_t, uint32_t> newLink;  // link value -> value on reading
        // Per nested-dataset field: link value -> the record its rows go under.
        std::unordered_map<uint32_t, std::unordered_map<uint32_t, uint32_t>> owner;
        // Per nested-dataset field: link value -> the detail records, in order.
        std::unordered_map<uint32_t, std::unordered_map<uint32_t, std::vector<uint32_t>>> details;
    };

    // Which records of a dataset are written at all, and with which status.
    static bool Select(const TDSBASE& ds, uint32_t record, uint8_t* status);
    EngineResult MakePlan(TDSBASE& ds, std::vector<uint32_t> records);
    std::vector<uint32_t> Columns(const TDSBASE& ds) const;
    PacketColumnDesc ColumnOf(const TDSBASE& ds, uint32_t k) const;
    void FlatColumns(const TDSBASE& ds, std::vector<PacketColumnDesc>& out) const;
    EngineResult WriteMetadata(TDSBASE& ds);
    EngineResult WriteDatasetParameters(TDSBASE& ds);
    EngineResult WriteRow(TDSBASE& ds, const std::vector<uint32_t>& columns, uint32_t record,
                          uint8_t status);
    EngineResult WriteValue(TDSBASE& ds, uint32_t record, uint32_t k);
    EngineResult Put(const std::vector<uint8_t>& bytes, const char* name, uint32_t typeWord) {
        return w_->AddParameter(1, name, typeWord, static_cast<uint32_t>(bytes.size()),
                                bytes.data());
    }

    // One row item; the engine's own writer is called without the interface.
    EngineResult PutValue(uint32_t status, uint32_t length, const void* value) {
        if (direct_ != nullptr) return direct_->TDATAPACKET_WRITE::PutValue(status, length, value);
        return w_->PutValue(status, length, value);
    }
    // Bytes the rows of a dataset can take at most (nested rows and BLOB
    // contents not counted): the writer reserves that once.
    static size_t RowBytesBound(const TDSBASE& ds, const std::vector<uint32_t>& columns,
                                size_t rows);

    IDSPacketWriter* w_;
    TDATAPACKET_WRITE* direct_;
    std::unordered_map<const TDSBASE*, Plan> plans_;
    std::vector<uint8_t> blob_;
};

bool DatasetWriter::Select(const TDSBASE& ds, uint32_t record, uint8_t* status) {
    const uint8_t s = ds.store().StatusAt(record);
    if (ds.log_ && !ds.log_->empty()) {
        *status = s;
        return true;
    }
    if (s == 0) {
        *status = 0;
        return true;
    }
    if ((s & REC_DISCARDED) != 0) return false;
    if (!ds.logging_on() && !ds.delta_mode()) {
        if ((s & (REC_SUPERSEDED | REC_DELETED)) != 0) return false;
        *status = 0;
        return true;
    }
    *status = s;
    return true;
}

EngineResult DatasetWriter::MakePlan(TDSBASE& ds, std::vector<uint32_t> records) {
    Plan& plan = plans_[&ds];
    plan.records = std::move(records);
    plan.statuses.reserve(plan.records.size());
    for (uint32_t r : plan.records) {
        uint8_t status = 0;
        Select(ds, r, &status);
        plan.statuses.push_back(status);
    }

    // Link values as the reader will count them: one per non-blank
    // nested-dataset value, in row order. Every version of a record reads
    // back with the link of the version that carries the detail rows.
    std::vector<uint32_t> tableFields;
    for (uint32_t k : Columns(ds)) {
        if (ds.fields_[k - 1].type == FLD_TABLE) tableFields.push_back(k);
    }
    auto linkOf = [&ds](uint32_t r, uint32_t k, uint32_t* link) {
        if (ds.store().IndicatorAt(r, k) != IND_VALUE) return false;
        std::memcpy(link, ds.store().ValueAt(r, k), 4);
        return true;
    };
    for (uint32_t r : plan.records) {
        for (uint32_t k : tableFields) {
            uint32_t link = 0;
            if (linkOf(r, k, &link)) plan.owner[k][link & ~kLinkNotFetched] = r;  // last wins
        }
    }
    uint32_t counter = 0;
    for (uint32_t r : plan.records) {
        for (uint32_t k : tableFields) {
            uint32_t link = 0;
            if (!linkOf(r, k, &link)) continue;
            ++counter;
            if ((link & kLinkNotFetched) == 0 && plan.owner[k][link] == r)
                plan.newLink[link] = counter;
        }
    }

    for (uint32_t k : tableFields) {
        const NestedDetail* nested = ds.NestedFor(k);
        if (nested == nullptr) continue;
        TDSBASE& child = *nested->dataset;
        auto& byLink = plan.details[k];
        for (uint32_t d = 1; d < child.next_record(); ++d) {
            uint8_t status = 0;
            if (child.linkField_ == 0 || !Select(child, d, &status)) continue;
            if (child.store().IndicatorAt(d, child.linkField_) != IND_VALUE) continue;
            uint32_t link = 0;
            std::memcpy(&link, child.store().ValueAt(d, child.linkField_), 4);
            byLink[link].push_back(d);
        }
        std::vector<uint32_t> childRecords;
        for (uint32_t r : plan.records) {
            if (ds.store().IndicatorAt(r, k) != IND_VALUE) continue;
            uint32_t link = 0;
            std::memcpy(&link, ds.store().ValueAt(r, k), 4);
            if ((link & kLinkNotFetched) != 0 || plan.owner[k][link] != r) continue;
            auto it = byLink.find(link);
            if (it != byLink.end())
                childRecords.insert(childRecords.end(), it->second.begin(), it->second.end());
        }
        if (EngineResult r = MakePlan(child, std::move(childRecords)); r != DS_OK) return r;
    }
    return DS_OK;
}

std::vector<uint32_t> DatasetWriter::Columns(const TDSBASE& ds) const {
    std::vector<uint32_t> columns;
    for (uint32_t k = 1; k <= ds.field_count(); ++k) {
        const FieldDesc& f = ds.fields_[k - 1];
        if (f.calculated == 2 && (f.attributes & ATTR_LINK) == 0) continue;
        if (k == ds.linkField_ && ds.autoLinkField_) continue;
        columns.push_back(k);
    }
    return columns;
}

PacketColumnDesc DatasetWriter::ColumnOf(const TDSBASE& ds, uint32_t k) const {
    const FieldDesc& f = ds.fields_[k - 1];
    PacketColumnDesc column = ColumnFromField(f);
    if (f.type == FLD_TABLE) {
        // The nested level has as many columns as the nested dataset writes.
        const NestedDetail* nested = ds.NestedFor(k);
        const auto count =
            nested != nullptr ? static_cast<uint32_t>(Columns(*nested->dataset).size()) : 0u;
        column.typeWord = PKT_COMPOSITE | PKT_COMPOSITE_TABLE | (PKT_TABLE << PKT_BASE_SHIFT) |
                          (count & PKT_WIDTH_MASK);
    }
    return column;
}

void DatasetWriter::FlatColumns(const TDSBASE& ds, std::vector<PacketColumnDesc>& out) const {
    for (uint32_t k : Columns(ds)) {
        out.push_back(ColumnOf(ds, k));
        const NestedDetail* nested = ds.NestedFor(k);
        if (ds.fields_[k - 1].type == FLD_TABLE && nested != nullptr)
            FlatColumns(*nested->dataset, out);
    }
}

EngineResult DatasetWriter::WriteMetadata(TDSBASE& ds) {
    for (uint32_t k : Columns(ds)) {
        const FieldDesc& f = ds.fields_[k - 1];
        const PacketColumnDesc column = ColumnOf(ds, k);
        if (EngineResult r = w_->AddColumn(&column); r != DS_OK) return r;
        if (const char* subtype = SubtypeName(f.subtype); subtype != nullptr) {
            const auto length = static_cast<uint32_t>(std::strlen(subtype) + 1);
            if (EngineResult r = w_->AddParameter(0, "SUBTYPE", kWordSubtype, length, subtype);
                r != DS_OK)
                return r;
        }
        if (HasDecimals(f)) {
            const auto places = static_cast<uint16_t>(f.units2);
            if (EngineResult r = w_->AddParameter(0, "DECIMALS", kWordUint16, 2, &places);
                r != DS_OK)
                return r;
        }
        if (f.units1 != 0 && HasWidthParameter(f.type)) {
            const auto width = static_cast<uint16_t>(f.units1);
            if (EngineResult r = w_->AddParameter(0, "WIDTH", kWordUint16, 2, &width); r != DS_OK)
                return r;
        }
        if (f.calculated != 0 && (f.attributes & ATTR_LINK) == 0) {
            const uint16_t one = 1;
            if (EngineResult r = w_->AddParameter(0, "CALCULATED", kWordUint16, 2, &one);
                r != DS_OK)
                return r;
        }
        for (size_t i = 0; i < ds.params_->size(); ++i) {
            const ParameterEntry& p = ds.params_->at(i);
            if (p.field != k) continue;
            const uint8_t none = 0;
            EngineResult r = w_->AddParameter(0, p.name.c_str(), p.typeWord, p.length(),
                                              p.value.empty() ? &none : p.value.data());
            if (r != DS_OK) return r;
        }
        if (f.type == FLD_TABLE) {
            const NestedDetail* nested = ds.NestedFor(k);
            if (nested != nullptr) {
                if (EngineResult r = WriteMetadata(*nested->dataset); r != DS_OK) return r;
            } else {
                // A nested-dataset field without a dataset has an empty level.
                if (EngineResult r = w_->AddParameter(1, "", 0, 0, nullptr); r != DS_OK) return r;
            }
        }
    }
    if (EngineResult r = WriteDatasetParameters(ds); r != DS_OK) return r;
    return w_->AddParameter(1, "", 0, 0, nullptr);
}

EngineResult DatasetWriter::WriteDatasetParameters(TDSBASE& ds) {
    std::vector<uint8_t> bytes;
    if (!ds.delta_mode()) {
        DSIDX* order = ds.defaultIndex_;
        if (ds.defaultOrderByMakeIndex_ && order != nullptr) {
            const IndexDesc& desc = order->desc();
            const uint32_t n = std::min<uint32_t>(desc.fieldCount, 16);
            bytes.clear();
            AppendLE(bytes, n, 4);
            for (uint32_t i = 0; i < n; ++i) {
                uint32_t value = desc.fields[i];
                if (desc.descending[i] != 0) value |= 0x8000;
                if (desc.caseInsensitive[i] != 0) value |= 0x4000;
                AppendLE(bytes, value, 2);
            }
            if (EngineResult r = Put(bytes, "DEFAULT_ORDER", kWordKeyList); r != DS_OK) return r;
            if (desc.unique != 0) {
                bytes.clear();
                AppendLE(bytes, n, 4);
                for (uint32_t i = 0; i < n; ++i) AppendLE(bytes, desc.fields[i], 2);
                const char* name = desc.unique == 2 ? "PRIMARY_KEY" : "UNIQUE_KEY";
                if (EngineResult r = Put(bytes, name, kWordKeyList); r != DS_OK) return r;
            }
        }
        if (ds.log_ && !ds.log_->empty()) {
            // The reader numbers records and links afresh; the log follows.
            const Plan& plan = plans_[&ds];
            // Record -> its number on reading (0: not written).
            std::vector<uint32_t> newNumber(ds.next_record(), 0);
            for (size_t i = 0; i < plan.records.size(); ++i) {
                if (plan.records[i] < newNumber.size())
                    newNumber[plan.records[i]] = static_cast<uint32_t>(i + 1);
            }
            auto number = [&](uint32_t record) {
                return record < newNumber.size() ? newNumber[record] : 0u;
            };
            std::vector<uint32_t> values;
            for (const LogEntry& e : ds.log_->entries()) {
                const uint32_t action = e.action;
                const uint32_t record = number(e.record);
                uint32_t previous = e.previous;
                if ((action & 0xFF) == LOG_DETAIL_CHANGED) {
                    auto it = plan.newLink.find(e.previous);
                    if (it != plan.newLink.end()) previous = it->second;
                } else if (e.previous != 0) {
                    previous = number(e.previous);
                    if (previous == 0) continue;
                }
                if (record == 0 && e.record != 0) continue;
                values.push_back(record);
                values.push_back(previous);
                values.push_back(action);
            }
            bytes.clear();
            AppendLE(bytes, static_cast<uint32_t>(values.size()), 4);
            for (uint32_t v : values) AppendLE(bytes, v, 4);
            if (EngineResult r = Put(bytes, "CHANGE_LOG", kWordLog); r != DS_OK) return r;
        }
        if (ds.autoinc_field() != 0) {
            bytes.clear();
            AppendLE(bytes, ds.next_autoinc(), 4);
            if (EngineResult r = Put(bytes, "AUTOINCVALUE", kWordInt32); r != DS_OK) return r;
        }
        for (const NestedDetail& nested : ds.nested_) {
            if (nested.masterFields.empty()) continue;
            const auto k = static_cast<uint32_t>(nested.masterFields.size());
            bytes.clear();
            AppendLE(bytes, 2 * k + 1, 4);
            AppendLE(bytes, nested.field, 2);
            for (uint32_t f : nested.masterFields) AppendLE(bytes, f, 2);
            for (uint32_t f : nested.detailFields) AppendLE(bytes, f, 2);
            if (EngineResult r = Put(bytes, "MD_FIELDLINKS", kWordLinks); r != DS_OK) return r;
        }
    }
    for (size_t i = 0; i < ds.params_->size(); ++i) {
        const ParameterEntry& p = ds.params_->at(i);
        if (p.field != 0) continue;
        const uint8_t none = 0;
        EngineResult r = w_->AddParameter(1, p.name.c_str(), p.typeWord, p.length(),
                                          p.value.empty() ? &none : p.value.data());
        if (r != DS_OK) return r;
    }
    return DS_OK;
}

EngineResult DatasetWriter::WriteRow(TDSBASE& ds, const std::vector<uint32_t>& columns,
                                     uint32_t record, uint8_t status) {
    if (EngineResult r = PutValue(0, 1, &status); r != DS_OK) return r;
    for (uint32_t k : columns) {
        if (EngineResult r = WriteValue(ds, record, k); r != DS_OK) return r;
    }
    return DS_OK;
}

EngineResult DatasetWriter::WriteValue(TDSBASE& ds, uint32_t record, uint32_t k) {
    const FieldDesc& f = ds.fields_[k - 1];
    const RecordStore& store = ds.store();
    const uint8_t indicator = store.IndicatorAt(record, k);
    if (indicator == IND_BLANK) return PutValue(1, 0, nullptr);
    if (indicator == IND_UNCHANGED) return PutValue(2, 0, nullptr);
    const uint8_t* value = store.ValueAt(record, k);
    static const uint8_t kZero[4] = {};
    switch (f.type) {
        case FLD_STRING: {
            const auto length =
                static_cast<uint32_t>(strnlen(reinterpret_cast<const char*>(value), f.length));
            // An empty string that is not blank travels as one zero byte.
            return length == 0 ? PutValue(0, 1, kZero) : PutValue(0, length, value);
        }
        case FLD_VARBYTES:
        case FLD_UNICODE: {
            uint16_t count = 0;
            std::memcpy(&count, value, 2);
            size_t keep = std::min<size_t>({count, f.units1, f.length - 2u});
            if (f.type == FLD_UNICODE) keep = CutUtf16(value + 2, keep, keep);
            if (keep == 0) return PutValue(1, 0, nullptr);
            return PutValue(0, static_cast<uint32_t>(keep), value + 2);
        }
        case FLD_BLOB: {
            uint32_t ref = 0;
            std::memcpy(&ref, value, 4);
            if ((ref & kLinkNotFetched) != 0) return PutValue(0, ref, kZero);
            if (ref == 0 || ds.blobs_ == nullptr) return PutValue(1, 0, nullptr);
            uint32_t length = 0;
            if (EngineResult r = ds.blobs_->Length(ref, length); r != DS_OK) return r;
            try {
                if (blob_.size() < length + 1u) blob_.resize(length + 1u);
            } catch (const std::bad_alloc&) {
                return DSERR_NOMEMORY;
            }
            if (EngineResult r = ds.blobs_->Read(ref, 0, blob_.data(), length); r != DS_OK)
                return r;
            return PutValue(0, length, blob_.data());
        }
        case FLD_BCD: {
            uint8_t packed[kBcdPacketSize];
            BcdFieldToPacket(value, f.length, packed);
            return PutValue(0, kBcdPacketSize, packed);
        }
        case FLD_ADT:
        case FLD_ARRAY:
            return PutValue(0, 0, kZero);
        case FLD_TABLE: {
            uint32_t link = 0;
            std::memcpy(&link, value, 4);
            if ((link & kLinkNotFetched) != 0) {
                const uint32_t notFetched = kLinkNotFetched;
                return PutValue(0, 4, &notFetched);
            }
            const NestedDetail* nested = ds.NestedFor(k);
            Plan& plan = plans_[&ds];
            const std::vector<uint32_t>* rows = nullptr;
            if (nested != nullptr && plan.owner[k][link] == record) {
                auto it = plan.details[k].find(link);
                if (it != plan.details[k].end()) rows = &it->second;
            }
            const uint32_t count = rows != nullptr ? static_cast<uint32_t>(rows->size()) : 0;
            if (EngineResult r = PutValue(0, 4, &count); r != DS_OK) return r;
            if (rows == nullptr) return DS_OK;
            TDSBASE& child = *nested->dataset;
            const std::vector<uint32_t> childColumns = Columns(child);
            for (uint32_t d : *rows) {
                uint8_t status = 0;
                Select(child, d, &status);
                if (EngineResult r = WriteRow(child, childColumns, d, status); r != DS_OK) return r;
            }
            return DS_OK;
        }
        default:
            return PutValue(0, f.length, value);
    }
}

size_t DatasetWriter::RowBytesBound(const TDSBASE& ds, const std::vector<uint32_t>& columns,
                                    size_t rows) {
    size_t row = 1 + (columns.size() + 3) / 4;  // status byte and bitmap
    for (uint32_t k : columns) {
        const FieldDesc& f = ds.fields_[k - 1];
        switch (f.type) {
            case FLD_STRING:
            case FLD_VARBYTES:
            case FLD_UNICODE:
                row += 4 + size_t{f.length};  // the longest length prefix
                break;
            case FLD_BCD:
                row += kBcdPacketSize;
                break;
            case FLD_BLOB:
            case FLD_TABLE:
            case FLD_ADT:
            case FLD_ARRAY:
                row += 4;
                break;
            default:
                row += f.length;
                break;
        }
    }
    // A hint only: far beyond what memory could hold, ask for nothing.
    constexpr size_t kMaxHint = size_t{1} << 32;
    return rows > kMaxHint / row ? 0 : rows * row;
}

EngineResult DatasetWriter::Write(TDSBASE& ds, SAFEARRAY** out) {
    const std::vector<uint32_t> columns = Columns(ds);
    if (columns.empty()) return DSERR_NOTSUPPORTED;
    if (columns.size() > 0xFFFF) return DSERR_INVALIDPARAM;
    std::vector<uint32_t> records;
    for (uint32_t r = 1; r < ds.next_record(); ++r) {
        uint8_t status = 0;
        if (Select(ds, r, &status)) records.push_back(r);
    }
    if (EngineResult r = MakePlan(ds, std::move(records)); r != DS_OK) return r;

    if (ds.noMetadata_ == 0) {
        if (EngineResult r = w_->BeginPacket(2, static_cast<uint16_t>(columns.size())); r != DS_OK)
            return r;
        w_->SetXmlOutput(ds.xmlMode_);
        if (EngineResult r = WriteMetadata(ds); r != DS_OK) return r;
    } else {
        std::vector<PacketColumnDesc> flat;
        FlatColumns(ds, flat);
        if (flat.size() > 0xFFFF) return DSERR_INVALIDPARAM;
        EngineResult r = w_->BeginRowsOnly(2, static_cast<uint16_t>(flat.size()), flat.data());
        if (r != DS_OK) return r;
        w_->SetXmlOutput(ds.xmlMode_);
    }
    const Plan& plan = plans_[&ds];
    if (direct_ != nullptr) direct_->ReserveHint(RowBytesBound(ds, columns, plan.records.size()));
    for (size_t i = 0; i < plan.records.size(); ++i) {
        if (EngineResult r = WriteRow(ds, columns, plan.records[i], plan.statuses[i]); r != DS_OK)
            return r;
    }
    return w_->TakePacket(out);
}

EngineResult TDSBASE::WritePacket(SAFEARRAY** out) {
    if (out == nullptr) return DSERR_INVALIDPARAM;
    std::lock_guard guard(lock_);
    *out = nullptr;
    if (fields_.empty()) return DSERR_DATAPACKETMISMATCH;
    IDSPacketWriter* writer = NewPacketWriter();
    if (writer == nullptr) return DSERR_NOMEMORY;
    writer->AddRef();
    EngineResult r = DS_OK;
    try {
        DatasetWriter packet(writer);
        r = packet.Write(*this, out);
    } catch (const std::bad_alloc&) {
        r = DSERR_NOMEMORY;
    }
    writer->Release();
    return r;
}

}  // namespace pelmora
