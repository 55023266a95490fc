// The rows of the code tables an installation ships (regional bureaus, their
// offices and the utilization types) and the office-code rule that ties an
// office to its bureau: bureau m owns the codes m*100 .. m*100+99 and
// m*100+1000 .. m*100+1099.
#pragma once

#include <string>
#include <vector>

#include "records/schema.h"

namespace sarvenu {

struct TBureauRow {
    int cd;
    const char* name;  // UTF-8
};

struct TOfficeRow {
    int cd;
    const char* name;  // UTF-8
    int sortId;
};

struct TConTypeRow {
    int cd;
    const char* name;  // UTF-8
};

const std::vector<TBureauRow>& ShippedBureaus();
const std::vector<TOfficeRow>& ShippedOffices();
const std::vector<TConTypeRow>& ShippedConTypes();

// True when the office code lies in one of the bureau's two code ranges.
bool OfficeBelongsToBureau(int office, int bureau);

// Filter text that restricts the office table to one bureau's offices;
// "CD=99999" (an empty list) when no bureau is chosen (empty text).
std::string OfficeFilterText(const std::string& bureauCode);

// The shipped rows of a code table as code page 932 texts in column order;
// survey tables ship without rows.
std::vector<std::vector<std::string>> ShippedRows(TTableId id);

}  // namespace sarvenu
