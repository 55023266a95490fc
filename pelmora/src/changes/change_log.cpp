#include "changes/change_log.h"

#include <algorithm>
#include <new>
#include <set>
#include <stdexcept>
#include <utility>

#include "com/invariant.h"

namespace pelmora {

namespace {

constexpr uint32_t kSlotBits = 16;
constexpr uint32_t kSlotMask = 0xFFFF;
constexpr uint32_t kSlotGrowth = 16;

}  // namespace

// ---- savepoints -----------------------------------------------------------

uint32_t SAVEPOINTList::Create(uint32_t logLength) {
    size_t reuse = slots_.size();
    for (size_t i = 0; i < slots_.size(); ++i) {
        Slot& slot = slots_[i];
        if (slot.generation == generation_) {
            if (slot.length == logLength) {
                ++slot.uses;
                return (generation_ << kSlotBits) + static_cast<uint32_t>(i + 1);
            }
        } else if (reuse == slots_.size()) {
            reuse = i;
        }
    }
    // Ids carry the slot number in 16 bits: past that, no new slot is made.
    if (reuse == slots_.size() && slots_.size() >= kSlotMask) return 0;
    try {
        if (reuse == slots_.size()) {
            if (slots_.size() == slots_.capacity()) slots_.reserve(slots_.size() + kSlotGrowth);
            slots_.push_back(Slot{});
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    slots_[reuse] = Slot{generation_, logLength, 1};
    return (generation_ << kSlotBits) + static_cast<uint32_t>(reuse + 1);
}

EngineResult SAVEPOINTList::Length(uint32_t id, uint32_t* logLength) const {
    const uint32_t generation = id >> kSlotBits;
    const uint32_t slot = id & kSlotMask;
    if (generation != generation_ || slot == 0 || slot > slots_.size()) return DSERR_INVALIDPARAM;
    const Slot& s = slots_[slot - 1];
    if (s.generation != generation_ || s.length < 1) return DSERR_INVALIDPARAM;
    if (logLength != nullptr) *logLength = s.length;
    return DS_OK;
}

void SAVEPOINTList::EntryRemoved(uint32_t index) {
    for (Slot& slot : slots_) {
        if (slot.generation == generation_ && slot.length >= index + 1) --slot.length;
    }
}

void SAVEPOINTList::CutTo(uint32_t n) {
    for (Slot& slot : slots_) {
        if (slot.length > n) slot.generation = 0;
    }
}

bool SAVEPOINTList::WithinLength(uint32_t n) const {
    for (const Slot& slot : slots_) {
        if (slot.generation == generation_ && slot.length > n) return false;
    }
    return true;
}

// ---- the log --------------------------------------------------------------

EngineResult DSLOG::Append(const LogEntry& entry) {
    try {
        entries_.push_back(entry);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    } catch (const std::length_error&) {
        return DSERR_NOMEMORY;
    }
    return DS_OK;
}

EngineResult DSLOG::Reserve(uint32_t extra) {
    const size_t wanted = entries_.size() + extra;
    if (wanted <= entries_.capacity()) return DS_OK;
    try {
        entries_.reserve(std::max(wanted, entries_.capacity() * 2));
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    } catch (const std::length_error&) {
        return DSERR_NOMEMORY;
    }
    return DS_OK;
}

void DSLOG::RemoveAt(uint32_t index) {
    if (index >= entries_.size()) return;
    entries_.erase(entries_.begin() + index);
    savepoints_.EntryRemoved(index);
    PELMORA_INVARIANT(savepoints_.WithinLength(size()));
}

void DSLOG::SetRecord(uint32_t index, uint32_t record) {
    if (index < entries_.size()) entries_[index].record = record;
}

void DSLOG::CutTo(uint32_t n) {
    if (n < entries_.size()) entries_.resize(n);
    savepoints_.CutTo(n);
    PELMORA_INVARIANT(savepoints_.WithinLength(size()));
}

void DSLOG::RemoveEntries(std::vector<uint32_t> indexes) {
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    while (!indexes.empty() && indexes.back() >= entries_.size()) indexes.pop_back();
    if (indexes.empty()) return;
    // Close up in one pass, keeping the survivors in order.
    size_t out = indexes.front();
    size_t next = 0;
    for (size_t i = indexes.front(); i < entries_.size(); ++i) {
        if (next < indexes.size() && indexes[next] == i) {
            ++next;
            continue;
        }
        entries_[out++] = entries_[i];
    }
    entries_.resize(out);
    savepoints_.CutTo(indexes.front());
    PELMORA_INVARIANT(savepoints_.WithinLength(size()));
}

void DSLOG::Clear() {
    entries_.clear();
    savepoints_.CutTo(0);
}

uint32_t DSLOG::FirstVersion(uint32_t record, uint32_t* startEntry) const {
    uint32_t current = record;
    uint32_t start = 0;
    for (size_t i = entries_.size(); i-- > 0;) {
        const LogEntry& e = entries_[i];
        if (e.record != current) continue;
        if (e.action == LOG_MODIFY) {
            start = static_cast<uint32_t>(i + 1);
            // A self-referencing entry (only a damaged log has one) ends the walk.
            if (e.previous == current || e.previous == 0) break;
            current = e.previous;
        } else if (e.action == LOG_INSERT) {
            start = static_cast<uint32_t>(i + 1);
            break;
        } else if (start == 0) {
            start = static_cast<uint32_t>(i + 1);
        }
    }
    if (startEntry != nullptr) *startEntry = start;
    return current;
}

void DSLOG::ChainFrom(uint32_t from, uint32_t record, std::vector<uint32_t>& entries,
                      std::vector<uint32_t>& versions) const {
    uint32_t current = record;
    versions.push_back(current);
    for (size_t i = from + 1; i < entries_.size(); ++i) {
        const LogEntry& e = entries_[i];
        if (e.action == LOG_DELETE && e.record == current) {
            entries.push_back(static_cast<uint32_t>(i));
            return;
        }
        if (e.action == LOG_MODIFY && e.previous == current) {
            entries.push_back(static_cast<uint32_t>(i));
            current = e.record;
            versions.push_back(current);
        }
    }
}

uint32_t DSLOG::SplitIntoChains(std::vector<uint32_t>& chainOf) const {
    chainOf.assign(entries_.size(), 0);
    // The chains still open, by their latest version and then by number, so
    // that the first match is the chain begun first.
    std::set<std::pair<uint32_t, uint32_t>> open;
    uint32_t chains = 0;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const LogEntry& e = entries_[i];
        if (e.action == LOG_MODIFY || e.action == LOG_DELETE) {
            const uint32_t version = e.action == LOG_MODIFY ? e.previous : e.record;
            const auto it = open.lower_bound({version, 0});
            if (it != open.end() && it->first == version) {
                const uint32_t chain = it->second;
                open.erase(it);
                chainOf[i] = chain;
                if (e.action == LOG_MODIFY) open.insert({e.record, chain});
                continue;
            }
        }
        chainOf[i] = chains;
        if (e.action == LOG_INSERT || e.action == LOG_MODIFY) open.insert({e.record, chains});
        ++chains;
    }
    return chains;
}

uint32_t DSLOG::LatestVersion(uint32_t record) const {
    uint32_t current = record;
    for (const LogEntry& e : entries_) {
        if (e.action == LOG_MODIFY && e.previous == current) current = e.record;
    }
    return current;
}

std::vector<uint32_t> DSLOG::Serialize() const {
    std::vector<uint32_t> values;
    values.reserve(entries_.size() * 3);
    for (const LogEntry& e : entries_) {
        values.push_back(e.record);
        values.push_back(e.previous);
        values.push_back(e.action);
    }
    return values;
}

EngineResult DSLOG::Serialize(std::vector<uint32_t>& out) const {
    try {
        out = Serialize();
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    return DS_OK;
}

EngineResult DSLOG::Deserialize(const uint32_t* values, uint32_t count) {
    if (count % 3 != 0 || (count != 0 && values == nullptr)) return DSERR_INVALIDPARAM;
    std::vector<LogEntry> entries;
    try {
        entries.reserve(count / 3);
        for (uint32_t i = 0; i < count; i += 3) {
            entries.push_back(LogEntry{values[i], values[i + 1], values[i + 2]});
        }
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    entries_.swap(entries);
    savepoints_.CutTo(0);
    return DS_OK;
}

}  // namespace pelmora
