// The entry list of an index: record numbers in index order, addressed by
// 1-based position. Entries live in blocks of at most kMaxBlock record
// numbers; a Fenwick tree over the block sizes turns a position into a block
// and back in O(log blocks), and a record-number -> block map finds a
// record's position without scanning the list. Inserting or removing one
// entry moves at most one block's worth of numbers.
#pragma once

#include <cstdint>
#include <vector>

#include "pelmora/pelmora.h"

namespace pelmora {

class EntryList {
  public:
    static constexpr uint32_t kMaxBlock = 1024;

    uint32_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

    // Record number at a position (1..size); 0 outside that range.
    uint32_t At(uint32_t position) const;
    // Position of a record number; 0 when it is not an entry.
    uint32_t PositionOf(uint32_t record) const;

    // Puts a record at a position (1..size+1). 9473 leaves the list unchanged.
    EngineResult Insert(uint32_t position, uint32_t record);
    // Removes the entry at a position (1..size); other positions are ignored.
    void Erase(uint32_t position);
    // Replaces the record at a position (1..size).
    EngineResult Replace(uint32_t position, uint32_t record);

    // Replaces every entry with the given order. 9473 leaves the list empty.
    EngineResult Assign(const std::vector<uint32_t>& records);
    // Every entry in order.
    EngineResult CopyTo(std::vector<uint32_t>& out) const;
    void Clear();
    // Makes the record map cover record numbers below `records`.
    EngineResult ReserveRecords(uint32_t records);

    // The first position whose record fails `before` (size + 1 when none
    // does), where `before` holds for a leading run of the entries and fails
    // for the rest: a block-wise then in-block binary search.
    template <typename Before>
    uint32_t PartitionPoint(Before before) const;
    // The same answer for a cheap `before` over a totally ordered key: each
    // step picks its half without a branch, so that the unpredictable
    // outcome of a comparison costs no misprediction.
    template <typename Before>
    uint32_t PartitionPointSelect(Before before) const;

  private:
    static constexpr uint32_t kNoBlock = 0xFFFFFFFFu;

    // Entries before block `rank` in order.
    uint32_t EntriesBefore(uint32_t rank) const;
    // The block rank holding a position (1..size) and the 0-based offset in it.
    void Locate(uint32_t position, uint32_t* rank, uint32_t* offset) const;
    void FenwickAdd(uint32_t rank, int32_t delta);
    void RebuildOrder(uint32_t fromRank);
    // A new, empty block placed at `rank`; kNoBlock when memory is short.
    uint32_t NewBlock(uint32_t rank);
    void DropBlock(uint32_t rank);
    void MapRecord(uint32_t record, uint32_t block) {
        if (record < blockOf_.size()) blockOf_[record] = block;
    }

    std::vector<std::vector<uint32_t>> pool_;  // blocks by id
    std::vector<uint32_t> freeIds_;            // ids of dropped blocks
    std::vector<uint32_t> order_;              // block ids in index order
    std::vector<uint32_t> rank_;               // block id -> place in order_
    std::vector<uint32_t> fenwick_;            // 1-based tree over block sizes in order
    std::vector<uint32_t> blockOf_;            // record number -> block id
    uint32_t count_ = 0;
};

template <typename Before>
uint32_t EntryList::PartitionPoint(Before before) const {
    // The first block whose last entry fails holds the boundary.
    uint32_t lo = 0;
    uint32_t hi = static_cast<uint32_t>(order_.size());
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        if (before(pool_[order_[mid]].back())) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (lo == order_.size()) return count_ + 1;
    const std::vector<uint32_t>& block = pool_[order_[lo]];
    uint32_t a = 0;
    auto b = static_cast<uint32_t>(block.size() - 1);  // block[b] fails
    while (a < b) {
        const uint32_t mid = a + (b - a) / 2;
        if (before(block[mid])) {
            a = mid + 1;
        } else {
            b = mid;
        }
    }
    return EntriesBefore(lo) + a + 1;
}

template <typename Before>
uint32_t EntryList::PartitionPointSelect(Before before) const {
    // The first failing block among [lo, lo + n - 1], where place `blocks`
    // stands for "none fails": halve the range keeping that place inside it.
    const auto blocks = static_cast<uint32_t>(order_.size());
    uint32_t lo = 0;
    uint32_t n = blocks + 1;
    while (n > 1) {
        const uint32_t half = n / 2;
        lo = before(pool_[order_[lo + half - 1]].back()) ? lo + half : lo;
        n -= half;
    }
    if (lo == blocks) return count_ + 1;
    // Within the block, whose last entry fails.
    const std::vector<uint32_t>& block = pool_[order_[lo]];
    const uint32_t* entries = block.data();
    uint32_t a = 0;
    auto m = static_cast<uint32_t>(block.size());
    while (m > 1) {
        const uint32_t half = m / 2;
        a = before(entries[a + half - 1]) ? a + half : a;
        m -= half;
    }
    return EntriesBefore(lo) + a + 1;
}

}  // namespace pelmora
