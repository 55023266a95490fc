// Shared set-up of the data store tests: a throw-away installation in a
// temporary directory (settings file, the ten table files built from the
// schema, a picture directory), a scripted stand-in for the main window, and
// helpers that read table files back through the client layer.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "dataset/client_table.h"
#include "platform/codepage.h"
#include "records/cds_module.h"
#include "records/code_tables.h"
#include "records/schema.h"
#include "records/table_file_writer.h"
#include "test_support/test_support.h"

namespace store_test {

namespace fs = std::filesystem;
using namespace sarvenu;

// Texts by field name, one map per record.
using Row = std::map<std::string, std::string>;

using sarvenu_test::ReadBytes;
using sarvenu_test::WriteBytes;

// Every record of a table file, read through the client layer without
// writing the file back.
inline std::vector<Row> ReadTable(const fs::path& path) {
    TClientTable table;
    table.SetFileName(path.string());
    table.OpenTable();
    std::vector<Row> rows;
    for (table.MoveFirst(); !table.AtEnd(); table.MoveNext()) {
        Row row;
        for (int i = 0; i < table.FieldTotal(); ++i)
            row[table.FieldAt(i).FieldName()] = table.FieldAt(i).GetText();
        rows.push_back(row);
    }
    CloseWithoutSaving(table);
    return rows;
}

inline std::vector<std::string> FieldNames(const fs::path& path) {
    TClientTable table;
    table.SetFileName(path.string());
    table.OpenTable();
    std::vector<std::string> names;
    for (int i = 0; i < table.FieldTotal(); ++i) names.push_back(table.FieldAt(i).FieldName());
    CloseWithoutSaving(table);
    return names;
}

// A schema table with texts by field name; unnamed fields stay blank.
inline std::vector<std::string> RowFor(const TTableDef& def, const Row& values) {
    std::vector<std::string> texts(def.columns.size());
    for (const auto& [name, text] : values) texts.at(def.ColumnIndex(name)) = text;
    return texts;
}

class TestHost : public TCdsModuleHost {
  public:
    std::map<TDateEntry, std::string> dates;
    int dataEdits = 0;
    std::vector<std::pair<std::string, std::string>> errorBoxes;

    std::string DateEntryText(TDateEntry entry) override {
        auto it = dates.find(entry);
        return it == dates.end() ? std::string() : it->second;
    }
    void DataEdit() override { ++dataEdits; }
    void ShowErrorBox(const std::string& caption, const std::string& text) override {
        errorBoxes.emplace_back(caption, text);
    }
};

// A temporary installation laid out as the shipped one.
class Installation {
  public:
    Installation() {
        if (!std::getenv("SARVENU_REGISTRY")) {
            registry_ = (fs::temp_directory_path() / "sarvenu_records_test.reg").string();
            ::setenv("SARVENU_REGISTRY", registry_.c_str(), 1);
        }
        for (const char* dir : {"ini", "cds", "org", "tmp", "html", "img"})
            fs::create_directories(root_ / dir);
        WriteSettings(platform::Utf8ToCp932("調査システム"));
        for (const TTableDef& def : SurveySchema())
            WriteTableFile(TablePath(def.id).string(), def, ShippedRows(def.id));
    }
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    void WriteSettings(const std::string& title) {
        WriteBytes(root_ / "ini" / "SystemInfo.ini",
                   "[MAIN]\r\nAPP_TITLE=" + title +
                       "\r\nCDS_DIR=cds\r\nCDS_TMP_DIR=tmp\r\nCDS_ORG_DIR=org\r\n"
                       "HTML_DIR=html\r\nIMG_DIR=img\r\n");
    }

    std::string ExeDir() const { return root_.string() + "/"; }
    fs::path Root() const { return root_; }
    fs::path TablePath(TTableId id) const { return root_ / "cds" / TableDef(id).FileName(); }
    fs::path PicturePath(const std::string& name) const { return root_ / "img" / name; }

    // Rewrites a survey table file with the given records.
    void WriteRows(TTableId id, const std::vector<Row>& rows) {
        const TTableDef& def = TableDef(id);
        std::vector<std::vector<std::string>> texts;
        for (const Row& row : rows) texts.push_back(RowFor(def, row));
        WriteTableFile(TablePath(id).string(), def, texts);
    }

  private:
    std::string registry_;
    sarvenu_test::TempDir temp_{"sarvenu_store"};
    const fs::path root_{temp_.path()};
};

}  // namespace store_test
