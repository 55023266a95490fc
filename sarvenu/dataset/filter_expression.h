// Translation of a table's filter text into the engine's canonical
// expression: a 10-byte header (version 2, total size, node count 0xFFFF,
// node area offset, literal area offset), the nodes with the root first, then
// the literals. Field names, numeric and quoted constants, NULL, TRUE and
// FALSE, the comparisons = <> < > <= >=, and, or, not and parentheses are
// understood. Errors are raised as EDatabaseError with the filter messages.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dataset/client_table.h"
#include "pelmora/expression_format.h"

namespace sarvenu::filterexpr {

// What the translation needs to know about a field named in the text.
struct FieldInfo {
    std::string name;
    TFieldKind kind = ftUnknown;
    uint32_t engineType = 0;
    uint32_t fieldNo = 0;
};

// Returns the field of that name, or nullptr when the table has none.
using FieldLookup = std::function<const FieldInfo*(const std::string& name)>;

// The canonical expression of a non-empty filter text.
std::vector<uint8_t> Translate(const std::string& text, const FieldLookup& lookup,
                               bool caseInsensitive);

}  // namespace sarvenu::filterexpr
