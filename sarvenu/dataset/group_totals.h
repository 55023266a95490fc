// Totals per group, computed by the dataset engine: each row is a text key
// and a few numbers (any of them may be blank). The rows go into an
// in-memory engine dataset with an index on the key; sum, count, minimum and
// maximum aggregates at group level 1 then give every key's totals, and the
// engine's group skip walks the keys in index order. A blank number is left
// out of its column's totals, as the engine's aggregates leave out blanks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "pelmora/engine_client.h"

namespace sarvenu {

class TGroupTotals {
  public:
    // The totals of one number column within a group.
    struct TColumn {
        int count = 0;  // rows with a value
        double sum = 0;
        std::optional<double> min, max;  // none when count is 0 or not kept
    };
    struct TGroup {
        std::string key;
        int rows = 0;
        std::vector<TColumn> columns;
    };

    // keyWidth: bytes of the key text (longer keys are refused). The lowest
    // and highest values are kept for the columns named in extremeColumns
    // only; the others give sums and counts.
    TGroupTotals(int columnCount, uint32_t keyWidth, std::vector<int> extremeColumns = {});
    ~TGroupTotals();
    TGroupTotals(const TGroupTotals&) = delete;
    TGroupTotals& operator=(const TGroupTotals&) = delete;

    // One row; values has one slot per column. Raises EDatabaseError when the
    // key is too long or the engine refuses the row.
    void Add(const std::string& key, std::span<const std::optional<double>> values);
    // Every group in key order (the engine's text order of the key).
    std::vector<TGroup> Groups();

  private:
    void Check(uint32_t result) const;

    int columnCount_;
    uint32_t keyWidth_;
    std::vector<int> extremeColumns_;
    pelmora::Ref<IDSBase> dataset_;
    pelmora::Ref<IDSCursor> cursor_;
    std::vector<uint8_t> record_;
    bool indexed_ = false;
};

}  // namespace sarvenu
