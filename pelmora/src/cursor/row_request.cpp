// Row requests and responses: a one-row-per-level request for the BLOBs and
// nested details of the cursor's current record (and its masters) that were
// not fetched, and the merge of the response into those records.
#include <cstring>
#include <new>
#include <vector>

#include "changes/delta.h"
#include "changes/reconcile.h"
#include "cursor/cursor.h"
#include "dataset/dataset.h"
#include "index/index.h"
#include "store/record_buffer.h"

namespace pelmora {

namespace {

constexpr uint32_t kModeKeyOnly = 2;
constexpr uint32_t kLinkNotFetched = 0x80000000u;

TDSBASE* NestedOf(TDSBASE* ds, uint32_t field) {
    if (ds == nullptr) return nullptr;
    const NestedDetail* nested = ds->NestedFor(field);
    return nested != nullptr ? nested->dataset : nullptr;
}

bool Contains(const std::vector<uint32_t>& list, uint32_t k) {
    for (uint32_t v : list) {
        if (v == k) return true;
    }
    return false;
}

}  // namespace

EngineResult TDSBASE::RowRequestDataset(TDSBASE** out) {
    std::lock_guard guard(lock_);
    if (rowRequest_ == nullptr) {
        IDSBase* made = nullptr;
        if (EngineResult r = MakeDerived(4, 1, 1, &made); r != DS_OK) return r;
        rowRequest_ = static_cast<TDSBASE*>(made);  // the one reference is kept
    }
    *out = rowRequest_;
    return DS_OK;
}

EngineResult TDSCursor::RequestChain(std::vector<RequestLevel>& out) {
    std::vector<TDSCursor*> cursors;
    for (TDSCursor* c = this; c != nullptr && cursors.size() < 32; c = c->master_)
        cursors.insert(cursors.begin(), c);
    for (size_t i = 0; i < cursors.size(); ++i) {
        TDSCursor& c = *cursors[i];
        c.Sync();
        if (c.status_ != DS_OK) return c.status_;
        RequestLevel level;
        level.dataset = c.dataset_;
        level.record = c.currentRecord_;
        DSIDX* keyIndex = nullptr;
        for (DSIDX* index : c.dataset_->indexes()) {
            if (index->desc().unique != 0 && !index->is_private()) {
                keyIndex = index;
                break;
            }
        }
        if (keyIndex == nullptr) keyIndex = c.index_;
        const IndexDesc& desc = keyIndex->desc();
        for (uint32_t f = 0; f < desc.fieldCount && f < 16; ++f)
            level.keyFields.push_back(desc.fields[f]);
        if (i + 1 < cursors.size()) {
            for (const pelmora::NestedDetail& n : c.dataset_->nested()) {
                if (n.dataset == cursors[i + 1]->dataset_) level.nestedField = n.field;
            }
            if (level.nestedField == 0) return DSERR_NOTSUPPORTED;
        }
        out.push_back(std::move(level));
    }
    return out.empty() ? EngineResult{DSERR_NOTSUPPORTED} : EngineResult{DS_OK};
}

EngineResult TDSCursor::BuildRowRequest(int32_t keyFieldsOnly, int32_t requestBlobs,
                                        int32_t requestDetails, int32_t withMetadata,
                                        SAFEARRAY** out) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    if (out == nullptr) return DSERR_INVALIDPARAM;
    *out = nullptr;
    std::vector<RequestLevel> chain;
    try {
        if (EngineResult r = RequestChain(chain); r != DS_OK) return r;
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    TDSBASE& top = *chain.front().dataset;
    uint32_t xml = 0;
    top.ReadProperty(19, &xml);
    if (xml != 0) return DSERR_NOTFETCHEDINXML;
    TDSBASE* request = nullptr;
    if (EngineResult r = top.RowRequestDataset(&request); r != DS_OK) return r;
    if (EngineResult r = request->ClearRecords(); r != DS_OK) return r;
    request->WriteProperty(0, 0);
    if (request->field_count() != top.field_count() || request->record_size() != top.record_size())
        return DSERR_NOTSUPPORTED;
    uint32_t mode = kModeKeyOnly;
    if (keyFieldsOnly == 0) top.ReadProperty(18, &mode);

    TDSBASE* q = request;
    for (size_t i = 0; i < chain.size(); ++i) {
        const RequestLevel& level = chain[i];
        TDSBASE& ds = *level.dataset;
        if (q == nullptr) return DSERR_NOTSUPPORTED;
        const bool last = i + 1 == chain.size();
        std::vector<uint8_t> buffer;
        try {
            buffer.assign(q->record_size(), 0);
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        }
        if (EngineResult r = CopyRecordAcross(ds, level.record, *q, buffer.data(), 0); r != DS_OK)
            return r;
        const std::vector<FieldDesc>& qf = q->fields();
        std::vector<uint32_t> detailLinks;
        for (const pelmora::NestedDetail& n : ds.nested())
            detailLinks.insert(detailLinks.end(), n.masterFields.begin(), n.masterFields.end());
        for (uint32_t k = 1; k <= qf.size(); ++k) {
            const FieldDesc& f = qf[k - 1];
            uint8_t& indicator = buffer[f.indicatorOffset];
            if (f.type == FLD_BLOB) {
                uint32_t ref = 0;
                const bool blank = indicator != IND_VALUE;
                if (!blank) std::memcpy(&ref, buffer.data() + f.offset, 4);
                const bool asked =
                    last && requestBlobs != 0 && !blank && (ref & BLOB_NOT_FETCHED) != 0;
                indicator = asked ? IND_BLANK : IND_UNCHANGED;
                continue;
            }
            if (f.type == FLD_TABLE) {
                if (k == level.nestedField) continue;  // carries its link value
                uint32_t link = 0;
                const bool blank = indicator != IND_VALUE;
                if (!blank) std::memcpy(&link, buffer.data() + f.offset, 4);
                const bool asked =
                    last && requestDetails != 0 && !blank && (link & kLinkNotFetched) != 0;
                indicator = asked ? IND_BLANK : IND_UNCHANGED;
                continue;
            }
            if (mode != kModeKeyOnly) continue;
            const bool keep = Contains(level.keyFields, k) || k == q->link_field() ||
                              (requestDetails != 0 && Contains(detailLinks, k));
            if (!keep) indicator = IND_UNCHANGED;
        }
        if (EngineResult r = q->AppendRow(buffer.data(), 0, nullptr); r != DS_OK) return r;
        q = last ? nullptr : NestedOf(q, level.nestedField);
    }
    request->WriteProperty(8, withMetadata != 0 ? 0 : 1);
    return request->WritePacket(out);
}

EngineResult TDSCursor::MergeRowResponse(SAFEARRAY* packet) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    if (packet == nullptr) return DSERR_INVALIDPARAM;
    std::vector<RequestLevel> chain;
    try {
        if (EngineResult r = RequestChain(chain); r != DS_OK) return r;
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    TDSBASE* response = nullptr;
    if (EngineResult r = LoadIntoNew(packet, &response); r != DS_OK) return r;
    EngineResult result = DS_OK;
    TDSBASE* level = response;
    for (size_t i = 0; i < chain.size() && result == DS_OK; ++i) {
        if (level == nullptr || level->next_record() == 1) {
            result = DSERR_NOTSUPPORTED;
            break;
        }
        const uint32_t row = level->next_record() - 1 <= 1 ? 1 : 2;
        const bool last = i + 1 == chain.size();
        result = chain[i].dataset->RefreshRecord(chain[i].record, *level, row, last);
        if (!last) level = NestedOf(level, chain[i].nestedField);
    }
    response->Release();
    return result;
}

}  // namespace pelmora
