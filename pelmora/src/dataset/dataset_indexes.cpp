// The dataset's index registry: lookup by name, registration, telling every
// index about store changes (and undoing the telling when one refuses), and
// the IDSBase operations that create, drop and list indexes.
#include <cstring>
#include <new>
#include <stdexcept>

#include "changes/change_log.h"
#include "dataset/dataset.h"
#include "index/index.h"
#include "platform/collation.h"

namespace pelmora {

namespace {

constexpr const char* kDefaultOrder = "DEFAULT_ORDER";
// Store status bits of records that no index holds outside delta mode.
constexpr uint8_t kNotIndexed = REC_SUPERSEDED | REC_DELETED | REC_DISCARDED;

bool Listed(const DSIDX& index) {
    return !index.is_private() && (index.kind() == IDX_PLAIN || index.kind() == IDX_CHANGE);
}

}  // namespace

EngineResult TDSBASE::ChangeIndex(DSIDX** out) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (changeIndex_ == nullptr) {
        auto* index = new (std::nothrow) DSIDXCHG(this);
        if (index == nullptr) return DSERR_NOMEMORY;
        index->set_status_filter(changeIndexFilter_);
        if (EngineResult r = index->Rebuild(nullptr, nullptr); r != DS_OK) {
            delete index;
            return r;
        }
        try {
            indexes_.reserve(indexes_.size() + 1);
        } catch (const std::bad_alloc&) {
            delete index;
            return DSERR_NOMEMORY;
        }
        RegisterIndex(index);
        changeIndex_ = index;
    }
    if (out != nullptr) *out = changeIndex_;
    return DS_OK;
}

EngineResult TDSBASE::FindIndex(const char* name, DSIDX** out) const {
    const char* wanted = (name == nullptr || *name == '\0') ? kDefaultOrder : name;
    for (DSIDX* index : indexes_) {
        if (!Listed(*index)) continue;
        const char* have = index->desc().name;
        const bool same = collation_ != nullptr
                              ? collation_->Compare(wanted, -1, have, -1, false) == 0
                              : std::strcmp(wanted, have) == 0;
        if (same) {
            if (out != nullptr) *out = index;
            return DS_OK;
        }
    }
    return DSERR_NOSUCHINDEX;
}

void TDSBASE::RegisterIndex(DSIDX* index) {
    if (index == nullptr) return;
    try {
        indexes_.push_back(index);
    } catch (const std::bad_alloc&) {
        return;  // callers reserve the room first
    }
    index->set_identity(++nextIndexIdentity_);
}

void TDSBASE::UnregisterIndex(DSIDX* index) {
    for (auto it = indexes_.begin(); it != indexes_.end(); ++it) {
        if (*it == index) {
            indexes_.erase(it);
            break;
        }
    }
    if (index == changeIndex_) changeIndex_ = nullptr;
    if (index == defaultIndex_) defaultIndex_ = nullptr;
}

EngineResult TDSBASE::NotifyAdded(uint32_t record, const std::function<void()>& restore) {
    for (size_t i = 0; i < indexes_.size(); ++i) {
        if (EngineResult r = indexes_[i]->RecordAdded(record); r != DS_OK) {
            if (restore) restore();  // statuses first: the indexes read them
            while (i-- > 0) indexes_[i]->RecordRemoved(record);
            return r;
        }
    }
    return DS_OK;
}

EngineResult TDSBASE::NotifyRemoved(uint32_t record, const std::function<void()>& restore) {
    for (size_t i = 0; i < indexes_.size(); ++i) {
        if (EngineResult r = indexes_[i]->RecordRemoved(record); r != DS_OK) {
            if (restore) restore();  // statuses first: the indexes read them
            while (i-- > 0) indexes_[i]->RecordAdded(record);
            return r;
        }
    }
    return DS_OK;
}

EngineResult TDSBASE::NotifyReplaced(uint32_t newRecord, uint32_t oldRecord,
                                     const std::function<void()>& restore) {
    for (size_t i = 0; i < indexes_.size(); ++i) {
        if (EngineResult r = indexes_[i]->RecordReplaced(newRecord, oldRecord); r != DS_OK) {
            if (restore) restore();  // statuses first: the indexes read them
            while (i-- > 0) indexes_[i]->RecordReplaced(oldRecord, newRecord);
            return r;
        }
    }
    return DS_OK;
}

EngineResult TDSBASE::LeaveIndexes(uint32_t record) {
    if (!delta_mode() && (store_.StatusAt(record) & kNotIndexed) != 0) return DS_OK;
    for (size_t i = 0; i < indexes_.size(); ++i) {
        if (indexes_[i] == changeIndex_) continue;
        if (EngineResult r = indexes_[i]->LeaveForRewrite(record); r != DS_OK) {
            while (i-- > 0) {
                if (indexes_[i] != changeIndex_) indexes_[i]->ReturnAfterRewrite(record);
            }
            return r;
        }
    }
    return DS_OK;
}

EngineResult TDSBASE::ReturnToIndexes(uint32_t record) {
    if (!delta_mode() && (store_.StatusAt(record) & kNotIndexed) != 0) return DS_OK;
    for (size_t i = 0; i < indexes_.size(); ++i) {
        if (indexes_[i] == changeIndex_) continue;
        if (EngineResult r = indexes_[i]->ReturnAfterRewrite(record); r != DS_OK) {
            while (i-- > 0) {
                if (indexes_[i] != changeIndex_) indexes_[i]->LeaveForRewrite(record);
            }
            return r;
        }
    }
    return DS_OK;
}

EngineResult TDSBASE::RebuildIndexes() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    EngineResult first = DS_OK;
    for (DSIDX* index : indexes_) {
        if (EngineResult r = index->Rebuild(nullptr, nullptr); r != DS_OK && first == DS_OK) {
            first = r;
        }
    }
    return first;
}

EngineResult TDSBASE::MakeIndex(const IndexDesc* desc) {
    if (desc == nullptr) return DSERR_INVALIDPARAM;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    IndexDesc d = *desc;
    d.name[sizeof d.name - 1] = '\0';
    if (d.name[0] == '\0') std::strncpy(d.name, kDefaultOrder, sizeof d.name - 1);
    if (d.fieldCount > 16) return DSERR_INVALIDPARAM;
    // A nested detail's records are ordered under their master first: the
    // hidden link field leads every key.
    if (linkField_ != 0 && (d.fieldCount == 0 || d.fields[0] != linkField_)) {
        if (d.fieldCount == 16) return DSERR_INVALIDPARAM;
        for (uint32_t k = d.fieldCount; k > 0; --k) {
            d.fields[k] = d.fields[k - 1];
            d.descending[k] = d.descending[k - 1];
            d.caseInsensitive[k] = d.caseInsensitive[k - 1];
        }
        d.fields[0] = linkField_;
        d.descending[0] = 0;
        d.caseInsensitive[0] = 0;
        ++d.fieldCount;
    }

    DSIDX* existing = nullptr;
    if (FindIndex(d.name, &existing) == DS_OK) {
        if (existing == defaultIndex_) {
            if (existing->key_field_count() != 0 || defaultOrderByMakeIndex_) {
                return DSERR_ACTIVEINDEX;
            }
            const IndexDesc old = existing->desc();
            std::memcpy(d.name, old.name, sizeof d.name);
            if (EngineResult r = existing->Rebuild(&d, nullptr); r != DS_OK) {
                existing->Rebuild(&old, nullptr);
                return r;
            }
            defaultOrderByMakeIndex_ = true;
            return DS_OK;
        }
        return DescriptorsMatch(d, existing->desc(), false, false) ? DS_OK : DSERR_NAMENOTUNIQUE;
    }

    try {
        indexes_.reserve(indexes_.size() + 1);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    EngineResult result = DS_OK;
    DSIDX* index = BuildPlainIndex(this, d, nullptr, &result);
    if (index == nullptr) return result;
    RegisterIndex(index);
    if (defaultIndex_ == nullptr && std::strcmp(d.name, kDefaultOrder) == 0) {
        defaultIndex_ = index;
    }
    return DS_OK;
}

EngineResult TDSBASE::DropIndex(const char* name) {
    if (name == nullptr || *name == '\0') return DSERR_ACTIVEINDEX;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    DSIDX* index = nullptr;
    if (EngineResult r = FindIndex(name, &index); r != DS_OK) return r;
    if (index == defaultIndex_ || index->refs() > 1) return DSERR_ACTIVEINDEX;
    UnregisterIndex(index);
    index->Release();
    return DS_OK;
}

EngineResult TDSBASE::ListIndexes(IndexDesc* out) {
    if (out == nullptr) return DSERR_INVALIDPARAM;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    size_t n = 0;
    for (const DSIDX* index : indexes_) {
        if (Listed(*index)) out[n++] = index->desc();
    }
    return DS_OK;
}

}  // namespace pelmora
