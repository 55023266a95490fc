// Compaction of a change log into one entry per changed record: an insertion
// with its later modifications becomes one insertion of the last version, a
// modification chain one modification from the first to the last version (or
// nothing when the values came back), a chain ending in a deletion one
// deletion of the first version. The log itself is left alone.
#include <algorithm>
#include <unordered_map>
#include <vector>

#include "changes/change_log.h"
#include "dataset/dataset.h"

namespace pelmora {

namespace {

struct Compacted {
    LogEntry entry;
    // Every version the entry stands for (for an insertion its whole chain).
    std::vector<uint32_t> chain;
};

bool Contains(const std::vector<uint32_t>& chain, uint32_t record) {
    return std::find(chain.begin(), chain.end(), record) != chain.end();
}

// Position of the compacted entry about a record, or out.size().
size_t FindCompacted(const std::vector<Compacted>& out, uint32_t record) {
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i].entry.record == record || Contains(out[i].chain, record)) return i;
    }
    return out.size();
}

class Compactor {
  public:
    Compactor(const DSLOG& log, const TDSBASE& dataset)
        : entries_(log.entries()), dataset_(dataset), absorbed_(entries_.size(), false) {
        // Entry indexes by record and by previous version, so that following
        // a chain visits only the entries about it.
        for (uint32_t i = 0; i < entries_.size(); ++i) {
            byRecord_[entries_[i].record].push_back(i);
            if (entries_[i].action == LOG_MODIFY) byPrevious_[entries_[i].previous].push_back(i);
        }
    }

    std::vector<LogEntry> Run() {
        for (uint32_t i = 0; i < entries_.size(); ++i) {
            if (absorbed_[i]) continue;
            const LogEntry& e = entries_[i];
            switch (e.action) {
                case LOG_DELETE:
                    out_.push_back({{e.record, 0, LOG_DELETE}, {e.record}});
                    break;
                case LOG_INSERT:
                    Insertion(i);
                    break;
                case LOG_MODIFY:
                    Modification(i);
                    break;
                case LOG_DETAIL_CHANGED:
                    DetailChange(i);
                    break;
                case LOG_REORDER:
                    Reorder(e.record, e.previous);
                    break;
                default:
                    break;  // dropped entries (action 0) and unknown actions
            }
        }
        std::vector<LogEntry> result;
        result.reserve(out_.size());
        for (const Compacted& c : out_) result.push_back(c.entry);
        return result;
    }

  private:
    using Positions = std::unordered_map<uint32_t, std::vector<uint32_t>>;
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    // The first entry after `after` not yet absorbed in the list of a key.
    uint32_t FirstAfter(const Positions& map, uint32_t key, uint32_t after) const {
        auto it = map.find(key);
        if (it == map.end()) return kNone;
        auto j = std::upper_bound(it->second.begin(), it->second.end(), after);
        while (j != it->second.end() && absorbed_[*j]) ++j;
        return j == it->second.end() ? kNone : *j;
    }

    // The next entry after `after` that names `current`, or modifies it.
    uint32_t NextAbout(uint32_t current, uint32_t after) const {
        return std::min(FirstAfter(byRecord_, current, after),
                        FirstAfter(byPrevious_, current, after));
    }

    // Follows a chain from `current`, absorbing what it meets; false when a
    // deletion of the current version ends it.
    bool Follow(uint32_t i, uint32_t& current, std::vector<uint32_t>& chain) {
        for (uint32_t j = NextAbout(current, i); j != kNone; j = NextAbout(current, j)) {
            const LogEntry& e = entries_[j];
            absorbed_[j] = true;
            if (e.record == current) {
                if (e.action == LOG_DELETE) return false;
            } else {
                current = e.record;
                chain.push_back(current);
            }
        }
        return true;
    }

    void Insertion(uint32_t i) {
        uint32_t current = entries_[i].record;
        std::vector<uint32_t> chain{current};
        if (!Follow(i, current, chain)) return;  // inserted and deleted: nothing
        out_.push_back({{current, 0, LOG_INSERT}, std::move(chain)});
    }

    void Modification(uint32_t i) {
        const uint32_t first = entries_[i].previous;
        uint32_t current = entries_[i].record;
        std::vector<uint32_t> chain{first, current};
        if (!Follow(i, current, chain)) {
            out_.push_back({{first, 0, LOG_DELETE}, std::move(chain)});
            return;
        }
        if (dataset_.SameValues(first, current)) {
            // The record's values came back, but detail changes logged for it
            // (they name its first version) still need their master row.
            if (HasDetailChange(first)) out_.push_back({{first, 0, LOG_DETAIL_CHANGED}, {first}});
            return;
        }
        out_.push_back({{current, first, LOG_MODIFY}, std::move(chain)});
    }

    void DetailChange(uint32_t i) {
        // Back through earlier modifications to the record's first version.
        uint32_t m = entries_[i].record;
        uint32_t bound = i;
        for (size_t steps = 0; steps < entries_.size(); ++steps) {
            auto it = byRecord_.find(m);
            if (it == byRecord_.end()) break;
            uint32_t found = kNone;
            for (uint32_t j : it->second) {
                if (j >= bound) break;
                if (entries_[j].action == LOG_MODIFY && entries_[j].previous != m) found = j;
            }
            if (found == kNone) break;
            m = entries_[found].previous;
            bound = found;
        }
        for (const Compacted& c : out_) {
            const LogEntry& e = c.entry;
            if ((e.action == LOG_DETAIL_CHANGED || e.action == LOG_INSERT) && e.record == m) return;
            if (e.action == LOG_INSERT && Contains(c.chain, m)) return;
            if (e.action == LOG_MODIFY && e.previous == m) return;
            // A modification chain that ended in a deletion: the deletion row
            // carries the detail rows.
            if (e.action == LOG_DELETE && e.record == m) return;
        }
        // A later modification, deletion or detail change of m speaks for it.
        if (auto it = byPrevious_.find(m); it != byPrevious_.end() && it->second.back() > i) return;
        if (auto it = byRecord_.find(m); it != byRecord_.end()) {
            for (auto j = std::upper_bound(it->second.begin(), it->second.end(), i);
                 j != it->second.end(); ++j) {
                const uint32_t action = entries_[*j].action;
                if (action == LOG_DELETE || action == LOG_DETAIL_CHANGED) return;
            }
        }
        out_.push_back({{m, 0, LOG_DETAIL_CHANGED}, {m}});
    }

    bool HasDetailChange(uint32_t first) const {
        auto it = byRecord_.find(first);
        if (it == byRecord_.end()) return false;
        return std::any_of(it->second.begin(), it->second.end(),
                           [this](uint32_t j) { return entries_[j].action == LOG_DETAIL_CHANGED; });
    }

    // Marker (a, b): a must come before b in the compacted log.
    void Reorder(uint32_t a, uint32_t b) {
        const size_t pa = FindCompacted(out_, a);
        const size_t pb = FindCompacted(out_, b);
        if (pa == out_.size() || pb == out_.size() || pb >= pa) return;
        Compacted moved = std::move(out_[pa]);
        out_.erase(out_.begin() + static_cast<ptrdiff_t>(pa));
        out_.insert(out_.begin() + static_cast<ptrdiff_t>(pb), std::move(moved));
    }

    const std::vector<LogEntry>& entries_;
    const TDSBASE& dataset_;
    std::vector<bool> absorbed_;
    Positions byRecord_;
    Positions byPrevious_;
    std::vector<Compacted> out_;
};

}  // namespace

std::vector<LogEntry> CompactLog(const DSLOG& log, const TDSBASE& dataset) {
    return Compactor(log, dataset).Run();
}

}  // namespace pelmora
