// The change log of a dataset (DSLOG): the ordered list of edits since the
// data was loaded or last merged, with the savepoint list that marks log
// lengths to roll back to. Entries are {record, previous, action}.
#pragma once

#include <cstdint>
#include <vector>

#include "pelmora/pelmora.h"

namespace pelmora {

struct LogEntry {
    uint32_t record = 0;
    uint32_t previous = 0;
    uint32_t action = 0;  // LOG_DELETE, LOG_INSERT, LOG_MODIFY, LOG_DETAIL_CHANGED, LOG_REORDER
};

// Savepoints: slots {generation, log length, use count}; a slot is valid while
// its generation equals the list's. Id = 0x10000 * generation + slot (1-based).
class SAVEPOINTList {
  public:
    // Id of a savepoint at the given log length (reusing a valid slot at that
    // length or the first invalid one).
    uint32_t Create(uint32_t logLength);
    // The log length of a valid savepoint id; 9986 for an unknown, invalid or
    // empty one.
    EngineResult Length(uint32_t id, uint32_t* logLength) const;
    // One entry was removed at index i (0-based): valid savepoints whose
    // length is at least i + 1 shrink by one.
    void EntryRemoved(uint32_t index);
    // The log was cut to n entries: savepoints beyond n become invalid.
    void CutTo(uint32_t n);
    // True when no valid savepoint lies beyond a log of n entries.
    bool WithinLength(uint32_t n) const;

  private:
    struct Slot {
        uint32_t generation = 0;
        uint32_t length = 0;
        uint32_t uses = 0;
    };
    std::vector<Slot> slots_;
    uint32_t generation_ = 1;
};

class DSLOG {
  public:
    const std::vector<LogEntry>& entries() const { return entries_; }
    uint32_t size() const { return static_cast<uint32_t>(entries_.size()); }
    bool empty() const { return entries_.empty(); }

    // Appends an entry; 9473 when memory runs out (the log is unchanged).
    EngineResult Append(const LogEntry& entry);
    // Makes room for `extra` more entries so that the next Append cannot fail.
    EngineResult Reserve(uint32_t extra);
    // Removes the entry at index i (0-based), keeping savepoints true.
    void RemoveAt(uint32_t index);
    // Makes the entry at index i (0-based) name another record.
    void SetRecord(uint32_t index, uint32_t record);
    // Cuts the log to n entries, invalidating savepoints past n.
    void CutTo(uint32_t n);
    // Removes the entries at the given indexes (0-based, any order): the log
    // closes up and every savepoint past the first removed entry becomes
    // invalid, as for a cut.
    void RemoveEntries(std::vector<uint32_t> indexes);
    void Clear();

    SAVEPOINTList& savepoints() { return savepoints_; }

    // Walks modification entries back from a record to the first version of
    // its chain; *startEntry (1-based, 0 when none) receives the entry that
    // starts the chain.
    uint32_t FirstVersion(uint32_t record, uint32_t* startEntry) const;

    // A version chain walked forward from the entry at index `from` (0-based),
    // whose record is `record`: the later entries that continue it (each
    // modification of the chain's latest version) and the deletion of its
    // latest version that ends it. `entries` receives their indexes, `versions`
    // the chain's records in order, `record` first. Throws std::bad_alloc.
    void ChainFrom(uint32_t from, uint32_t record, std::vector<uint32_t>& entries,
                   std::vector<uint32_t>& versions) const;
    // Splits the whole log into the chains a merge takes out one after the
    // other: an insertion or modification with the later entries that continue
    // it (as ChainFrom finds them), or any other entry alone. chainOf receives
    // each entry's chain, numbered in the order of their first entries; an
    // entry that could continue several chains (only in a damaged log)
    // continues the one that began first, as taking the chains out in turn
    // would have it. Returns the number of chains; throws std::bad_alloc.
    uint32_t SplitIntoChains(std::vector<uint32_t>& chainOf) const;
    // The latest version of a chain that holds `record` (the record itself
    // when no modification replaced it).
    uint32_t LatestVersion(uint32_t record) const;

    // The log as the CHANGE_LOG parameter: record, previous, action per entry.
    std::vector<uint32_t> Serialize() const;
    // The same without throwing: 9473 when memory runs out.
    EngineResult Serialize(std::vector<uint32_t>& out) const;
    // Rebuilds from CHANGE_LOG values (a count divisible by 3); 9986 otherwise.
    EngineResult Deserialize(const uint32_t* values, uint32_t count);

  private:
    std::vector<LogEntry> entries_;
    SAVEPOINTList savepoints_;
};

class TDSBASE;

// Compacts a log into one entry per changed record (leaves the log alone).
// Modifications whose first and last versions hold equal values are dropped.
// Throws std::bad_alloc when memory runs out; callers turn that into 9473.
std::vector<LogEntry> CompactLog(const DSLOG& log, const TDSBASE& dataset);

}  // namespace pelmora
