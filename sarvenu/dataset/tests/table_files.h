// Test support: temporary directories, a private registry file, and table
// files made and read back directly through the engine, independent of the
// table layer under test.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pelmora/pelmora.h"

namespace testutil {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

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

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
// UTF-8 to CP932 for expected messages.
std::string Sjis(const std::string& utf8);

}  // namespace testutil
