// What a dataset does with an optional parameter: the ones that set up
// orders, the change log, links, locale and properties take effect here;
// everything else is kept as it came and written back with the data.
#include <cstring>
#include <new>

#include "changes/change_log.h"
#include "dataset/dataset.h"
#include "dataset/parameter_list.h"
#include "index/index.h"
#include "platform/collation.h"
#include "store/field_types.h"

namespace pelmora {

namespace {

constexpr uint32_t kDescendingBit = 0x8000;
constexpr uint32_t kCaseInsensitiveBit = 0x4000;
constexpr uint32_t kMaxKeyFields = 16;

uint32_t LoadLE(const void* value, uint32_t length, uint32_t offset, uint32_t width) {
    const auto* p = static_cast<const uint8_t*>(value) + offset;
    uint32_t v = 0;
    for (uint32_t i = 0; i < width && i < 4 && offset + i < length; ++i)
        v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
}

// The integer a fixed-width parameter value holds (its low 32 bits).
uint32_t IntegerValue(uint32_t length, const void* value) {
    return value == nullptr ? 0 : LoadLE(value, length, 0, length);
}

// A repeated list of 2- or 4-byte integers: its element width and count, or
// 9986 when the value is not one.
EngineResult ReadList(uint32_t typeWord, uint32_t length, const void* value, uint32_t* width,
                      uint32_t* count) {
    const uint32_t w = PacketWidth(typeWord);
    const uint32_t base = PacketBaseType(typeWord);
    if ((typeWord & PKT_REPEATED) == 0 || (w != 2 && w != 4) ||
        (base != PKT_INT && base != PKT_UINT) || value == nullptr || length < 4)
        return DSERR_INVALIDPARAM;
    const uint32_t n = LoadLE(value, length, 0, 4);
    if (static_cast<uint64_t>(n) * w + 4 > length) return DSERR_INVALIDPARAM;
    *width = w;
    *count = n;
    return DS_OK;
}

bool SameKeyFields(const IndexDesc& a, const IndexDesc& b) {
    if (a.fieldCount != b.fieldCount) return false;
    for (uint32_t i = 0; i < a.fieldCount && i < kMaxKeyFields; ++i) {
        if (a.fields[i] != b.fields[i]) return false;
    }
    return true;
}

void SetName(IndexDesc& desc, const char* name) {
    std::memset(desc.name, 0, sizeof desc.name);
    std::strncpy(desc.name, name, sizeof desc.name - 1);
}

}  // namespace

EngineResult TDSBASE::ApplyChangeLog(uint32_t typeWord, uint32_t length, const void* value) {
    if ((typeWord & PKT_REPEATED) == 0 || PacketWidth(typeWord) != 4) return DSERR_INVALIDPARAM;
    uint32_t width = 0;
    uint32_t count = 0;
    if (EngineResult r = ReadList(typeWord, length, value, &width, &count); r != DS_OK) return r;
    if (delta_mode()) return DS_OK;
    try {
        std::vector<uint32_t> values(count);
        for (uint32_t i = 0; i < count; ++i) values[i] = LoadLE(value, length, 4 + 4 * i, 4);
        if (!log_) log_ = std::make_unique<DSLOG>();
        if (EngineResult r = log_->Deserialize(values.data(), count); r != DS_OK) return r;
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    if (changeIndex_ != nullptr) return changeIndex_->Rebuild(nullptr, nullptr);
    return DS_OK;
}

EngineResult TDSBASE::ApplyLocale(uint32_t value) {
    const uint32_t lcid = platform::IsValidLocale(value) ? value : 0;
    if (lcid != lcid_) {
        std::unique_ptr<platform::Collation> old;
        try {
            old = std::make_unique<platform::Collation>(lcid);
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        }
        collation_.swap(old);
        lcid_ = lcid;
        // Key comparators hold the collation: give every index new
        // ones before the old collation goes.
        for (DSIDX* index : indexes_) {
            const IndexDesc desc = index->desc();
            if (EngineResult r = index->Rebuild(&desc, nullptr); r != DS_OK) return r;
        }
    }
    return DS_OK;
}

EngineResult TDSBASE::ApplyParameter(uint32_t field, const char* name, uint32_t typeWord,
                                     uint32_t length, const void* value) {
    const uint32_t id = ParameterId(name);
    auto keep = [&](uint32_t flags) {
        return params_->Add(flags, field, name, typeWord, length, value);
    };
    const uint32_t number = IntegerValue(length, value);

    if (field != 0) {
        FieldDesc& f = fields_[field - 1];
        switch (id) {
            case PARAM_SUBTYPE: {
                if (PacketBaseType(typeWord) != PKT_STRING) return DSERR_INVALIDPARAM;
                std::string text;
                try {
                    text.assign(static_cast<const char*>(value), length);
                } catch (const std::bad_alloc&) {
                    return DSERR_NOMEMORY;
                }
                text.resize(strnlen(text.c_str(), text.size()));
                uint32_t code = 0;
                if (SubtypeFromName(text.c_str(), code) == DS_OK) {
                    f.subtype = code;
                    if (code == SUBTYPE_AUTOINC) f.attributes |= ATTR_READONLY;
                    FindAutoIncField();
                    return DS_OK;
                }
                f.subtype = kUnknownSubtype;
                return keep(ParameterFlags(id, typeWord));
            }
            case PARAM_CALCULATED:
                f.calculated = number;
                return DS_OK;
            case PARAM_DECIMALS:
            case PARAM_WIDTH:
            case PARAM_ELEMENTS: {
                // The layout of stored values cannot change under them.
                const uint32_t current = id == PARAM_DECIMALS ? f.units2 : f.units1;
                return number == current ? DS_OK : DSERR_NOTSUPPORTED;
            }
            default:
                return keep(ParameterFlags(id, typeWord));
        }
    }

    switch (id) {
        case PARAM_UNIQUE_KEY:
        case PARAM_PRIMARY_KEY:
        case PARAM_DEFAULT_ORDER:
            if (EngineResult r = ApplyKeyList(id, typeWord, length, value); r != DS_OK) return r;
            return keep(0);
        case PARAM_CHANGE_LOG:
            return ApplyChangeLog(typeWord, length, value);
        case PARAM_DATASET_DELTA:
        case PARAM_DELTA:
            BecomeDelta();
            return keep(ParameterFlags(id, typeWord));
        case PARAM_READONLY:
            readOnly_ = number;
            return keep(ParameterFlags(id, typeWord));
        case PARAM_LCID:
            if (EngineResult r = ApplyLocale(number); r != DS_OK) return r;
            return keep(ParameterFlags(id, typeWord));
        case PARAM_AUTOINCVALUE:
            nextAutoInc_ = number;
            return DS_OK;
        case PARAM_MD_FIELDLINKS:
            return ApplyFieldLinks(typeWord, length, value);
        case PARAM_UPDATEMODE:
            updateMode_ = number;
            return keep(ParameterFlags(id, typeWord));
        case PARAM_MD_SEMANTICS:
            if (number & 1) flags_ |= DSF_CASCADE_DELETES;
            if (number & 2) flags_ |= DSF_CASCADE_UPDATES;
            if (number & 4) flags_ |= DSF_DETAILS_WITHOUT_MASTER;
            return keep(ParameterFlags(id, typeWord));
        case PARAM_DISABLE_DELETES:
            disableDeletes_ = 1;
            return keep(ParameterFlags(id, typeWord));
        case PARAM_DISABLE_INSERTS:
            disableInserts_ = 1;
            return keep(ParameterFlags(id, typeWord));
        case PARAM_DISABLE_EDITS:
            disableEdits_ = 1;
            return keep(ParameterFlags(id, typeWord));
        case PARAM_VRKDOMAIN_X:
        case PARAM_VRKRECORD_X:
        case PARAM_VRKDEFAULT_X: {
            const uint32_t kind = id == PARAM_VRKDEFAULT_X ? 2 : 1;
            if (EngineResult r = InstallConstraint(kind, length, value); r != DS_OK) return r;
            return keep(ParameterFlags(id, typeWord));
        }
        case PARAM_VRKDOMAIN_CL:
        case PARAM_VRKRECORD_CL:
            return InstallConstraint(1, length, value);
        case PARAM_VRKDEFAULT_CL:
            return InstallConstraint(2, length, value);
        default:
            return keep(ParameterFlags(id, typeWord));
    }
}

EngineResult TDSBASE::ApplyKeyList(uint32_t id, uint32_t typeWord, uint32_t length,
                                   const void* value) {
    uint32_t width = 0;
    uint32_t count = 0;
    if (EngineResult r = ReadList(typeWord, length, value, &width, &count); r != DS_OK) return r;
    if (count > kMaxKeyFields || field_count() == 0) return DSERR_INVALIDPARAM;

    IndexDesc desc{};
    SetName(desc, id == PARAM_DEFAULT_ORDER ? "DEFAULT_ORDER"
                  : id == PARAM_UNIQUE_KEY  ? "UNIQUE_KEY"
                                            : "PRIMARY_KEY");
    // A nested detail's orders start with its hidden link field.
    if (linkField_ != 0) desc.fields[desc.fieldCount++] = linkField_;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t raw = LoadLE(value, length, 4 + width * i, width);
        const uint32_t k = raw & ~(kDescendingBit | kCaseInsensitiveBit);
        if (k == 0 || k > field_count()) return DSERR_INVALIDPARAM;
        if (k == linkField_ && i == 0) continue;
        if (desc.fieldCount >= kMaxKeyFields) return DSERR_INVALIDPARAM;
        const uint32_t at = desc.fieldCount++;
        desc.fields[at] = k;
        if (id == PARAM_DEFAULT_ORDER) {
            desc.descending[at] = (raw & kDescendingBit) != 0 ? 1 : 0;
            desc.caseInsensitive[at] = (raw & kCaseInsensitiveBit) != 0 ? 1 : 0;
        }
    }
    if (EngineResult r = CreateDefaultIndex(); r != DS_OK) return r;

    if (id == PARAM_DEFAULT_ORDER) {
        desc.unique = defaultIndex_->desc().unique;
        return defaultIndex_->Rebuild(&desc, nullptr);
    }
    desc.unique = id == PARAM_UNIQUE_KEY ? 1 : 2;
    if (SameKeyFields(desc, defaultIndex_->desc())) {
        // The default order already has these keys: it becomes the key.
        IndexDesc order = defaultIndex_->desc();
        order.unique = desc.unique;
        return defaultIndex_->Rebuild(&order, nullptr);
    }
    DSIDX* existing = nullptr;
    if (FindIndex(desc.name, &existing) == DS_OK) return existing->Rebuild(&desc, nullptr);
    try {
        indexes_.reserve(indexes_.size() + 1);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    EngineResult result = DS_OK;
    DSIDX* index = BuildPlainIndex(this, desc, nullptr, &result);
    if (index == nullptr) return result != DS_OK ? result : EngineResult{DSERR_NOMEMORY};
    RegisterIndex(index);

    if (id == PARAM_PRIMARY_KEY) {
        // A default order without a key of its own is completed by the
        // primary key and becomes unique.
        IndexDesc order = defaultIndex_->desc();
        const uint32_t start = linkField_ != 0 ? 1 : 0;
        const uint32_t added = desc.fieldCount - start;
        if (order.unique == 0 && order.fieldCount + added <= kMaxKeyFields) {
            for (uint32_t i = start; i < desc.fieldCount; ++i) {
                order.fields[order.fieldCount] = desc.fields[i];
                order.descending[order.fieldCount] = 0;
                order.caseInsensitive[order.fieldCount] = 0;
                ++order.fieldCount;
            }
            order.unique = 1;
            return defaultIndex_->Rebuild(&order, nullptr);
        }
    }
    return DS_OK;
}

EngineResult TDSBASE::ApplyFieldLinks(uint32_t typeWord, uint32_t length, const void* value) {
    uint32_t width = 0;
    uint32_t count = 0;
    if (EngineResult r = ReadList(typeWord, length, value, &width, &count); r != DS_OK) return r;
    if (count == 0 || count % 2 == 0) return DSERR_INVALIDPARAM;
    const uint32_t k = (count - 1) / 2;
    const uint32_t field = LoadLE(value, length, 4, width);
    NestedDetail* nested = nullptr;
    for (NestedDetail& candidate : nested_) {
        if (candidate.field == field) nested = &candidate;
    }
    if (nested == nullptr) return DSERR_INVALIDPARAM;
    try {
        std::vector<uint32_t> masters(k);
        std::vector<uint32_t> details(k);
        for (uint32_t i = 0; i < k; ++i) {
            masters[i] = LoadLE(value, length, 4 + width * (1 + i), width);
            details[i] = LoadLE(value, length, 4 + width * (1 + k + i), width);
            if (masters[i] == 0 || masters[i] > field_count() || details[i] == 0 ||
                details[i] > nested->dataset->field_count())
                return DSERR_INVALIDPARAM;
        }
        nested->masterFields.swap(masters);
        nested->detailFields.swap(details);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    return DS_OK;
}

}  // namespace pelmora
