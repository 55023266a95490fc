// The blocked entry list behind every index.
#include "index/index_entries.h"

#include <algorithm>
#include <bit>
#include <new>
#include <stdexcept>
#include <utility>

#include "com/invariant.h"

namespace pelmora {

namespace {

// Blocks filled by a bulk assignment keep room for later inserts.
constexpr uint32_t kFillBlock = EntryList::kMaxBlock * 3 / 4;
// A block this small merges with a neighbour when both fit in half a block.
constexpr uint32_t kSmallBlock = EntryList::kMaxBlock / 8;

}  // namespace

uint32_t EntryList::EntriesBefore(uint32_t rank) const {
    uint32_t sum = 0;
    for (uint32_t i = rank; i > 0; i &= i - 1) sum += fenwick_[i];
    return sum;
}

void EntryList::Locate(uint32_t position, uint32_t* rank, uint32_t* offset) const {
    const auto blocks = static_cast<uint32_t>(order_.size());
    uint32_t index = 0;
    uint32_t remaining = position;
    for (uint32_t step = std::bit_floor(blocks); step != 0; step >>= 1) {
        const uint32_t next = index + step;
        if (next <= blocks && fenwick_[next] < remaining) {
            index = next;
            remaining -= fenwick_[next];
        }
    }
    *rank = index;
    *offset = remaining - 1;
    // Callers locate existing positions only: the place lies inside a block.
    PELMORA_INVARIANT(index < blocks && remaining >= 1 && remaining <= pool_[order_[index]].size());
}

void EntryList::FenwickAdd(uint32_t rank, int32_t delta) {
    const auto blocks = static_cast<uint32_t>(order_.size());
    for (uint32_t i = rank + 1; i <= blocks; i += i & (0u - i)) {
        fenwick_[i] = static_cast<uint32_t>(static_cast<int32_t>(fenwick_[i]) + delta);
    }
}

void EntryList::RebuildOrder(uint32_t fromRank) {
    const auto blocks = static_cast<uint32_t>(order_.size());
    for (uint32_t r = fromRank; r < blocks; ++r) rank_[order_[r]] = r;
    fenwick_.assign(blocks + 1, 0);  // never grows here: callers sized it
    for (uint32_t i = 1; i <= blocks; ++i) {
        fenwick_[i] += static_cast<uint32_t>(pool_[order_[i - 1]].size());
        const uint32_t parent = i + (i & (0u - i));
        if (parent <= blocks) fenwick_[parent] += fenwick_[i];
    }
}

uint32_t EntryList::NewBlock(uint32_t rank) {
    try {
        std::vector<uint32_t> block;
        block.reserve(kMaxBlock);
        const size_t blocks = order_.size() + 1;
        order_.reserve(blocks);
        fenwick_.reserve(blocks + 1);
        uint32_t id;
        if (!freeIds_.empty()) {
            id = freeIds_.back();
            freeIds_.pop_back();
            pool_[id].swap(block);
        } else {
            id = static_cast<uint32_t>(pool_.size());
            pool_.reserve(pool_.size() + 1);
            rank_.reserve(pool_.size() + 1);
            freeIds_.reserve(pool_.size() + 1);  // dropping a block never allocates
            pool_.push_back(std::move(block));
            rank_.push_back(0);
        }
        order_.insert(order_.begin() + rank, id);
        RebuildOrder(rank);
        return id;
    } catch (const std::bad_alloc&) {
        return kNoBlock;
    } catch (const std::length_error&) {
        return kNoBlock;
    }
}

void EntryList::DropBlock(uint32_t rank) {
    const uint32_t id = order_[rank];
    pool_[id].clear();
    freeIds_.push_back(id);
    order_.erase(order_.begin() + rank);
    RebuildOrder(rank);
}

EngineResult EntryList::ReserveRecords(uint32_t records) {
    if (records <= blockOf_.size()) return DS_OK;
    try {
        const size_t grown = std::max<size_t>(records, blockOf_.size() + blockOf_.size() / 2 + 64);
        blockOf_.resize(std::min<size_t>(grown, 0x100000000ull), kNoBlock);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    } catch (const std::length_error&) {
        return DSERR_NOMEMORY;
    }
    return DS_OK;
}

uint32_t EntryList::At(uint32_t position) const {
    if (position == 0 || position > count_) return 0;
    uint32_t rank = 0;
    uint32_t offset = 0;
    Locate(position, &rank, &offset);
    return pool_[order_[rank]][offset];
}

uint32_t EntryList::PositionOf(uint32_t record) const {
    if (record >= blockOf_.size() || blockOf_[record] == kNoBlock) return 0;
    const uint32_t id = blockOf_[record];
    const std::vector<uint32_t>& block = pool_[id];
    const auto it = std::find(block.begin(), block.end(), record);
    if (it == block.end()) return 0;
    return EntriesBefore(rank_[id]) + static_cast<uint32_t>(it - block.begin()) + 1;
}

EngineResult EntryList::Insert(uint32_t position, uint32_t record) {
    if (position == 0 || position > count_ + 1) return DSERR_OUTOFRANGE;
    if (static_cast<uint64_t>(record) + 1 > blockOf_.size()) {
        if (EngineResult r = ReserveRecords(record + 1); r != DS_OK) return r;
    }
    if (order_.empty() && NewBlock(0) == kNoBlock) return DSERR_NOMEMORY;

    uint32_t rank;
    uint32_t offset;
    const bool atEnd = position == count_ + 1;
    if (atEnd) {
        rank = static_cast<uint32_t>(order_.size() - 1);
        offset = static_cast<uint32_t>(pool_[order_[rank]].size());
    } else {
        Locate(position, &rank, &offset);
    }
    if (pool_[order_[rank]].size() >= kMaxBlock) {
        // A full block: appending starts a new block, anything else splits
        // the block in halves.
        const uint32_t id = NewBlock(rank + 1);
        if (id == kNoBlock) return DSERR_NOMEMORY;
        std::vector<uint32_t>& full = pool_[order_[rank]];
        std::vector<uint32_t>& next = pool_[id];
        if (atEnd) {
            ++rank;
            offset = 0;
        } else {
            const uint32_t half = kMaxBlock / 2;
            next.assign(full.begin() + half, full.end());  // within the reserved room
            full.resize(half);
            for (uint32_t moved : next) MapRecord(moved, id);
            RebuildOrder(rank);
            if (offset > half) {
                ++rank;
                offset -= half;
            }
        }
    }
    const uint32_t id = order_[rank];
    std::vector<uint32_t>& block = pool_[id];
    PELMORA_INVARIANT(block.size() < kMaxBlock && offset <= block.size());
    block.insert(block.begin() + offset, record);  // capacity is reserved
    blockOf_[record] = id;
    FenwickAdd(rank, 1);
    ++count_;
    PELMORA_INVARIANT(At(position) == record && PositionOf(record) == position);
    PELMORA_INVARIANT(EntriesBefore(static_cast<uint32_t>(order_.size())) == count_);
    return DS_OK;
}

void EntryList::Erase(uint32_t position) {
    if (position == 0 || position > count_) return;
    uint32_t rank;
    uint32_t offset;
    Locate(position, &rank, &offset);
    const uint32_t id = order_[rank];
    std::vector<uint32_t>& block = pool_[id];
    const uint32_t record = block[offset];
    if (record < blockOf_.size() && blockOf_[record] == id) blockOf_[record] = kNoBlock;
    block.erase(block.begin() + offset);
    FenwickAdd(rank, -1);
    --count_;
    PELMORA_INVARIANT(PositionOf(record) == 0);
    if (block.empty()) {
        DropBlock(rank);
        return;
    }
    if (block.size() >= kSmallBlock || order_.size() < 2) return;
    // Fold a small block into a neighbour so that the block count stays
    // proportional to the entries.
    const uint32_t first = rank + 1 < order_.size() ? rank : rank - 1;
    std::vector<uint32_t>& early = pool_[order_[first]];
    std::vector<uint32_t>& late = pool_[order_[first + 1]];
    if (early.size() + late.size() > kMaxBlock / 2) return;
    const uint32_t earlyId = order_[first];
    for (uint32_t moved : late) MapRecord(moved, earlyId);
    early.insert(early.end(), late.begin(), late.end());  // within the reserved room
    late.clear();
    DropBlock(first + 1);
}

EngineResult EntryList::Replace(uint32_t position, uint32_t record) {
    if (position == 0 || position > count_) return DSERR_OUTOFRANGE;
    if (static_cast<uint64_t>(record) + 1 > blockOf_.size()) {
        if (EngineResult r = ReserveRecords(record + 1); r != DS_OK) return r;
    }
    uint32_t rank;
    uint32_t offset;
    Locate(position, &rank, &offset);
    const uint32_t id = order_[rank];
    uint32_t& slot = pool_[id][offset];
    if (slot < blockOf_.size() && blockOf_[slot] == id) blockOf_[slot] = kNoBlock;
    slot = record;
    blockOf_[record] = id;
    PELMORA_INVARIANT(PositionOf(record) == position);
    return DS_OK;
}

void EntryList::Clear() {
    pool_.clear();
    freeIds_.clear();
    order_.clear();
    rank_.clear();
    fenwick_.clear();
    std::fill(blockOf_.begin(), blockOf_.end(), kNoBlock);
    count_ = 0;
}

EngineResult EntryList::Assign(const std::vector<uint32_t>& records) {
    Clear();
    if (records.empty()) return DS_OK;
    const uint32_t highest = *std::max_element(records.begin(), records.end());
    if (EngineResult r = ReserveRecords(highest + 1); r != DS_OK) return r;
    const size_t blocks = (records.size() + kFillBlock - 1) / kFillBlock;
    try {
        pool_.resize(blocks);
        order_.resize(blocks);
        rank_.resize(blocks);
        freeIds_.reserve(blocks);
        fenwick_.reserve(blocks + 1);
        for (size_t b = 0; b < blocks; ++b) {
            pool_[b].reserve(kMaxBlock);
            const size_t from = b * kFillBlock;
            const size_t to = std::min(records.size(), from + kFillBlock);
            pool_[b].assign(records.begin() + static_cast<ptrdiff_t>(from),
                            records.begin() + static_cast<ptrdiff_t>(to));
            order_[b] = static_cast<uint32_t>(b);
            for (size_t i = from; i < to; ++i) blockOf_[records[i]] = static_cast<uint32_t>(b);
        }
    } catch (const std::bad_alloc&) {
        Clear();
        return DSERR_NOMEMORY;
    }
    count_ = static_cast<uint32_t>(records.size());
    RebuildOrder(0);
    return DS_OK;
}

EngineResult EntryList::CopyTo(std::vector<uint32_t>& out) const {
    try {
        out.clear();
        out.reserve(count_);
        for (uint32_t id : order_) out.insert(out.end(), pool_[id].begin(), pool_[id].end());
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    return DS_OK;
}

}  // namespace pelmora
