// Creates table files from the schema: a new engine dataset is defined from a
// table's columns, given rows of texts and written as a binary datapacket.
// Installations are built with it (the shipped tables and the empty tables
// from which submission files are made), and tests build their table files
// with it. The engine is loaded by file name from beside the executable; the
// registry is neither read nor written.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "records/schema.h"

namespace sarvenu {

// Raised when a table file cannot be built or written; what() is CP932.
class ETableFile : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Rows are code page 932 texts in column order; integer columns take decimal
// texts, an empty text is a blank value. A row with fewer texts than columns
// leaves the rest blank. The file is replaced atomically; the rows are written
// as accepted data (no change log).
void WriteTableFile(const std::string& path, const TTableDef& def,
                    const std::vector<std::vector<std::string>>& rows = {});

}  // namespace sarvenu
