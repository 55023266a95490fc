// Index objects: the orders in which cursors see a dataset. An index is a
// list of store record numbers (see index_entries.h) kept sorted by a key of
// up to 16 fields; positions are 1-based. The dataset tells every registered index
// about records that enter, leave or replace one another; a cursor follows
// exactly one index and holds a reference on it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "index/comparators.h"
#include "index/index_entries.h"
#include "index/search_words.h"
#include "pelmora/pelmora.h"

namespace pelmora {

class TDSBASE;
class GroupingManager;

// Implemented with the aggregates: a grouping manager hears of every entry
// change of its index (event 0 added, 1 removed, 2 reordered; position 0 for
// a whole reorder), and is destroyed with its index.
void NotifyGrouping(GroupingManager* manager, int event, uint32_t position);
void DestroyGrouping(GroupingManager* manager);

enum : uint32_t { IDX_PLAIN = 1, IDX_CHANGE = 2, IDX_FILTERED = 3 };

// Which of several equal entries a search of a stored record stops at.
enum class EqualChoice { First, Last, Any };

class DSIDX {
  public:
    DSIDX(TDSBASE* dataset, uint32_t kind);
    virtual ~DSIDX();
    DSIDX(const DSIDX&) = delete;
    DSIDX& operator=(const DSIDX&) = delete;

    // ---- the index's five operations (destroy is the destructor) -------
    // Rebuilds from the store (or from the source index's entries) with a new
    // descriptor when one is given.
    virtual EngineResult Rebuild(const IndexDesc* desc, const DSIDX* source);
    virtual EngineResult RecordAdded(uint32_t record);
    virtual EngineResult RecordRemoved(uint32_t record);
    virtual EngineResult RecordReplaced(uint32_t newRecord, uint32_t oldRecord);

    // A stored record rewritten in place under its own record number:
    // LeaveForRewrite is called while the store still holds the old values,
    // ReturnAfterRewrite once it holds the new ones. A keyed index takes the
    // record out and puts it back where its new key belongs (at its old
    // position when that still fits); an index without key fields keeps the
    // position and only its aggregates hear of the values. An index that does
    // not admit the new values drops the record, one that admits them only
    // now takes it. A failing return leaves the index as the leave did.
    EngineResult LeaveForRewrite(uint32_t record);
    EngineResult ReturnAfterRewrite(uint32_t record);
    // Whether the index holds a record with its current stored values at all.
    virtual bool Admits(uint32_t record);

    // Checks the key field types (10000), installs the descriptor, computes
    // the total key width and makes one comparator per key field.
    EngineResult InstallDescriptor(const IndexDesc& desc);

    // ---- reference counting: the registry holds 1, each cursor 1 more ---
    void AddRef() { ++refs_; }
    // Drops one reference; destroys the index at 0 and returns true then.
    bool Release();
    uint32_t refs() const { return refs_; }

    // ---- state ---------------------------------------------------------
    uint32_t kind() const { return kind_; }
    TDSBASE* dataset() const { return dataset_; }
    bool is_private() const { return private_; }
    void set_private(bool value) { private_ = value; }
    uint32_t identity() const { return identity_; }
    void set_identity(uint32_t value) { identity_ = value; }
    uint32_t change_counter() const { return changeCounter_; }
    const IndexDesc& desc() const { return desc_; }
    uint32_t key_field_count() const { return desc_.fieldCount; }
    bool unique() const { return desc_.unique != 0; }

    // Number of entries N and the record number at a position (1..N; 0
    // outside that range).
    uint32_t count() const { return entries_.size(); }
    uint32_t EntryAt(uint32_t position) const {
        if (searchWords_.Valid(changeCounter_, count()))
            return position >= 1 && position <= count() ? searchWords_.RecordAt(position) : 0;
        return entries_.At(position);
    }
    // Position of a record number; 0 when absent.
    uint32_t PositionOf(uint32_t record) const { return entries_.PositionOf(record); }

    // ---- comparisons and searches ---------------------------------------
    // Compares two stored records over every key field.
    int CompareRecords(uint32_t a, uint32_t b) const;
    // Compares a key (a record buffer in the dataset's layout; only the key
    // fields' values and indicators are read) with a stored record over
    // `fullFields` key fields and, when partial is non-zero, the next key
    // field (a string) over its first `partial` bytes.
    int CompareKey(const uint8_t* key, uint32_t fullFields, uint32_t partial,
                   uint32_t record) const;
    // Binary search of a key: true with the first equal position, or false
    // with the position of the last entry that sorts before the key (0 when
    // none).
    bool SearchKey(const uint8_t* key, uint32_t fullFields, uint32_t partial,
                   uint32_t* position) const;
    // Position of the last entry equal to the key, starting from an equal
    // position.
    uint32_t LastEqual(const uint8_t* key, uint32_t fullFields, uint32_t partial,
                       uint32_t from) const;
    // Position of the first entry at or after `from` that equals the key; 0
    // when none does. A partial key on a text field may match entries that
    // do not stand together, so this is not always `from` or the first one.
    uint32_t NextEqual(const uint8_t* key, uint32_t fullFields, uint32_t partial,
                       uint32_t from) const;
    // Binary search of a stored record's key among the entries: true with the
    // chosen equal position, or false with the position of the last entry
    // that sorts before the record (0 when none). The record itself need not
    // be an entry.
    bool SearchRecord(uint32_t record, EqualChoice choice, uint32_t* position) const;

  protected:
    // What the grouping manager hears about the entries.
    enum class EntryEvent { Added, Removed, Reordered };
    // The one place where aggregates and groupings over this index will learn
    // of entry changes (position of the entry, 0 for a whole reorder).
    void TellGrouping(EntryEvent event, uint32_t position) {
        if (grouping_) NotifyGrouping(grouping_, static_cast<int>(event), position);
    }

    // Inserts a record in key order (plain index rules, unique check 9729).
    EngineResult InsertSorted(uint32_t record);
    // Puts a record at a position (1..N+1), shifting the later entries.
    EngineResult InsertAt(uint32_t position, uint32_t record);
    // Removes the entry at a position.
    void RemoveAt(uint32_t position);
    // Makes room for record numbers below `capacity` + 2 in the entry map.
    EngineResult Reserve(uint32_t capacity);
    void Touch() { ++changeCounter_; }
    // Sorts the entries in place after a bulk append and, for a unique index,
    // fails with 9729 on the first pair of equal keys.
    EngineResult SortEntries();
    // Sorts the given records (every entry the index is to hold) into key
    // order and makes them the entries.
    EngineResult SortFlat(std::vector<uint32_t>& flat);
    // Makes `flat` the entry order after a bulk sort (unique indexes check
    // their neighbours).
    EngineResult InstallSorted(const std::vector<uint32_t>& flat);
    // Key field value of a stored record, null when blank.
    const uint8_t* StoredValue(uint32_t record, uint32_t field) const;
    // Compares a key with a stored record over its first `full` key fields.
    int CompareFullFields(const uint8_t* key, uint32_t full, uint32_t record) const;
    // Searches with a partial key on a text field (see index.cpp). `search`
    // gets the PartialText; false when it does not apply and the plain
    // bisection over CompareKey is to be used.
    class PartialText;
    template <typename Search>
    bool WithPartialText(const uint8_t* key, uint32_t fullFields, uint32_t partial,
                         Search search) const;
    class SortKeys;  // collation sort keys used by SortEntries

    // The first key field's value type when it is a fixed-width number (the
    // integer, date, time, boolean and float types): searches and record
    // comparisons over that field alone then read the store's column
    // directly instead of going through the comparator objects.
    enum class FixedKey : uint8_t {
        None,
        Int8,
        UInt8,
        Int16,
        UInt16,
        Int32,
        UInt32,
        Int64,
        UInt64,
        Float
    };
    static FixedKey FixedKeyOf(const FieldDesc& field);
    // True when a key search over `fullFields` fields and `partial` bytes
    // compares the first key field only and that field has a fixed key.
    bool FixedSearchApplies(uint32_t fullFields, uint32_t partial) const {
        return fixedKey_ != FixedKey::None && (fullFields == 1 || desc_.fieldCount == 1) &&
               fullFields != 0 && (partial == 0 || desc_.fieldCount == 1);
    }
    // The fixed-key forms of PartitionPoint over CompareKey (> 0 when
    // `orEqual` is false, >= 0 when true), of CompareKey and of
    // CompareRecords for a one-field index.
    uint32_t FixedPartition(const uint8_t* key, bool orEqual) const;
    int FixedCompareKey(const uint8_t* key, uint32_t record) const;
    // Whether the entry at a position has the key's first field, when the
    // flat search copy can tell (-1 when it cannot).
    int FixedEqualAt(const uint8_t* key, uint32_t position) const;
    int FixedCompareRecords(uint32_t a, uint32_t b) const;
    FixedKey fixedKey_ = FixedKey::None;
    // The first key field's words for runs of searches over an unchanged
    // index (integer keys of up to 32 bits); guarded by the dataset's lock.
    mutable SearchWords searchWords_;

    TDSBASE* dataset_;
    uint32_t kind_;
    bool private_ = false;
    uint32_t refs_ = 1;
    uint32_t changeCounter_ = 0;
    uint32_t identity_ = 0;
    IndexDesc desc_{};
    EntryList entries_;
    std::vector<std::unique_ptr<FLDObj>> comparators_;
    // Aggregates and groupings over this index; created on demand, owned.
    GroupingManager* grouping_ = nullptr;
    // Where the record being rewritten stood before it left (keyed indexes).
    uint32_t rewriteRecord_ = 0;
    uint32_t rewritePosition_ = 0;

  public:
    GroupingManager* grouping() const { return grouping_; }
    void set_grouping(GroupingManager* manager) { grouping_ = manager; }
};

// The change index "CHANGEINDEX": the records named by the change log, in log
// order, filtered by a status filter byte (0 = all kinds, else a sum of 2
// deleted, 4 inserted, 8 modified).
class DSIDXCHG : public DSIDX {
  public:
    explicit DSIDXCHG(TDSBASE* dataset);
    EngineResult Rebuild(const IndexDesc* desc, const DSIDX* source) override;
    EngineResult RecordAdded(uint32_t record) override;
    EngineResult RecordRemoved(uint32_t record) override;
    EngineResult RecordReplaced(uint32_t newRecord, uint32_t oldRecord) override;

    uint8_t status_filter() const { return filter_; }
    void set_status_filter(uint8_t filter) { filter_ = filter; }
    // In-place modifications raise the counter around their notifications.
    void Suspend() { ++suspended_; }
    void Resume() { --suspended_; }

  private:
    // Notifications count only while logging is on and nothing suspends them.
    bool Active() const;
    // The notification rules, also used to replay the log on a rebuild.
    void Added(uint32_t record);
    void Removed(uint32_t record);
    void Replaced(uint32_t newRecord, uint32_t oldRecord);
    void Include(uint32_t record);
    void Exclude(uint32_t record);
    uint8_t filter_ = 0;
    uint32_t suspended_ = 0;
};

// Builds a new plain index from a descriptor over the dataset's records
// (bulk sort when it has key fields); null with *result set on failure.
DSIDX* BuildPlainIndex(TDSBASE* dataset, const IndexDesc& desc, const DSIDX* source,
                       EngineResult* result);

// Descriptor match: every key field of a has the same field number and flags
// at the same place in b; `prefix` lets b have more fields, `ignoreUnique`
// skips the uniqueness.
bool DescriptorsMatch(const IndexDesc& a, const IndexDesc& b, bool prefix, bool ignoreUnique);

}  // namespace pelmora
