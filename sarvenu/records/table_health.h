// Whether the tables opened at start-up are usable, and what the user is told
// when they are not: a table file that is missing, empty, cut short, damaged
// or of another table's layout stays closed for the run (and is never written
// over), the start-up box names every such file with the help text's advice,
// and the actions that need a closed table are refused with a message that
// names it instead of failing inside the engine.
#pragma once

#include <string>
#include <vector>

#include "dataset/client_table.h"
#include "records/schema.h"

namespace sarvenu {

// Empty when the open table's columns begin with the schema's columns, in
// order (names, ASCII case ignored; newer files may append columns); else the
// reason in CP932.
std::string CheckTableLayout(TClientTable& table, const TTableDef& def);

// Why the table file at path could not be opened, in words for the user,
// with the error the open raised after it (CP932).
std::string OpenFailureReason(const std::string& path, const std::string& error);

// The same for a file that loaded but lacks the table's columns.
std::string LayoutMismatchReason(const std::string& error);

struct TTableProblem {
    // Path of the table file as the program uses it (file-system encoding).
    std::string path;
    // Why it could not be used (CP932).
    std::string reason;
};

// The start-up message naming every table file that could not be opened,
// with what to do about it (CP932).
std::string OpenFailureReport(const std::vector<TTableProblem>& problems);

// The refusal of an action that needs the table file at path (CP932).
std::string ClosedTableRefusal(const std::string& path);

}  // namespace sarvenu
