// Reading datapackets into a dataset: creating a dataset from a packet's
// columns and parameters (nested datasets included) and reading rows into
// the store, for the first packet and for later packets appended to it.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <unordered_map>

#include "changes/change_log.h"
#include "dataset/dataset.h"
#include "dataset/dataset_loader.h"
#include "dataset/parameter_list.h"
#include "index/index.h"
#include "packet/packet_format.h"
#include "packet/packet_objects.h"
#include "packet/packet_reader.h"
#include "platform/collation.h"
#include "store/bcd.h"
#include "store/field_types.h"

namespace pelmora {

namespace {

constexpr uint32_t kLinkNotFetched = 0x80000000u;
constexpr size_t kMaxFields = 0xFFFF;

// The name the expansion gives the first descriptor of array element i.
void ElementName(const char* base, uint32_t index, char (&name)[32]) {
    char suffix[16];
    const int suffixLength = std::snprintf(suffix, sizeof suffix, "[%u]", index);
    const size_t room = sizeof name - 1 - static_cast<size_t>(suffixLength);
    const size_t baseLength = std::min(strnlen(base, sizeof name - 1), room);
    std::memset(name, 0, sizeof name);
    std::memcpy(name, base, baseLength);
    std::memcpy(name + baseLength, suffix, static_cast<size_t>(suffixLength));
}

uint32_t LoadLE(const uint8_t* p, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n && i < 4; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
}

}  // namespace

EngineResult DatasetLoader::ReadParameter(PendingParameter& out) {
    if (out.value.empty()) out.value.resize(64);
    for (;;) {
        auto length = static_cast<uint32_t>(out.value.size());
        EngineResult r = reader_->NextParameter(out.name, &out.typeWord, &length, out.value.data());
        if (r == DSERR_INVALIDPARAM && length > out.value.size()) {
            out.value.resize(length);
            continue;
        }
        if (r != DS_OK) return r;
        out.value.resize(length);
        return DS_OK;
    }
}

EngineResult DatasetLoader::ApplyColumnParameter(FieldDesc& f, const PendingParameter& p,
                                                 bool* keep) {
    const uint32_t id = ParameterId(p.name);
    const uint32_t value = LoadLE(p.value.data(), p.value.size());
    *keep = false;
    switch (id) {
        case PARAM_SUBTYPE: {
            if (PacketBaseType(p.typeWord) != PKT_STRING) return DSERR_INVALIDPARAM;
            std::string text(p.value.begin(), p.value.end());
            text.resize(strnlen(text.c_str(), text.size()));
            uint32_t code = 0;
            if (SubtypeFromName(text.c_str(), code) == DS_OK) {
                f.subtype = code;
                if (code == SUBTYPE_AUTOINC) f.attributes |= ATTR_READONLY;
            } else {
                f.subtype = kUnknownSubtype;
                *keep = true;
            }
            return DS_OK;
        }
        case PARAM_DECIMALS:
            f.units2 = value;
            return DS_OK;
        case PARAM_WIDTH:
        case PARAM_ELEMENTS:
            f.units1 = value;
            return DS_OK;
        case PARAM_CALCULATED:
            f.calculated = value;
            return DS_OK;
        default:
            *keep = true;
            return DS_OK;
    }
}

EngineResult DatasetLoader::ReadLevel(TDSBASE& ds, bool nested) {
    std::vector<FieldDesc> cols;
    std::vector<TDSBASE*> children;
    std::vector<PendingParameter> columnParams;
    std::vector<PendingParameter> datasetParams;
    auto fail = [&](EngineResult r) {
        for (TDSBASE* child : children) {
            if (child != nullptr) child->Release();
        }
        return r;
    };
    try {
        for (;;) {
            PacketColumnDesc column{};
            EngineResult r = reader_->NextColumn(&column);
            if (r == DSERR_EOF) break;
            if (r != DS_OK) return fail(r);
            if (cols.size() >= kMaxFields) return fail(DSERR_DATAPACKETMISMATCH);
            FieldDesc f{};
            if (r = FieldFromColumn(column, f); r != DS_OK) return fail(r);
            if (PacketBaseType(column.typeWord) == PKT_REF) {
                // A reference keeps its type; its value is as wide as the word says.
                f.type = FLD_REF;
                f.units1 = PacketWidth(column.typeWord);
                f.length = f.units1;
            }
            const auto index = static_cast<uint32_t>(cols.size());
            for (;;) {
                PendingParameter p;
                r = ReadParameter(p);
                if (r == DSERR_EOF) break;
                if (r != DS_OK) return fail(r);
                bool keep = false;
                if (r = ApplyColumnParameter(f, p, &keep); r != DS_OK) return fail(r);
                if (keep) {
                    p.column = index;
                    columnParams.push_back(std::move(p));
                }
            }
            cols.push_back(f);
            children.push_back(nullptr);
            if (f.type == FLD_TABLE) {
                TDSBASE* child = NewDataset();
                if (child == nullptr) return fail(DSERR_NOMEMORY);
                child->AddRef();
                children.back() = child;
                child->name_ = f.name;
                child->xmlMode_ = ds.xmlMode_;
                if (r = ReadLevel(*child, true); r != DS_OK) return fail(r);
            }
        }
        for (;;) {
            PendingParameter p;
            EngineResult r = ReadParameter(p);
            if (r == DSERR_EOF) break;
            if (r != DS_OK) return fail(r);
            datasetParams.push_back(std::move(p));
        }
        if (cols.empty()) return fail(DSERR_DATAPACKETMISMATCH);

        std::vector<FieldDesc> fields;
        std::vector<uint32_t> map(cols.size(), 0);
        size_t pos = 0;
        while (pos < cols.size()) {
            if (EngineResult r = Walk(cols, pos, fields, map); r != DS_OK) return fail(r);
        }
        if (EngineResult r = ds.Initialise(fields); r != DS_OK) return fail(r);
        ds.packetFieldCount_ = ds.field_count();
        ds.packetColumns_ = map;
        if (nested) {
            if (EngineResult r = ds.EnsureLinkField(); r != DS_OK) return fail(r);
        }
        for (size_t i = 0; i < children.size(); ++i) {
            if (children[i] == nullptr) continue;
            TDSBASE* child = children[i];
            children[i] = nullptr;  // AttachNested takes the reference, even on failure
            if (EngineResult r = ds.AttachNested(map[i], child); r != DS_OK) return fail(r);
        }
        for (const PendingParameter& p : columnParams) {
            const uint32_t id = ParameterId(p.name);
            EngineResult r =
                ds.params_->Add(ParameterFlags(id, p.typeWord), map[p.column], p.name, p.typeWord,
                                static_cast<uint32_t>(p.value.size()), p.value.data());
            if (r != DS_OK) return fail(r);
        }
        for (const PendingParameter& p : datasetParams) {
            EngineResult r = ds.ApplyParameter(
                0, p.name, p.typeWord, static_cast<uint32_t>(p.value.size()), p.value.data());
            if (r != DS_OK) return fail(r);
        }
    } catch (const std::bad_alloc&) {
        return fail(DSERR_NOMEMORY);
    }
    return DS_OK;
}

EngineResult DatasetLoader::Walk(const std::vector<FieldDesc>& cols, size_t& pos,
                                 std::vector<FieldDesc>& out, std::vector<uint32_t>& map) {
    if (pos >= cols.size() || out.size() >= kMaxFields) return DSERR_DATAPACKETMISMATCH;
    const FieldDesc field = cols[pos];
    const size_t self = out.size();
    out.push_back(field);
    map[pos] = static_cast<uint32_t>(self + 1);
    ++pos;
    if (field.type == FLD_ADT) {
        for (uint32_t child = 0; child < field.units1; ++child) {
            if (EngineResult r = Walk(cols, pos, out, map); r != DS_OK) return r;
        }
        out[self].units2 = static_cast<uint32_t>(out.size() - self - 1);
    } else if (field.type == FLD_ARRAY) {
        if (field.units1 == 0) return DSERR_INVALIDPARAM;
        const size_t first = out.size();
        if (EngineResult r = Walk(cols, pos, out, map); r != DS_OK) return r;
        const size_t block = out.size() - first;
        char name[32];
        ElementName(field.name, 0, name);
        std::memcpy(out[first].name, name, sizeof name);
        // An array written with all its elements names the second element
        // "<array>[1]"; such an array is taken as it is, not expanded again.
        ElementName(field.name, 1, name);
        const bool expanded =
            field.units1 > 1 && pos < cols.size() && std::strcmp(cols[pos].name, name) == 0;
        if (static_cast<uint64_t>(block) * field.units1 + self > kMaxFields)
            return DSERR_DATAPACKETMISMATCH;
        for (uint32_t i = 1; i < field.units1; ++i) {
            const size_t start = out.size();
            if (expanded) {
                if (EngineResult r = Walk(cols, pos, out, map); r != DS_OK) return r;
                if (out.size() - start != block) return DSERR_DATAPACKETMISMATCH;
            } else {
                for (size_t b = 0; b < block; ++b) {
                    const FieldDesc copy = out[first + b];
                    out.push_back(copy);
                }
                ElementName(field.name, i, name);
                std::memcpy(out[start].name, name, sizeof name);
            }
        }
        out[self].units2 = static_cast<uint32_t>(block * field.units1);
    }
    return DS_OK;
}

EngineResult DatasetLoader::FetchItem(uint32_t* length, uint32_t* status) {
    if (direct_ != nullptr) {
        TDATAPACKET_READ::InPlaceItem item;
        const EngineResult r = direct_->NextItemInPlace(&item);
        *length = item.length;
        *status = item.status;
        HoldItem(item);
        return r;
    }
    value_ = item_.data();
    for (;;) {
        *length = static_cast<uint32_t>(item_.size() - 1);
        EngineResult r = reader_->NextValue(length, item_.data(), status);
        if (r == DSERR_INVALIDPARAM && *length >= item_.size()) {
            try {
                item_.resize(static_cast<size_t>(*length) + 1);
            } catch (const std::bad_alloc&) {
                return DSERR_NOMEMORY;
            }
            continue;
        }
        value_ = item_.data();
        fetched_ = *length < item_.size();
        return r;
    }
}

EngineResult DatasetLoader::NextItem(uint32_t* length, uint32_t* status) {
    const EngineResult r = FetchItem(length, status);
    if (r == DSERR_FIELDISBLANK) return DS_OK;            // status says blank
    if (r == DSERR_EOF) return DSERR_DATAPACKETMISMATCH;  // fewer rows than announced
    return r;
}

uint32_t DatasetLoader::PreviousVersion(TDSBASE& ds, uint32_t record) {
    if (!ds.log_) return 0;
    auto it = previous_.find(&ds);
    if (it == previous_.end()) {
        std::vector<uint32_t> previous;
        for (const LogEntry& e : ds.log_->entries()) {
            if ((e.action & 0xFF) != LOG_MODIFY || e.record == 0 || e.record > 0x1000000) continue;
            if (previous.size() <= e.record) previous.resize(e.record + 1, 0);
            previous[e.record] = e.previous;
        }
        it = previous_.emplace(&ds, std::move(previous)).first;
    }
    return record < it->second.size() ? it->second[record] : 0;
}

EngineResult DatasetLoader::WriteItem(TDSBASE& ds, uint32_t rec, uint32_t k, bool modified,
                                      uint32_t length, uint32_t status) {
    RecordStore& store = ds.store_;
    const FieldDesc& f = ds.fields_[k - 1];
    EngineResult w = DS_OK;
    // Top-level scalar fields are written straight into their slots: the
    // general path below also looks after structured fields' containers.
    const bool plain = f.parentId == 0 && f.length != 0;
    if (status == 1 && plain) {
        // A slot never written still holds zeros: leaving it alone keeps
        // the pages of blank wide columns untouched.
        if (!store.SlotStillZero(rec, k)) std::memset(store.ValueSlot(rec, k), 0, f.length);
        store.SetIndicatorAt(rec, k, IND_BLANK);
    } else if (status == 1) {
        w = store.WriteValue(rec, k, nullptr);
    } else if (status == 2) {
        const uint32_t previous = modified ? PreviousVersion(ds, rec) : 0;
        if (previous != 0 && previous < rec) {
            // An unchanged item of a modified row: the earlier version's value.
            uint8_t indicator = IND_BLANK;
            store.ReadValue(previous, k, tmp_.data(), &indicator);
            w = store.WriteValue(rec, k, indicator == IND_VALUE ? tmp_.data() : nullptr);
            if (w == DS_OK && indicator != IND_VALUE) store.WriteIndicator(rec, k, indicator);
        } else {
            w = store.WriteValue(rec, k, nullptr);
            if (w == DS_OK) w = store.WriteIndicator(rec, k, IND_UNCHANGED);
        }
    } else if (f.type != FLD_BLOB && !fetched_) {
        // Only a BLOB may announce a not-fetched length without bytes.
        return DSERR_DATAPACKETMISMATCH;
    } else {
        switch (f.type) {
            case FLD_TABLE: {
                if (length != 4) return DSERR_DATAPACKETMISMATCH;
                uint32_t count = LoadLE(value_, 4);
                uint32_t link = ds.NextLinkValue();
                if (count == kLinkNotFetched) {
                    link |= kLinkNotFetched;
                    count = 0;
                }
                w = store.WriteValue(rec, k, &link);
                if (w == DS_OK && count != 0) {
                    const NestedDetail* nested = ds.NestedFor(k);
                    if (nested == nullptr) return DSERR_DATAPACKETMISMATCH;
                    w = ReadRows(*nested->dataset, count, link);
                }
                break;
            }
            case FLD_BLOB: {
                uint32_t ref = 0;
                if ((length & kLinkNotFetched) != 0) {
                    ref = length;
                } else if (length != 0 && ds.blobs_) {
                    w = ds.blobs_->Add(value_, length, ref);
                }
                if (w == DS_OK) w = store.WriteValue(rec, k, ref != 0 ? &ref : nullptr);
                break;
            }
            case FLD_STRING:
                if (plain) {
                    // At most width - 1 bytes, up to the first NUL; the rest zero.
                    const bool zero = store.SlotStillZero(rec, k);
                    uint8_t* slot = store.ValueSlot(rec, k);
                    const size_t limit = std::min<size_t>(length, f.length - 1);
                    const void* nul = std::memchr(value_, 0, limit);
                    const size_t n =
                        nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - value_)
                            : limit;
                    std::memcpy(slot, value_, n);
                    if (!zero) std::memset(slot + n, 0, f.length - n);
                    store.SetIndicatorAt(rec, k, IND_VALUE);
                } else {
                    // The store takes a NUL-terminated text.
                    if (item_.size() <= length) item_.resize(static_cast<size_t>(length) + 1);
                    if (value_ != item_.data()) std::memmove(item_.data(), value_, length);
                    item_[length] = 0;
                    w = store.WriteValue(rec, k, item_.data());
                }
                break;
            case FLD_VARBYTES:
            case FLD_UNICODE: {
                const uint32_t count = std::min<uint32_t>(length, 0xFFFF);
                if (tmp_.size() < count + 2u) tmp_.resize(count + 2u);
                tmp_[0] = static_cast<uint8_t>(count);
                tmp_[1] = static_cast<uint8_t>(count >> 8);
                std::memcpy(tmp_.data() + 2, value_, count);
                w = store.WriteValue(rec, k, tmp_.data());
                break;
            }
            case FLD_BCD: {
                if (length != kBcdPacketSize) return DSERR_DATAPACKETMISMATCH;
                uint8_t value[kBcdMaxBytes] = {};
                BcdPacketToField(value_, value, sizeof value);
                const uint32_t places = f.units2 & kBcdPlacesMask;
                const size_t bytes = BcdBytes(f.units1);
                if (plain && value[0] == f.units1 && (value[1] & kBcdPlacesMask) == places &&
                    bytes <= kBcdPacketSize && bytes <= f.length) {
                    // Already at the field's precision and places: the
                    // value's own bytes, the rest of the slot zero.
                    uint8_t* slot = store.ValueSlot(rec, k);
                    std::memcpy(slot, value, bytes);
                    std::memset(slot + bytes, 0, f.length - bytes);
                    store.SetIndicatorAt(rec, k, IND_VALUE);
                } else {
                    w = store.WriteValue(rec, k, value);
                }
                break;
            }
            default: {
                if (length >= f.length && plain) {
                    std::memcpy(store.ValueSlot(rec, k), value_, f.length);
                    store.SetIndicatorAt(rec, k, IND_VALUE);
                } else if (length >= f.length) {
                    w = store.WriteValue(rec, k, value_);
                } else {
                    // Narrower in the packet than in the record (8-bit types).
                    std::fill(tmp_.begin(), tmp_.begin() + f.length, 0);
                    std::memcpy(tmp_.data(), value_, length);
                    w = store.WriteValue(rec, k, tmp_.data());
                }
                break;
            }
        }
    }
    return w;
}

void DatasetLoader::NoteDataset(TDSBASE& ds) {
    // Rows of one dataset come in long runs: its entries in the maps are kept
    // at hand (map entries never move).
    if (&ds != lastDataset_) {
        auto it = unmapped_.find(&ds);
        if (it == unmapped_.end()) {
            std::vector<uint32_t> unmapped;
            std::vector<bool> mapped(ds.field_count() + 1, false);
            for (uint32_t k : ds.packetColumns_) mapped[k] = true;
            for (uint32_t k = 1; k <= ds.field_count(); ++k) {
                if (!mapped[k]) unmapped.push_back(k);
            }
            it = unmapped_.emplace(&ds, std::move(unmapped)).first;
        }
        lastUnmapped_ = &it->second;
        lastVisible_ = &visible_[&ds];
        lastDataset_ = &ds;
    }
}

EngineResult DatasetLoader::ReadRowStatus(TDSBASE& ds, bool untilEnd, uint8_t* rowStatus,
                                          bool* whole) {
    // Rows without nested rows come from the engine's reader in one piece.
    *whole = false;
    if (direct_ != nullptr) {
        rowItems_.resize(ds.packetColumns_.size());
        const EngineResult r =
            direct_->NextRowInPlace(rowStatus, rowItems_.data(), rowItems_.size());
        if (r == DSERR_EOF) return untilEnd ? DSERR_EOF : DSERR_DATAPACKETMISMATCH;
        if (r != DS_OK && r != DSERR_NOTSUPPORTED) return r;
        *whole = r == DS_OK;
        if (*whole) return DS_OK;
    }
    uint32_t length = 0;
    uint32_t status = 0;
    if (untilEnd) {
        // A packet that announces no row count ends where the reader says.
        if (FetchItem(&length, &status) == DSERR_EOF) return DSERR_EOF;
    } else if (EngineResult r = NextItem(&length, &status); r != DS_OK) {
        return r;
    }
    if (status != 0 || length != 1 || !fetched_) return DSERR_DATAPACKETMISMATCH;
    *rowStatus = value_[0];
    return DS_OK;
}

void DatasetLoader::WriteMasterLink(TDSBASE& ds, uint32_t rec, uint32_t masterLink) {
    // The link value is 32 bits; a packet may declare its link column with
    // another width, so the value goes through a zeroed buffer of that width.
    const uint32_t width = ds.fields_[ds.linkField_ - 1].length;
    const size_t room = std::max<size_t>(width, sizeof masterLink);
    if (tmp_.size() < room) tmp_.resize(room);
    std::fill(tmp_.begin(), tmp_.begin() + room, 0);
    std::memcpy(tmp_.data(), &masterLink, std::min<size_t>(width, sizeof masterLink));
    ds.store_.WriteValue(rec, ds.linkField_, tmp_.data());
}

EngineResult DatasetLoader::ReadRow(TDSBASE& ds, uint32_t masterLink, bool untilEnd) {
    uint32_t length = 0;
    uint32_t status = 0;
    uint8_t rowStatus = 0;
    bool whole = false;
    if (EngineResult r = ReadRowStatus(ds, untilEnd, &rowStatus, &whole); r != DS_OK) return r;
    if (EngineResult r = ds.EnsureCapacity(1); r != DS_OK) return r;
    RecordStore& store = ds.store_;
    const uint32_t rec = ds.next_record();
    store.SetStatus(rec, rowStatus);
    const bool modified = !ds.delta_mode() && (rowStatus & REC_MODIFIED) != 0;

    for (size_t column = 0; column < ds.packetColumns_.size(); ++column) {
        const uint32_t k = ds.packetColumns_[column];
        if (whole) {
            const TDATAPACKET_READ::InPlaceItem& item = rowItems_[column];
            length = item.length;
            status = item.status;
            HoldItem(item);
        } else if (EngineResult r = NextItem(&length, &status); r != DS_OK) {
            return r;
        }
        if (EngineResult w = WriteItem(ds, rec, k, modified, length, status); w != DS_OK) return w;
    }

    // Fields the packet has no column for.
    NoteDataset(ds);
    for (uint32_t k : *lastUnmapped_) store.WriteValue(rec, k, nullptr);
    if (ds.linkField_ != 0 && ds.master_ != nullptr) WriteMasterLink(ds, rec, masterLink);

    if (EngineResult r = store.SetNextRecord(rec + 1); r != DS_OK) return r;
    const bool live = (rowStatus & kNotLive) == 0;
    if (live) ++ds.liveCount_;
    if (live || ds.delta_mode()) ++*lastVisible_;
    return DS_OK;
}

EngineResult DatasetLoader::ReadRows(TDSBASE& ds, uint32_t count, uint32_t masterLink) {
    if (ds.packetColumns_.size() > tmp_.size()) tmp_.resize(ds.packetColumns_.size());
    uint32_t widest = 0;
    for (const FieldDesc& f : ds.fields_) widest = std::max(widest, f.length);
    if (tmp_.size() < widest + 2u) tmp_.resize(widest + 2u);
    const bool untilEnd = untilEnd_;
    const uint32_t expected = untilEnd ? 75 : std::min(count, maxRows_);  // 100 when unknown
    if (EngineResult r = ds.EnsureCapacity(expected + 25); r != DS_OK) return r;
    untilEnd_ = false;  // detail rows always come with their count
    if (direct_ != nullptr && masterLink == 0 && ds.master_ == nullptr && ds.nested_.empty())
        return ReadFlatRows(ds, count, untilEnd);
    for (uint32_t i = 0; i < count; ++i) {
        EngineResult r = ReadRow(ds, masterLink, untilEnd);
        if (r == DSERR_EOF && untilEnd) break;
        if (r != DS_OK) return r;
    }
    return DS_OK;
}

void DatasetLoader::JoinLinkChains(TDSBASE& ds) {
    for (const NestedDetail& nested : ds.nested_) JoinLinkChains(*nested.dataset);
    if (ds.nested_.empty() || !ds.log_) return;
    // The details of a modified master record travel with its last version;
    // walking the modifications backwards hands that link value down to
    // every earlier version.
    const auto& entries = ds.log_->entries();
    for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
        if ((e->action & 0xFF) != LOG_MODIFY) continue;
        if (e->record == 0 || e->previous == 0 || e->record >= ds.next_record() ||
            e->previous >= ds.next_record())
            continue;
        for (const NestedDetail& nested : ds.nested_) {
            uint32_t link = 0;
            uint8_t indicator = IND_BLANK;
            ds.store_.ReadValue(e->record, nested.field, &link, &indicator);
            if (indicator == IND_VALUE) ds.store_.WriteValue(e->previous, nested.field, &link);
        }
    }
}

namespace {

EngineResult RebuildAll(TDSBASE& ds) {
    for (const NestedDetail& nested : ds.nested()) {
        if (EngineResult r = RebuildAll(*nested.dataset); r != DS_OK) return r;
    }
    if (ds.blobs() != nullptr) ds.blobs()->Commit();
    return ds.RebuildIndexes();
}

// The header of the bytes handed in, when they are a binary packet.
bool ReadHeader(SAFEARRAY* packet, PacketHeader* header) {
    const auto* data = static_cast<const uint8_t*>(packet->pvData);
    const size_t size = packet->rgsabound[0].cElements;
    return IsBinaryPacket(data, size) && ParseHeader(data, size, header) == DS_OK;
}

bool Accessible(SAFEARRAY* packet) {
    return packet != nullptr && packet->cDims == 1 && packet->cbElements == 1 &&
           packet->rgsabound[0].cElements != 0 && packet->pvData != nullptr;
}

// What a failed load must not leave behind in one dataset and its details.
struct LoadMark {
    TDSBASE* ds;
    uint32_t next;
    uint32_t live;
    uint32_t linkCounter;
};

}  // namespace

EngineResult TDSBASE::LoadPacket(SAFEARRAY* packet, int32_t last) {
    std::lock_guard guard(lock_);
    if (state_ == DS_UNINITIALISED) return CreateFromPacket(packet, last);
    return AppendPacket(packet, last);
}

EngineResult TDSBASE::CreateFromPacket(SAFEARRAY* packet, int32_t last) {
    if (!Accessible(packet)) return DSERR_DATAPACKETMISMATCH;
    // Properties a packet may set; a failed load gives them back.
    const uint32_t saved[] = {readOnly_,       delta_,        updateMode_, disableDeletes_,
                              disableInserts_, disableEdits_, flags_,      xmlMode_};
    const uint32_t savedLcid = lcid_;
    auto fail = [&](EngineResult r) {
        Reset();
        readOnly_ = saved[0];
        delta_ = saved[1];
        updateMode_ = saved[2];
        disableDeletes_ = saved[3];
        disableInserts_ = saved[4];
        disableEdits_ = saved[5];
        flags_ = saved[6];
        xmlMode_ = saved[7];
        if (lcid_ != savedLcid) {
            lcid_ = savedLcid;
            try {
                collation_ = std::make_unique<platform::Collation>(lcid_);
            } catch (const std::bad_alloc&) {
            }
        }
        return r;
    };

    IDSPacketReader* reader = NewPacketReader();
    if (reader == nullptr) return DSERR_NOMEMORY;
    reader->AddRef();
    reader_ = reader;
    if (EngineResult r = reader->OpenPacket(packet); r != DS_OK) return fail(r);
    PacketHeader header;
    const bool binary = ReadHeader(packet, &header);
    // Rows without their columns cannot start a dataset, in either form.
    const bool metadata = binary ? (header.properties & kPropMetadata) != 0
                                 : (reader->ReadXmlInput() & kXmlMetadata) != 0;
    if (!metadata) return fail(DSERR_NOMETADATA);
    state_ = DS_PARTIAL;
    xmlMode_ = reader->ReadXmlInput();

    try {
        DatasetLoader loader(reader, packet->rgsabound[0].cElements);
        if (EngineResult r = loader.ReadLevel(*this, false); r != DS_OK) return fail(r);
        if (!binary) loader.ReadUntilEnd();
        if (EngineResult r = loader.ReadRows(*this, binary ? header.rowCount : 0xFFFFFFFFu, 0);
            r != DS_OK)
            return fail(r);
        loader.JoinLinkChains(*this);
        if (EngineResult r = RebuildAll(*this); r != DS_OK) return fail(r);
        visibleLastLoad_ = loader.visible(*this);
    } catch (const std::bad_alloc&) {
        return fail(DSERR_NOMEMORY);
    }
    state_ = last != 0 ? DS_COMPLETE : DS_PARTIAL;
    return DS_OK;
}

EngineResult TDSBASE::AppendPacket(SAFEARRAY* packet, int32_t last) {
    if (reader_ == nullptr) return DSERR_CANNOTAPPEND;
    if (state_ == DS_COMPLETE) state_ = DS_PARTIAL;
    if (packet == nullptr) {
        state_ = DS_COMPLETE;
        return DS_OK;
    }
    if (!Accessible(packet)) return DSERR_DATAPACKETMISMATCH;
    if (EngineResult r = reader_->OpenRows(packet); r != DS_OK) return r;
    PacketHeader header;
    const bool binary = ReadHeader(packet, &header);
    const bool empty = binary && (header.properties & kPropRowOffset) != 0 && header.rowCount == 0;

    // Rows read before a failure are taken back, in this dataset and its details.
    std::vector<LoadMark> marks;
    try {
        std::vector<TDSBASE*> pending{this};
        while (!pending.empty()) {
            TDSBASE* ds = pending.back();
            pending.pop_back();
            marks.push_back({ds, ds->next_record(), ds->liveCount_, ds->linkCounter_});
            if (ds->blobs_) ds->blobs_->Commit();
            for (const NestedDetail& nested : ds->nested_) pending.push_back(nested.dataset);
        }
        if (!empty && binary && header.rowCount != 0) {
            DatasetLoader loader(reader_, packet->rgsabound[0].cElements);
            EngineResult r = loader.ReadRows(*this, header.rowCount, 0);
            if (r == DS_OK) r = RebuildAll(*this);
            if (r != DS_OK) {
                for (const LoadMark& mark : marks) {
                    mark.ds->store_.SetNextRecord(mark.next);
                    mark.ds->liveCount_ = mark.live;
                    mark.ds->linkCounter_ = mark.linkCounter;
                    if (mark.ds->blobs_) mark.ds->blobs_->Rollback();
                }
                RebuildAll(*this);
                return r;
            }
            visibleLastLoad_ = loader.visible(*this);
        } else {
            visibleLastLoad_ = 0;
        }
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    if (last != 0) state_ = DS_COMPLETE;
    return DS_OK;
}

}  // namespace pelmora
