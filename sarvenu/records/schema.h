// The survey schema: the ten tables of the program, each with its file name,
// the name of its dataset in the data store and its columns in file order.
// The column order is part of the file format (records move between table
// versions and exchange files by column position), so it is written down here
// once and every other module takes it from here. New columns are only ever
// appended at the end of a table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sarvenu {

// The tables in the order the data store opens them.
enum class TTableId {
    Main,
    Plan,
    Report,
    InvSection,
    InvChief,
    InvCon,
    GatherMoc,
    HacSai,
    ConTypeMode,
    ConType,
};
inline constexpr int kTableCount = 10;

enum class TColumnKind { Text, Integer };

struct TColumnDef {
    std::string name;
    TColumnKind kind;
    // Bytes of code page 932 for text columns; 0 for integers.
    uint32_t width;
};

struct TTableDef {
    TTableId id;
    // Table name; the file is this name plus ".cds".
    std::string name;
    // Name of the table's dataset in the data store.
    std::string dataset;
    // Survey tables hold the works; the others are code tables the program only reads.
    bool survey;
    // Field the data store sorts the table by.
    std::string sortField;
    std::vector<TColumnDef> columns;

    std::string FileName() const { return name + ".cds"; }
    // Position of a column, or -1.
    int ColumnIndex(const std::string& column) const;
};

// Column widths shared by the survey tables.
inline constexpr uint32_t kWorkNumberWidth = 30;
inline constexpr uint32_t kDateWidth = 10;
inline constexpr uint32_t kFlagWidth = 1;
inline constexpr uint32_t kGradeWidth = 2;
inline constexpr uint32_t kCodeWidth = 10;
inline constexpr uint32_t kTextWidth = 255;
inline constexpr uint32_t kLongTextWidth = 2000;
inline constexpr uint32_t kPictureFileWidth = 512;

// All ten tables in opening order.
const std::vector<TTableDef>& SurveySchema();
const TTableDef& TableDef(TTableId id);
// Null when no table has that name (ASCII case ignored).
const TTableDef* FindTableDef(const std::string& name);

// The four aspect names of the graded question groups and the number of
// fixed questions each has; two optional questions follow the fixed ones.
struct TAspect {
    const char* name;
    int fixedQuestions;
};
const std::vector<TAspect>& Aspects();

}  // namespace sarvenu
