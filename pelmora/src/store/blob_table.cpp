#include "store/blob_table.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace pelmora {

namespace {
constexpr size_t kGrowth = 16;
}

EngineResult BlobTable::Check(uint32_t ref) const {
    if ((ref & BLOB_NOT_FETCHED) != 0) return DSERR_BLOBNOTFETCHED;
    if (ref == 0 || ref > entries_.size()) return DSERR_INVALIDBLOBHANDLE;
    return DS_OK;
}

EngineResult BlobTable::Add(const void* bytes, uint32_t length, uint32_t& ref) {
    // References must stay below the not-fetched bit.
    if (entries_.size() >= (BLOB_NOT_FETCHED - 1)) return DSERR_NOMEMORY;
    try {
        const auto* src = static_cast<const uint8_t*>(bytes);
        std::vector<uint8_t> entry;
        if (length != 0) entry.assign(src, src + length);
        // Growing by half keeps adding linear: a fixed step made loading a
        // packet with many BLOBs move every entry once per step.
        if (entries_.size() == entries_.capacity())
            entries_.reserve(entries_.size() + std::max(kGrowth, entries_.size() / 2));
        entries_.push_back(std::move(entry));
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    ref = count();
    return DS_OK;
}

EngineResult BlobTable::Read(uint32_t ref, uint32_t offset, void* buffer, uint32_t& length) const {
    if (EngineResult r = Check(ref); r != DS_OK) return r;
    const std::vector<uint8_t>& e = entries_[ref - 1];
    const uint32_t size = static_cast<uint32_t>(e.size());
    const uint32_t n = offset >= size ? 0 : std::min(length, size - offset);
    if (n != 0) std::memcpy(buffer, e.data() + offset, n);
    length = n;
    return DS_OK;
}

EngineResult BlobTable::Write(uint32_t ref, uint32_t offset, const void* bytes, uint32_t length) {
    if (EngineResult r = Check(ref); r != DS_OK) return r;
    std::vector<uint8_t>& e = entries_[ref - 1];
    if (offset > e.size()) return DSERR_OUTOFRANGE;
    if (length == 0 || bytes == nullptr) {
        e.clear();
        e.shrink_to_fit();
        return DS_OK;
    }
    const uint64_t end = static_cast<uint64_t>(offset) + length;
    if (end > UINT32_MAX) return DSERR_OUTOFRANGE;
    try {
        if (end > e.size()) e.resize(static_cast<size_t>(end));
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    std::memcpy(e.data() + offset, bytes, length);
    return DS_OK;
}

EngineResult BlobTable::Length(uint32_t ref, uint32_t& length) const {
    if (EngineResult r = Check(ref); r != DS_OK) return r;
    length = static_cast<uint32_t>(entries_[ref - 1].size());
    return DS_OK;
}

EngineResult BlobTable::Compare(uint32_t a, uint32_t b, bool& equal) const {
    const bool aMissing = (a & BLOB_NOT_FETCHED) != 0;
    const bool bMissing = (b & BLOB_NOT_FETCHED) != 0;
    if (aMissing || bMissing) {
        equal = aMissing && bMissing && a == b;
        return DS_OK;
    }
    if (EngineResult r = Check(a); r != DS_OK) return r;
    if (EngineResult r = Check(b); r != DS_OK) return r;
    equal = entries_[a - 1] == entries_[b - 1];
    return DS_OK;
}

void BlobTable::Reset() {
    entries_.clear();
    entries_.shrink_to_fit();
    mark_ = 0;
}

void BlobTable::Rollback() {
    if (mark_ < entries_.size()) entries_.resize(mark_);
}

EngineResult BlobTable::DiscardLast(uint32_t ref) {
    if (EngineResult r = Check(ref); r != DS_OK) return r;
    if (ref == entries_.size()) {
        entries_.pop_back();
        mark_ = std::min(mark_, count());
    }
    return DS_OK;
}

}  // namespace pelmora
