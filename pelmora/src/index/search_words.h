// A flat copy of an index's first key field for long runs of key searches
// between edits: every entry's order-preserving key word (up to 33 bits) and
// record number (below 2^31) packed into one 64-bit value, in index order.
// A binary search over this one array touches far fewer cache lines than one
// that follows record numbers through the entry blocks into the store's
// columns, and the record found sits beside its word. The copy is made only
// once enough searches have met the index unchanged to pay for it, and it is
// used only while the index is exactly as it was when it was made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelmora {

class SearchWords {
  public:
    // Key words are below 2^33: a key of up to 32 bits plus the blank.
    static constexpr uint64_t kWordLimit = uint64_t{1} << 33;
    static constexpr uint32_t kRecordLimit = 0x80000000u;

    // Notes one search against an index whose change counter is `stamp` and
    // which holds `entries` entries; true when the copy matches it.
    bool Matches(uint32_t stamp, uint32_t entries) {
        if (stamp != seenStamp_ || entries != seenEntries_) {
            seenStamp_ = stamp;
            seenEntries_ = entries;
            searchesSeen_ = 0;
            if (ready_ && builtStamp_ != stamp) Drop();  // the index changed
        }
        ++searchesSeen_;
        return Valid(stamp, entries);
    }
    bool Valid(uint32_t stamp, uint32_t entries) const {
        return ready_ && builtStamp_ == stamp && packed_.size() == entries;
    }
    // True when the searches since the last change have paid for a copy.
    bool WorthBuilding() const {
        return searchesSeen_ >= kMinSearches && searchesSeen_ >= seenEntries_ / kEntriesPerSearch;
    }
    // Starts a copy for the index at `stamp`: Add every entry in order, then
    // Finish. May throw std::bad_alloc (the copy is then not ready).
    void Begin(size_t entries, uint32_t stamp);
    // False for a word or record number out of range (the copy is dropped).
    bool Add(uint64_t word, uint32_t record) {
        if (word >= kWordLimit || record >= kRecordLimit) return false;
        packed_.push_back(word << kRecordBits | record);
        return true;
    }
    void Finish();
    // Forgets the copy (an entry changed without the index's counter moving).
    void Drop() {
        packed_ = {};
        runLast_ = {};
        ready_ = false;
    }
    // For a valid copy: the record at a position (1..size) and whether the
    // word there equals `word`.
    uint32_t RecordAt(uint32_t position) const {
        return static_cast<uint32_t>(packed_[position - 1] & (kRecordLimit - 1));
    }
    bool WordAt(uint32_t position, uint64_t word) const {
        return position >= 1 && position <= packed_.size() &&
               packed_[position - 1] >> kRecordBits == word;
    }
    // The first position (1-based) whose word is not below `word`, or with
    // `orEqual` not at or below it; size + 1 when there is none.
    uint32_t Partition(uint64_t word, bool orEqual) const;

  private:
    static constexpr unsigned kRecordBits = 31;
    static constexpr uint32_t kMinSearches = 64;
    // A copy costs about one step per entry; it is made once the searches
    // since the last change reach one in this many entries.
    static constexpr uint32_t kEntriesPerSearch = 8;
    // Entries are searched in runs of kRun: first the last word of every run
    // (a small array that stays in cache), then one run.
    static constexpr size_t kRun = 16;

    std::vector<uint64_t> packed_;
    std::vector<uint64_t> runLast_;
    bool ready_ = false;
    uint32_t builtStamp_ = 0;
    uint32_t seenStamp_ = 0;
    uint32_t seenEntries_ = 0;
    uint32_t searchesSeen_ = 0;
};

}  // namespace pelmora
