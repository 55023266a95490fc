// The filter list (DSCONSTR): an ordered list of compiled expressions and
// callbacks that together decide whether a record passes. A filtered index
// keeps its filters in one, a cursor's search keeps its single expression in
// one, and a dataset keeps its constraints (kind 1) and default values
// (kind 2) in one. Entries are addressed by handles that are never reused.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "expr/expr_compile.h"
#include "pelmora/pelmora.h"

namespace pelmora {

class TDSBASE;
class RecordStore;

// Entry kinds.
enum : uint32_t { FILTER_KIND_FILTER = 0, FILTER_KIND_CONSTRAINT = 1, FILTER_KIND_DEFAULT = 2 };

struct FilterEntry {
    uint32_t handle = 0;
    std::vector<uint8_t> bytes;          // the expression (or constraint blob) as given
    std::unique_ptr<QCanFilter> filter;  // none for a callback entry
    void* clientData = nullptr;
    FilterCallback callback = nullptr;
    uint32_t kind = FILTER_KIND_FILTER;
    uint32_t field = 0;  // constrained field; 0 for a record constraint
    bool required = false;
};

class DSCONSTR {
  public:
    explicit DSCONSTR(TDSBASE* dataset);

    // Called with a field number whenever a constraint entry with the
    // required flag names a field within the field count (at add and at
    // recompile); the dataset sets the field's required attribute there.
    void set_required_hook(std::function<void(uint32_t field)> hook) {
        requiredHook_ = std::move(hook);
    }

    // Compiles and appends an expression entry of a kind (0 filter, 1
    // constraint, 2 default value); compile errors are returned and nothing
    // is added. *handle receives the new entry's handle.
    EngineResult AddExpression(const void* bytes, uint32_t length, uint32_t kind, uint32_t* handle);

    // Appends a callback entry: the callback accepts a record (in the
    // dataset's layout) by returning non-zero. 9986 without a callback.
    EngineResult AddCallback(void* clientData, FilterCallback callback, uint32_t* handle);

    // Removes an entry: 0, or 8712 when no entry has the handle.
    EngineResult Remove(uint32_t handle);

    // True when every filter and constraint entry accepts the record and
    // every callback returns non-zero (default values are skipped). The
    // message of a failing compiled entry is kept as the list's message.
    bool RecordPasses(const uint8_t* record);

    // RecordPasses for a stored record, decided from the store through the
    // entries' direct forms: 1 passes, 0 fails (message kept as there), -1
    // when an entry has no direct form or the layout is not the compiled one,
    // and the record must be read and tested whole.
    int StoredRecordPasses(const RecordStore& store, uint32_t record);

    // Compiles every expression entry again from its bytes (after the
    // dataset's record layout changed) and reapplies the required flags. An
    // entry that no longer compiles keeps no compiled filter and rejects
    // every record; the first such failure is returned.
    EngineResult RecompileAll();

    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    const FilterEntry& entry(size_t i) const { return entries_[i]; }
    FilterEntry& entry(size_t i) { return entries_[i]; }
    // The entry with a handle, or null.
    FilterEntry* Find(uint32_t handle);

    // Message of the last compiled entry that rejected a record.
    const std::string& message() const { return message_; }
    void ClearMessage() { message_.clear(); }
    void SetMessage(std::string message) { message_ = std::move(message); }

    // A record-sized scratch buffer of the dataset's current layout
    // (allocated on first use; null when memory is short).
    uint8_t* ScratchRecord();

    TDSBASE* dataset() const { return dataset_; }

  private:
    void ApplyRequired(const FilterEntry& entry);
    // Recompiles when the dataset's record layout changed since the entries
    // were compiled, so that no entry reads a field at a stale offset.
    void FollowLayout();

    TDSBASE* dataset_;
    uint32_t nextHandle_ = 1;
    std::vector<FilterEntry> entries_;
    std::string message_;
    std::vector<uint8_t> scratch_;
    uint32_t compiledFor_ = 0;  // record size the entries were compiled for
    std::function<void(uint32_t)> requiredHook_;
};

}  // namespace pelmora
