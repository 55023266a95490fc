// Keeping and putting back a work's records and picture files around an
// import.
#include "exchange/work_snapshot.h"

#include <functional>
#include <stdexcept>

#include "dataset/client_table.h"
#include "dataset/file_ops.h"
#include "exchange/file_error.h"
#include "platform/codepage.h"
#include "records/cds_module.h"
#include "records/picture_names.h"

namespace sarvenu {

namespace {

// The survey tables, the sheets before the main table: they are put back
// while the main table still stands on the work.
std::vector<TClientTable*> SurveyTables(TdmCdsModule& dm) {
    return {&dm.cdsEV_TBL_PLAN,      &dm.cdsEV_TBL_REPORT,  &dm.cdsEV_TBL_INV_SECTION,
            &dm.cdsEV_TBL_INV_CHIEF, &dm.cdsEV_TBL_INV_CON, &dm.cdsEV_TBL_MAIN};
}

}  // namespace

TWorkSnapshot::TWorkSnapshot(TdmCdsModule& dm)
    : dm_(dm), openWork_(dm.cdsEV_TBL_MAIN.FieldNamed("CONST_NO").GetText()) {}

std::vector<TWorkSnapshot::TRecord> TWorkSnapshot::RecordsOf(TClientTable& table) const {
    std::vector<TRecord> records;
    if (number_.empty()) return records;
    const TField& key = table.FieldNamed("CONST_NO");
    table.ScanAllRecords([&](const TRecordView& view) {
        if (view.Text(key) != number_) return;
        TRecord record;
        for (int i = 0; i < table.FieldTotal(); ++i) record.push_back(view.Text(table.FieldAt(i)));
        records.push_back(std::move(record));
    });
    return records;
}

std::vector<std::string> TWorkSnapshot::PictureNames() const {
    std::vector<std::string> names;
    const std::string number = platform::Cp932ToUtf8(number_);
    if (number.empty()) return names;
    for (const std::string& name : fileops::ListFiles(dm_.Directories().picture, "*.*"))
        if (MatchPictureName(name, number)) names.push_back(name);
    return names;
}

void TWorkSnapshot::Keep(const std::string& workNumber) {
    number_ = workNumber;
    tables_.clear();
    for (TClientTable* table : SurveyTables(dm_)) tables_.emplace_back(table, RecordsOf(*table));
    pictures_.clear();
    const std::string& dir = dm_.Directories().picture;
    for (const std::string& name : PictureNames()) {
        TPictureFile file{name, {}, fileops::IsReadOnly(dir + name)};
        std::string error;
        if (!fileops::ReadFile(dir + name, &file.bytes, &error))
            throw FileError("画像ファイルを読み込めません。", dir + name,
                            platform::Utf8ToCp932(error));
        pictures_.push_back(std::move(file));
    }
}

void TWorkSnapshot::Restore() {
    std::string firstError;
    auto attempt = [&firstError](const std::function<void()>& step) {
        try {
            step();
        } catch (const std::exception& e) {
            if (firstError.empty()) firstError = e.what();
        }
    };
    TClientTable& main = dm_.cdsEV_TBL_MAIN;
    CloseWithoutSaving(dm_.cdsTemp);
    for (TClientTable* table : SurveyTables(dm_))
        attempt([table] {
            if (table->IsEditing()) table->DiscardRecord();
        });

    auto append = [](TClientTable& table, const TRecord& record) {
        table.StartAppend();
        try {
            for (int i = 0; i < table.FieldTotal() && i < static_cast<int>(record.size()); ++i)
                table.FieldAt(i).SetText(record[i]);
            table.CommitRecord();
        } catch (...) {
            if (table.IsEditing()) table.DiscardRecord();
            throw;
        }
    };
    if (!number_.empty()) {
        // A sheet shows the records of the main table's current work only.
        attempt([&] { main.Locate("CONST_NO", number_); });
        for (auto& [table, records] : tables_) {
            TClientTable& live = *table;
            attempt([&, &records = records] {
                if (RecordsOf(live) == records) return;
                dm_.DataDelete(live, "CONST_NO", number_);
                for (const TRecord& record : records) append(live, record);
            });
            // Adding to a sheet put the main table into editing; nothing of
            // it was changed.
            if (&live != &main)
                attempt([&] {
                    if (main.IsEditing()) main.DiscardRecord();
                });
        }
    }
    if (!openWork_.empty()) attempt([&] { main.Locate("CONST_NO", openWork_); });

    const std::string& dir = dm_.Directories().picture;
    for (const std::string& name : PictureNames()) {
        bool kept = false;
        for (const TPictureFile& file : pictures_) kept = kept || file.name == name;
        std::string error;
        if (!kept && !fileops::DeleteFile(dir + name, &error) && firstError.empty())
            firstError = FileError("画像ファイルを削除できません。", dir + name,
                                   platform::Utf8ToCp932(error))
                             .what();
    }
    for (const TPictureFile& file : pictures_) {
        const std::string path = dir + file.name;
        std::string bytes, error;
        const bool same = fileops::ReadFile(path, &bytes) && bytes == file.bytes &&
                          fileops::IsReadOnly(path) == file.readOnly;
        if (same) continue;
        if (fileops::FileExists(path)) fileops::SetReadOnly(path, false);
        bool written = fileops::WriteFileAtomic(path, file.bytes, &error);
        if (written && file.readOnly) written = fileops::SetReadOnly(path, true, &error);
        if (!written && firstError.empty())
            firstError =
                FileError("画像ファイルを元に戻せません。", path, platform::Utf8ToCp932(error))
                    .what();
    }
    if (!firstError.empty()) throw std::runtime_error(firstError);
}

}  // namespace sarvenu
