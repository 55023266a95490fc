// Defining a dataset's fields: from descriptors (DefineFields), by adding
// run-time fields to a defined dataset, and the shared initialisation that
// both the descriptor and the packet path end in.
#include <algorithm>
#include <cstring>
#include <new>

#include "changes/change_log.h"
#include "dataset/dataset.h"
#include "dataset/parameter_list.h"
#include "expr/filter_list.h"
#include "index/index.h"
#include "platform/collation.h"
#include "store/field_types.h"

namespace pelmora {

namespace {

constexpr char kDefaultOrderName[] = "DEFAULT_ORDER";
constexpr char kLinkFieldName[] = "LINK_FIELD";
constexpr size_t kMaxDatasetName = 260;

bool IsContainer(const FieldDesc& f) {
    return f.type == FLD_ADT || f.type == FLD_ARRAY;
}

void TerminateName(FieldDesc& f) {
    f.name[sizeof f.name - 1] = '\0';
}

// Appends the field at index k as it was before array expansion (the first
// element block of every array only) and returns the index after everything
// the field covers.
size_t CompactWalk(const std::vector<FieldDesc>& fields, size_t k, std::vector<FieldDesc>& out) {
    const FieldDesc& f = fields[k];
    out.push_back(f);
    if (!IsContainer(f)) return k + 1;
    const size_t end = std::min(fields.size(), k + 1 + f.units2);
    size_t stop = end;
    if (f.type == FLD_ARRAY && f.units1 != 0) stop = std::min(end, k + 1 + f.units2 / f.units1);
    size_t j = k + 1;
    while (j < stop) j = CompactWalk(fields, j, out);
    return end;
}

}  // namespace

EngineResult TDSBASE::DefineFields(uint32_t count, const FieldDesc* fields, const char* name) {
    std::lock_guard guard(lock_);
    if (state_ != DS_UNINITIALISED) return DS_OK;
    if (count != 0 && fields == nullptr) return DSERR_INVALIDPARAM;

    std::vector<std::pair<uint32_t, TDSBASE*>> children;
    auto fail = [&](EngineResult r) {
        for (auto& child : children) child.second->Release();
        Reset();
        return r;
    };
    try {
        name_.assign(name != nullptr ? name : "");
        if (name_.size() > kMaxDatasetName) name_.resize(kMaxDatasetName);
        std::vector<FieldDesc> list(fields, fields + count);
        for (FieldDesc& f : list) TerminateName(f);
        if (EngineResult r = ExpandArrays(list); r != DS_OK) return fail(r);

        // Every nested-dataset field with descriptors behind it becomes a
        // nested dataset of its own; its descriptors leave this list.
        for (size_t i = 0; i < list.size(); ++i) {
            if (list[i].type != FLD_TABLE || list[i].units2 == 0) continue;
            const uint32_t n = list[i].units2;
            if (n > list.size() - i - 1) return fail(DSERR_INVALIDPARAM);
            TDSBASE* child = NewDataset();
            if (child == nullptr) return fail(DSERR_NOMEMORY);
            child->AddRef();
            children.emplace_back(static_cast<uint32_t>(i + 1), child);
            child->xmlMode_ = xmlMode_;
            if (EngineResult r = child->DefineFields(n, &list[i + 1], list[i].name); r != DS_OK)
                return fail(r);
            list.erase(list.begin() + static_cast<ptrdiff_t>(i + 1),
                       list.begin() + static_cast<ptrdiff_t>(i + 1 + n));
            // Containers that covered the removed descriptors shrink with them.
            for (size_t j = 0; j < i; ++j) {
                if (IsContainer(list[j]) && j + list[j].units2 >= i) list[j].units2 -= n;
            }
        }
        if (EngineResult r = Initialise(list); r != DS_OK) return fail(r);
        for (size_t i = 0; i < children.size(); ++i) {
            if (EngineResult r = AttachNested(children[i].first, children[i].second); r != DS_OK) {
                children.erase(children.begin(), children.begin() + static_cast<ptrdiff_t>(i));
                return fail(r);
            }
        }
        children.clear();
    } catch (const std::bad_alloc&) {
        return fail(DSERR_NOMEMORY);
    }
    state_ = DS_COMPLETE;
    return DS_OK;
}

EngineResult TDSBASE::Initialise(std::vector<FieldDesc>& fields) {
    if (EngineResult r = ApplyLayout(fields); r != DS_OK) return r;
    if (EngineResult r = CreateDefaultIndex(); r != DS_OK) return r;
    if (!delta_mode()) {
        try {
            if (!log_) log_ = std::make_unique<DSLOG>();
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        }
        DSIDX* changeIndex = nullptr;
        if (EngineResult r = ChangeIndex(&changeIndex); r != DS_OK) return r;
    }
    return DS_OK;
}

EngineResult TDSBASE::ApplyLayout(std::vector<FieldDesc>& fields) {
    LayoutResult layout;
    // Varying byte fields stay varying in XML mode too: the XML form carries
    // their type, and turning them into fixed bytes would pad every value
    // with zeros and lose its length on the way back to binary.
    if (EngineResult r = LayoutFields(fields, /*xmlMode=*/false, layout); r != DS_OK) return r;
    if (EngineResult r = store_.Reshape(fields); r != DS_OK) return r;
    try {
        scratch_.assign(std::max(layout.recordSize, layout.scratchSize), 0);
        if (layout.blobFieldCount != 0 && !blobs_) blobs_ = std::make_unique<BlobTable>();
        fields_.swap(fields);
        layout_ = layout;
        FindAutoIncField();
        RefreshDefinedFields();
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    // Constraints read fields at their offsets: compile them for the new
    // layout and set their required attributes again.
    if (constraints_) constraints_->RecompileAll();
    return DS_OK;
}

void TDSBASE::FindAutoIncField() {
    autoIncField_ = 0;
    for (uint32_t k = 1; k <= field_count(); ++k) {
        const FieldDesc& f = fields_[k - 1];
        if (f.subtype == SUBTYPE_AUTOINC && f.length == 4) {
            autoIncField_ = k;
            return;
        }
    }
}

void TDSBASE::RefreshDefinedFields() {
    std::vector<FieldDesc> compact;
    compact.reserve(fields_.size());
    size_t k = 0;
    while (k < fields_.size()) k = CompactWalk(fields_, k, compact);
    definedFields_.swap(compact);
}

EngineResult TDSBASE::CreateDefaultIndex() {
    if (defaultIndex_ != nullptr) return DS_OK;
    try {
        indexes_.reserve(indexes_.size() + 1);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    IndexDesc desc{};
    std::memcpy(desc.name, kDefaultOrderName, sizeof kDefaultOrderName);
    EngineResult r = DS_OK;
    DSIDX* index = BuildPlainIndex(this, desc, nullptr, &r);
    if (index == nullptr) return r != DS_OK ? r : EngineResult{DSERR_NOMEMORY};
    RegisterIndex(index);
    defaultIndex_ = index;
    return DS_OK;
}

EngineResult TDSBASE::AttachNested(uint32_t field, TDSBASE* child) {
    try {
        nested_.reserve(nested_.size() + 1);
    } catch (const std::bad_alloc&) {
        child->Release();
        return DSERR_NOMEMORY;
    }
    NestedDetail nested;
    nested.field = field;
    nested.dataset = child;
    nested_.push_back(std::move(nested));
    child->master_ = this;
    child->masterField_ = field;
    // A nested dataset read from a packet has its fields laid out but no
    // state of its own yet; like a defined one, it is complete from here on
    // (its rows arrive with its master's).
    if (child->state_ == DS_UNINITIALISED && child->field_count() != 0) child->state_ = DS_COMPLETE;
    return child->EnsureLinkField();
}

EngineResult TDSBASE::EnsureLinkField() {
    if (linkField_ == 0) {
        for (uint32_t k = 1; k <= field_count() && linkField_ == 0; ++k) {
            if ((fields_[k - 1].attributes & ATTR_LINK) != 0) linkField_ = k;
        }
    }
    if (linkField_ == 0) {
        if (EngineResult r = AddLinkField(); r != DS_OK) return r;
    }
    // The default order keeps the details of one master together.
    if (defaultIndex_ == nullptr) return DS_OK;
    IndexDesc order = defaultIndex_->desc();
    if (order.fieldCount != 0 && order.fields[0] == linkField_) return DS_OK;
    if (order.fieldCount >= 16) return DSERR_INVALIDPARAM;
    for (uint32_t i = order.fieldCount; i > 0; --i) {
        order.fields[i] = order.fields[i - 1];
        order.descending[i] = order.descending[i - 1];
        order.caseInsensitive[i] = order.caseInsensitive[i - 1];
    }
    order.fields[0] = linkField_;
    order.descending[0] = 0;
    order.caseInsensitive[0] = 0;
    ++order.fieldCount;
    return defaultIndex_->Rebuild(&order, nullptr);
}

EngineResult TDSBASE::AddLinkField() {
    // The detail records carry their master's link value in a hidden field
    // of their own, which every order of the detail starts with.
    FieldDesc link{};
    std::memcpy(link.name, kLinkFieldName, sizeof kLinkFieldName);
    link.type = FLD_UINT32;
    link.attributes = ATTR_HIDDEN | ATTR_LINK;
    link.calculated = 2;
    try {
        std::vector<FieldDesc> list(fields_);
        list.push_back(link);
        if (EngineResult r = ApplyLayout(list); r != DS_OK) return r;
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    linkField_ = field_count();
    autoLinkField_ = true;
    return DS_OK;
}

void TDSBASE::BecomeDelta() {
    delta_ = 1;
    log_.reset();
    if (DSIDX* changes = changeIndex_; changes != nullptr) {
        UnregisterIndex(changes);
        changes->Release();
        changeIndex_ = nullptr;
    }
}

void TDSBASE::Reset() {
    for (NestedDetail& nested : nested_) {
        if (nested.dataset != nullptr) {
            nested.dataset->master_ = nullptr;
            nested.dataset->Release();
        }
    }
    nested_.clear();
    std::vector<DSIDX*> indexes;
    indexes.swap(indexes_);
    for (DSIDX* index : indexes) index->Release();
    defaultIndex_ = nullptr;
    changeIndex_ = nullptr;
    defaultOrderByMakeIndex_ = false;
    log_.reset();
    params_->Clear();
    constraints_.reset();
    if (rowRequest_ != nullptr) {
        rowRequest_->Release();
        rowRequest_ = nullptr;
    }
    fields_.clear();
    definedFields_.clear();
    packetFieldCount_ = 0;
    layout_ = LayoutResult{};
    scratch_.clear();
    store_ = RecordStore{};
    blobs_.reset();
    liveCount_ = 0;
    holes_ = 0;
    visibleLastLoad_ = 0;
    linkField_ = 0;
    autoLinkField_ = false;
    linkCounter_ = 0;
    autoIncField_ = 0;
    nextAutoInc_ = 1;
    if (reader_ != nullptr) {
        reader_->Release();
        reader_ = nullptr;
    }
    state_ = DS_UNINITIALISED;
}

EngineResult TDSBASE::AddRuntimeField(const FieldDesc* desc) {
    std::lock_guard guard(lock_);
    if (state_ == DS_UNINITIALISED) return DSERR_NOTSUPPORTED;
    try {
        std::vector<FieldDesc> list(fields_);
        if (desc == nullptr) {
            // Remove the trailing calculated fields, keeping link fields.
            while (!list.empty() && list.back().calculated != 0 &&
                   (list.back().attributes & ATTR_LINK) == 0)
                list.pop_back();
            if (list.size() == fields_.size()) return DS_OK;
            const auto kept = static_cast<uint32_t>(list.size());
            // An index keyed on a field going away would read past the
            // shorter records: the removal waits until that index is gone.
            for (const DSIDX* index : indexes_) {
                const IndexDesc& d = index->desc();
                for (uint32_t i = 0; i < d.fieldCount && i < std::size(d.fields); ++i)
                    if (d.fields[i] > kept) return DSERR_ACTIVEINDEX;
            }
            if (EngineResult r = ApplyLayout(list); r != DS_OK) return r;
            params_->DropFieldsAbove(kept);
            for (auto it = nested_.begin(); it != nested_.end();) {
                if (it->field <= kept) {
                    ++it;
                    continue;
                }
                it->dataset->master_ = nullptr;
                it->dataset->Release();
                it = nested_.erase(it);
            }
            return DS_OK;
        }
        FieldDesc field = *desc;
        TerminateName(field);
        if (field.name[0] == '\0' || IsContainer(field)) return DSERR_INVALIDPARAM;
        for (const FieldDesc& existing : fields_) {
            if (existing.parentId != 0) continue;
            if (collation_->Compare(existing.name, -1, field.name, -1, false) != 0) continue;
            if (existing.calculated != 0 && existing.type == field.type) return DS_OK;
            return DSERR_NAMENOTUNIQUE;
        }
        field.calculated = field.calculated != 0 ? 2 : 0;
        field.offset = 0;
        field.indicatorOffset = 0;
        field.fieldId = 0;
        field.parentId = 0;
        list.push_back(field);
        return ApplyLayout(list);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
}

}  // namespace pelmora
