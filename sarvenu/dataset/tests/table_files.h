// Test support of the client dataset tests: a private registry file, and
// table files made and read back directly through the engine, independent of
// the table layer under test.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pelmora/pelmora.h"

namespace testutil {

struct Column {
    std::string name;
    uint32_t type = FLD_STRING;
    uint32_t units = 20;  // string length
    uint32_t subtype = 0;
};

// A row's values as text (strings as bytes, integers in decimal); nullopt = blank.
using Row = std::vector<std::optional<std::string>>;

// Writes a table file holding the rows (added one by one, so the change log
// records them) in binary form.
void WriteTable(const std::string& path, const std::vector<Column>& columns,
                const std::vector<Row>& rows);
// Reads a table file (binary or XML) through the engine: the visible rows in
// stored order, with the values of string and 32-bit integer columns as text.
std::vector<Row> ReadRows(const std::string& path);

}  // namespace testutil
