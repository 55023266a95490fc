// Master-detail links between cursors: a detail cursor follows its master
// cursor's current record through a key range over the detail's link fields
// (for a nested dataset, the hidden link field holding the master's link
// value). Also the scans that tell whether a master record has details.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "cursor/cursor.h"
#include "dataset/dataset.h"
#include "index/index.h"

namespace pelmora {

using Guard = std::lock_guard<std::recursive_mutex>;

namespace {

bool Live(const TDSBASE& ds, uint32_t record) {
    return (ds.store().StatusAt(record) & (REC_SUPERSEDED | REC_DELETED | REC_DISCARDED)) == 0;
}

// Equal blank state and, when not blank, equal bytes over the narrower width.
bool SameValue(const uint8_t* a, uint8_t aInd, uint32_t aWidth, const uint8_t* b, uint8_t bInd,
               uint32_t bWidth) {
    const bool aBlank = aInd != IND_VALUE;
    const bool bBlank = bInd != IND_VALUE;
    if (aBlank || bBlank) return aBlank == bBlank;
    const uint32_t width = std::min(aWidth, bWidth);
    return width == 0 || std::memcmp(a, b, width) == 0;
}

bool ValidFieldOf(const TDSBASE& ds, uint32_t field) {
    return field >= 1 && field <= ds.field_count();
}

}  // namespace

bool LinkValuesMatch(const TDSBASE& a, const uint8_t* aBuffer, const std::vector<uint32_t>& aFields,
                     const TDSBASE& b, uint32_t bRecord, const std::vector<uint32_t>& bFields) {
    const size_t n = std::min(aFields.size(), bFields.size());
    for (size_t i = 0; i < n; ++i) {
        if (!ValidFieldOf(a, aFields[i]) || !ValidFieldOf(b, bFields[i])) return false;
        const FieldDesc& fa = a.fields()[aFields[i] - 1];
        const FieldDesc& fb = b.fields()[bFields[i] - 1];
        if (!SameValue(aBuffer + fa.offset, aBuffer[fa.indicatorOffset], fa.length,
                       b.store().ValueAt(bRecord, bFields[i]),
                       b.store().IndicatorAt(bRecord, bFields[i]), fb.length))
            return false;
    }
    return true;
}

bool HasDetails(TDSBASE& master, uint32_t masterRecord, const DetailLink& link) {
    TDSBASE* detail = link.detail;
    if (!detail || masterRecord == 0 || masterRecord >= master.next_record()) return false;
    Guard guard(detail->lock());
    const uint32_t end = detail->next_record();
    if (link.nestedField != 0) {
        if (!ValidFieldOf(master, link.nestedField)) return false;
        if (master.store().IndicatorAt(masterRecord, link.nestedField) != IND_VALUE) return false;
        uint32_t value = 0;
        std::memcpy(&value, master.store().ValueAt(masterRecord, link.nestedField), sizeof value);
        if (value == 0) return false;
        // Details that were not delivered count as present.
        if (value & 0x80000000u) return true;
        const uint32_t linkField = detail->link_field();
        if (!ValidFieldOf(*detail, linkField)) return false;
        for (uint32_t r = 1; r < end; ++r) {
            if (!Live(*detail, r) || detail->store().IndicatorAt(r, linkField) != IND_VALUE)
                continue;
            uint32_t v = 0;
            std::memcpy(&v, detail->store().ValueAt(r, linkField), sizeof v);
            if (v == value) return true;
        }
        return false;
    }
    if (link.masterFields.empty()) return false;
    std::vector<uint8_t> values(master.record_size());
    if (master.ReadRecord(masterRecord, values.data()) != DS_OK) return false;
    for (uint32_t r = 1; r < end; ++r) {
        if (Live(*detail, r) && LinkValuesMatch(master, values.data(), link.masterFields, *detail,
                                                r, link.detailFields))
            return true;
    }
    return false;
}

std::vector<DetailLink> AllDetailLinks(TDSBASE& master) {
    std::vector<DetailLink> links = master.detail_links();
    for (const NestedDetail& n : master.nested()) {
        DetailLink link;
        link.detail = n.dataset;
        link.nestedField = n.field;
        links.push_back(std::move(link));
    }
    return links;
}

// ---------------------------------------------------------------------------

DetailLink* TDSCursor::MyLink() const {
    if (!master_) return nullptr;
    for (DetailLink& link : master_->dataset_->detail_links()) {
        if (std::find(link.cursors.begin(), link.cursors.end(), this) != link.cursors.end())
            return &link;
    }
    return nullptr;
}

uint32_t TDSCursor::MyLinkNumber() const {
    if (!master_) return 0;
    const std::vector<DetailLink>& links = master_->dataset_->detail_links();
    for (size_t i = 0; i < links.size(); ++i) {
        if (std::find(links[i].cursors.begin(), links[i].cursors.end(), this) !=
            links[i].cursors.end())
            return static_cast<uint32_t>(i + 1);
    }
    return 0;
}

bool TDSCursor::IsNestedLink() const {
    const DetailLink* link = MyLink();
    return link && link->nestedField != 0;
}

EngineResult TDSCursor::PutMasterLinkValues(uint8_t* buffer) {
    const DetailLink* link = MyLink();
    if (!link) return DS_OK;
    TDSCursor& master = *master_;
    if (master.status_ != DS_OK) return master.status_;
    TDSBASE& mds = *master.dataset_;
    Guard guard(mds.lock());
    const uint32_t record = master.currentRecord_;
    if (record == 0 || record >= mds.next_record()) return DSERR_NOCURRREC;
    const RecordStore& store = mds.store();
    const size_t n = std::min(link->masterFields.size(), link->detailFields.size());
    for (size_t i = 0; i < n; ++i) {
        const uint32_t mf = link->masterFields[i];
        const uint32_t df = link->detailFields[i];
        if (!ValidFieldOf(mds, mf) || !ValidField(df)) continue;
        const FieldDesc& d = fields_[df - 1];
        const uint32_t width = std::min(d.length, mds.fields()[mf - 1].length);
        std::memset(buffer + d.offset, 0, d.length);
        if (width) std::memcpy(buffer + d.offset, store.ValueAt(record, mf), width);
        buffer[d.indicatorOffset] = store.IndicatorAt(record, mf);
    }
    if (link->nestedField != 0 && ValidFieldOf(mds, link->nestedField)) {
        uint32_t value = 0;
        if (store.IndicatorAt(record, link->nestedField) == IND_VALUE)
            std::memcpy(&value, store.ValueAt(record, link->nestedField), sizeof value);
        masterLink_ = static_cast<int32_t>(value);
        const uint32_t lf = dataset_->link_field();
        if (ValidField(lf) && fields_[lf - 1].length >= sizeof value) {
            std::memcpy(buffer + fields_[lf - 1].offset, &value, sizeof value);
            buffer[fields_[lf - 1].indicatorOffset] = IND_VALUE;
        }
    } else {
        masterLink_ = 1;
    }
    return DS_OK;
}

void TDSCursor::MarkMaster() {
    if (!master_ || !dataset_->logging_on()) return;
    const uint32_t number = MyLinkNumber();
    const uint32_t record = master_->currentRecord_;
    if (number == 0 || record == 0) return;
    Guard guard(master_->dataset_->lock());
    master_->dataset_->LogDetailChange(record, number);
}

EngineResult TDSCursor::SyncWithMaster() {
    if (!master_ || !dataset_) return DS_OK;
    master_->Sync();
    if (masterSynced_ && master_->changeCounter_ == masterSeen_) return DS_OK;
    Guard guard(dataset_->lock());
    masterSeen_ = master_->changeCounter_;
    masterSynced_ = true;
    if (master_->status_ != DS_OK) {
        masterAbsent_ = true;
        masterLink_ = 0;
        rangeFirst_ = 1;
        rangeLast_ = 0;
        position_ = 0;
        status_ = DSERR_NOCURRREC;
        indexStamp_ = index_->change_counter();
        Bookkeep();
        return DSERR_NOCURRREC;
    }
    masterAbsent_ = false;
    const DetailLink* link = MyLink();
    if (!link) return DS_OK;
    std::vector<uint8_t> values(recordSize_, 0);
    if (EngineResult r = PutMasterLinkValues(values.data()); r != DS_OK) return r;
    std::vector<uint32_t> keyFields;
    if (link->nestedField != 0)
        keyFields.push_back(dataset_->link_field());
    else
        keyFields = link->detailFields;
    // The range needs an order that starts with the link fields.
    const IndexDesc& d = index_->desc();
    bool ordered = !keyFields.empty() && d.fieldCount >= keyFields.size();
    for (size_t i = 0; ordered && i < keyFields.size(); ++i) ordered = d.fields[i] == keyFields[i];
    if (!ordered) {
        DropRange();
        ComputeBounds();
        indexStamp_ = index_->change_counter();
        MoveBeforeFirst();
        return DS_OK;
    }
    std::vector<uint8_t> key(dataset_->record_size());
    ToDatasetLayout(values.data(), key.data());
    return ApplyRange(static_cast<uint32_t>(keyFields.size()), key.data(), 1, key.data(), 1);
}

EngineResult TDSCursor::LinkDetailCursor(uint32_t count, const uint32_t* masterFields,
                                         const uint32_t* detailFields, IDSCursor* detail) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    auto* det = dynamic_cast<TDSCursor*>(detail);
    if (!det || !det->dataset_ || det == this) return DSERR_INVALIDPARAM;
    if (count > 0 && (!masterFields || !detailFields)) return DSERR_INVALIDPARAM;
    Guard guard(dataset_->lock());
    TDSBASE* dds = det->dataset_;
    Guard detailGuard(dds->lock());
    const IndexDesc& d = det->index_->desc();
    if (d.fieldCount < count) return DSERR_OUTOFRANGE;
    for (uint32_t i = 0; i < count; ++i) {
        if (d.fields[i] != detailFields[i]) return DSERR_OUTOFRANGE;
        if (!ValidFieldOf(*dataset_, masterFields[i]) || !ValidFieldOf(*dds, detailFields[i]))
            return DSERR_INVALIDPARAM;
    }

    // Leave any earlier link first.
    if (det->master_) {
        for (DetailLink& link : det->master_->dataset_->detail_links())
            std::erase(link.cursors, det);
    }

    std::vector<DetailLink>& links = dataset_->detail_links();
    size_t chosen = links.size();
    if (count == 0) {
        for (size_t i = 0; i < links.size() && chosen == links.size(); ++i) {
            if (links[i].detail == dds) chosen = i;
        }
        if (chosen == links.size()) {
            if (dds->master() != dataset_ || dds->link_field() == 0) return DSERR_INVALIDPARAM;
            DetailLink link;
            link.detail = dds;
            link.detailFields.push_back(dds->link_field());
            link.nestedField = dds->master_field();
            links.push_back(std::move(link));
            // The link keeps its detail alive (a dataset linked to itself
            // would keep itself alive: no reference then).
            if (dds != dataset_) dds->AddRef();
        }
    } else {
        const std::vector<uint32_t> mf(masterFields, masterFields + count);
        const std::vector<uint32_t> df(detailFields, detailFields + count);
        for (size_t i = 0; i < links.size() && chosen == links.size(); ++i) {
            if (links[i].detail == dds && links[i].masterFields == mf &&
                links[i].detailFields == df)
                chosen = i;
        }
        if (chosen == links.size()) {
            DetailLink link;
            link.detail = dds;
            link.masterFields = mf;
            link.detailFields = df;
            if (dds->master() == dataset_ && count == 1 &&
                dataset_->fields()[mf[0] - 1].type == FLD_TABLE)
                link.nestedField = mf[0];
            links.push_back(std::move(link));
            // The link keeps its detail alive (a dataset linked to itself
            // would keep itself alive: no reference then).
            if (dds != dataset_) dds->AddRef();
        }
    }
    links[chosen].cursors.push_back(det);
    if (det->master_ != this) {
        AddRef();
        if (det->master_) det->master_->Release();
        det->master_ = this;
    }
    dataset_->add_flags(DSF_MASTER);
    dds->add_flags(DSF_DETAIL);
    det->masterSynced_ = false;
    return DS_OK;
}

}  // namespace pelmora
