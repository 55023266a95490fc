// Datasets made from a dataset: empty derived datasets of the same shape
// (delta, error and row-request datasets), and embedding a separate dataset
// as a nested detail.
#include <cstring>
#include <new>

#include "changes/change_log.h"
#include "dataset/dataset.h"
#include "dataset/parameter_list.h"
#include "index/index.h"

namespace pelmora {

namespace {

constexpr uint32_t kDerivedDelta = 1;
constexpr uint32_t kDerivedError = 2;
constexpr uint32_t kDerivedRowRequest = 4;
constexpr uint32_t kErrorFieldCount = 6;
constexpr uint32_t kWordUint32 = (PKT_UINT << PKT_BASE_SHIFT) | 4;  // 0x00020004

FieldDesc MakeField(const char* name, uint32_t type, uint32_t units1) {
    FieldDesc f{};
    std::strncpy(f.name, name, sizeof f.name - 1);
    f.type = type;
    f.units1 = units1;
    return f;
}

}  // namespace

EngineResult TDSBASE::MakeDerived(uint32_t kind, int32_t includeNested, int32_t copyParameters,
                                  IDSBase** out) {
    if (out == nullptr) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (kind != kDerivedDelta && kind != kDerivedError && kind != kDerivedRowRequest)
        return DSERR_INVALIDPARAM;
    std::lock_guard guard(lock_);
    if (state_ == DS_UNINITIALISED) return DSERR_NOTSUPPORTED;

    TDSBASE* child = NewDataset();
    if (child == nullptr) return DSERR_NOMEMORY;
    child->AddRef();
    auto fail = [child](EngineResult r) {
        child->Release();
        return r;
    };
    try {
        std::string name = name_;
        if (kind == kDerivedDelta && name.size() + 6 < 32) name += "_DELTA";
        std::vector<FieldDesc> list;
        if (kind == kDerivedError) {
            list.push_back(MakeField("ERROR_RECORDNO", FLD_UINT32, 0));
            list.push_back(MakeField("ERROR_RESPONSE", FLD_UINT32, 0));
            list.push_back(MakeField("ERROR_MESSAGE", FLD_STRING, 255));
            list.push_back(MakeField("ERROR_CONTEXT", FLD_STRING, 127));
            list.push_back(MakeField("ERROR_CATEGORY", FLD_UINT32, 0));
            list.push_back(MakeField("ERROR_CODE", FLD_UINT32, 0));
        }
        // The descriptors as defined, before array expansion, so that the new
        // dataset expands them once; nested datasets are derived separately.
        for (FieldDesc f : definedFields_) {
            // The engine's own link field is made again when the copy is nested.
            if (autoLinkField_ && (f.attributes & ATTR_LINK) != 0 && f.calculated == 2) continue;
            if (f.type == FLD_TABLE) f.units2 = 0;
            if (kind == kDerivedError) f.attributes &= ~(ATTR_READONLY | ATTR_REQUIRED);
            list.push_back(f);
        }
        child->xmlMode_ = xmlMode_;
        EngineResult r =
            child->DefineFields(static_cast<uint32_t>(list.size()), list.data(), name.c_str());
        if (r != DS_OK) return fail(r);
        if (kind == kDerivedDelta) {
            const uint32_t one = 1;
            if (r = child->StoreParameter(0, "DATASET_DELTA", kWordUint32, 4, &one); r != DS_OK)
                return fail(r);
        }
        if (kind == kDerivedError) {
            child->WriteProperty(0, 1);
            child->WriteProperty(6, 1);  // no auto-increment field: nothing to drop then
        }
        if (copyParameters != 0 && kind != kDerivedError) {
            for (size_t i = 0; i < params_->size(); ++i) {
                const ParameterEntry& p = params_->at(i);
                if ((p.flags & kind) == 0 || p.field > child->field_count()) continue;
                r = child->StoreParameter(p.field, p.name.c_str(), p.typeWord, p.length(),
                                          p.value.empty() ? nullptr : p.value.data());
                if (r != DS_OK) return fail(r);
            }
        }
        // Every nested field keeps a nested dataset of the detail's derived
        // shape: a nested-dataset column is written with the columns of its
        // dataset, and a level without columns is no packet any reader takes.
        // Without the include-nested flag the details come as shapes only,
        // without their parameters and master-detail links.
        const uint32_t shift = kind == kDerivedError ? kErrorFieldCount : 0;
        for (const NestedDetail& nested : nested_) {
            if (nested.dataset == nullptr) continue;
            IDSBase* derived = nullptr;
            r = nested.dataset->MakeDerived(kind, includeNested != 0 ? 1 : 0,
                                            includeNested != 0 ? copyParameters : 0, &derived);
            if (r != DS_OK) return fail(r);
            auto* detail = static_cast<TDSBASE*>(derived);
            if (r = child->AttachNested(nested.field + shift, detail); r != DS_OK) return fail(r);
            if (includeNested != 0 && kind == kDerivedDelta) {
                NestedDetail& copy = child->nested_.back();
                copy.masterFields = nested.masterFields;
                copy.detailFields = nested.detailFields;
            }
        }
    } catch (const std::bad_alloc&) {
        return fail(DSERR_NOMEMORY);
    }
    *out = child;
    return DS_OK;
}

EngineResult TDSBASE::EmbedDetail(IDSBase* detail, uint32_t count, const uint32_t* masterFields,
                                  const uint32_t* detailFields, const char* nestedName,
                                  const char* linkName) {
    if (detail == nullptr || detail == this) return DSERR_INVALIDPARAM;
    if (count != 0 && (masterFields == nullptr || detailFields == nullptr))
        return DSERR_INVALIDPARAM;
    std::lock_guard guard(lock_);
    auto* d = static_cast<TDSBASE*>(detail);
    std::lock_guard detailGuard(d->lock_);
    if (state_ == DS_UNINITIALISED || d->state_ == DS_UNINITIALISED) return DSERR_NOTSUPPORTED;
    for (uint32_t i = 0; i < count; ++i) {
        if (masterFields[i] == 0 || masterFields[i] > field_count() || detailFields[i] == 0 ||
            detailFields[i] > d->field_count())
            return DSERR_INVALIDPARAM;
    }

    try {
        // The nested-dataset field: an existing one when nothing is logged and
        // the link names it, else a new run-time field.
        uint32_t field = 0;
        const bool logged = log_ && !log_->empty();
        if (!logged && count == 1 && fields_[masterFields[0] - 1].type == FLD_TABLE)
            field = masterFields[0];
        if (field == 0) {
            FieldDesc nestedField{};
            std::strncpy(nestedField.name,
                         nestedName != nullptr && *nestedName != '\0' ? nestedName : "DETAILS",
                         sizeof nestedField.name - 1);
            nestedField.type = FLD_TABLE;
            nestedField.units1 = std::max<uint32_t>(d->field_count(), 1);
            nestedField.length = 4;
            nestedField.calculated = 1;
            if (EngineResult r = AddRuntimeField(&nestedField); r != DS_OK) return r;
            field = field_count();
        }

        // The detail's hidden link field.
        if (d->link_field() == 0) {
            for (uint32_t k = 1; k <= d->field_count(); ++k) {
                if ((d->fields_[k - 1].attributes & ATTR_LINK) != 0) d->linkField_ = k;
            }
        }
        if (d->link_field() == 0) {
            FieldDesc link{};
            std::strncpy(link.name,
                         linkName != nullptr && *linkName != '\0' ? linkName : "LINK_FIELD",
                         sizeof link.name - 1);
            link.type = FLD_UINT32;
            link.attributes = ATTR_HIDDEN | ATTR_LINK;
            link.calculated = 1;
            if (EngineResult r = d->AddRuntimeField(&link); r != DS_OK) return r;
            d->linkField_ = d->field_count();
        }

        // Every master record gets a link value, and so do its details.
        for (uint32_t r = 1; r < next_record(); ++r) {
            uint32_t value = NextLinkValue();
            store_.WriteValue(r, field, &value);
            for (uint32_t dr = 1; count != 0 && dr < d->next_record(); ++dr) {
                bool match = true;
                for (uint32_t i = 0; match && i < count; ++i) {
                    const FieldDesc& mf = fields_[masterFields[i] - 1];
                    const uint8_t* a = store_.IndicatorAt(r, masterFields[i]) == IND_VALUE
                                           ? store_.ValueAt(r, masterFields[i])
                                           : nullptr;
                    const uint8_t* b = d->store_.IndicatorAt(dr, detailFields[i]) == IND_VALUE
                                           ? d->store_.ValueAt(dr, detailFields[i])
                                           : nullptr;
                    const uint32_t length = mf.type == FLD_BCD ? mf.units1 : mf.length;
                    match = CompareValues(mf.type, a, b, length) == 0;
                }
                if (match) d->store_.WriteValue(dr, d->linkField_, &value);
            }
        }

        // Replace a nested dataset the field had before.
        for (auto it = nested_.begin(); it != nested_.end(); ++it) {
            if (it->field != field) continue;
            it->dataset->master_ = nullptr;
            it->dataset->Release();
            nested_.erase(it);
            break;
        }
        d->AddRef();
        if (EngineResult r = AttachNested(field, d); r != DS_OK) return r;
        NestedDetail& nested = nested_.back();
        nested.masterFields.assign(masterFields, masterFields + count);
        nested.detailFields.assign(detailFields, detailFields + count);

        // The detail's order under its master: link, link fields, default order.
        IndexDesc order{};
        std::strncpy(order.name, "LINK_INDEX", sizeof order.name - 1);
        for (uint32_t i = 0; i < count && order.fieldCount < 15; ++i)
            order.fields[order.fieldCount++] = detailFields[i];
        if (d->default_index() != nullptr) {
            const IndexDesc& defaults = d->default_index()->desc();
            for (uint32_t i = 0; i < defaults.fieldCount && order.fieldCount < 15; ++i) {
                if (defaults.fields[i] == d->linkField_) continue;
                order.fields[order.fieldCount] = defaults.fields[i];
                order.descending[order.fieldCount] = defaults.descending[i];
                order.caseInsensitive[order.fieldCount] = defaults.caseInsensitive[i];
                ++order.fieldCount;
            }
        }
        if (EngineResult r = d->MakeIndex(&order); r != DS_OK) return r;
        flags_ |= DSF_MASTER;
        d->flags_ |= DSF_DETAIL | DSF_EMBEDDED;
        return d->RebuildIndexes();
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
}

}  // namespace pelmora
