// Importing submission files through the window when something in them is
// wrong or unusual: a sheet that cannot be read or taken leaves the open work,
// its pictures and the list of works as they were; an archive without the
// contractor's sheet says why nothing was taken; entry names are matched
// whatever their letter case, as the archives come from systems that ignore it.
#include <map>
#include <random>

#include "dataset/file_ops.h"
#include "exchange/archive_file.h"
#include "platform/codepage.h"
#include "shell/tests/sample_work.h"
#include "shell/tests/window_fixture.h"

namespace window_test {
namespace {

// The archive's own work number, unlike any work of the installation.
constexpr const char* kArchiveNumber = "CYY-XX0050";

// A fixed pseudo-random byte sequence: no reader takes it for anything.
std::string Noise(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(generator() & 0xFF);
    return bytes;
}

class ImportTest : public WindowTest {
  protected:
    void TearDown() override {
        fileops::ClearFaultPlan();
        WindowTest::TearDown();
    }

    // The bytes of a table file of the table holding one record.
    std::string Table(const TTableDef& def, const Row& row) {
        const fs::path path = installation->Root() / "table.tmp";
        WriteTableFile(path.string(), def, {RowFor(def, row)});
        const std::string bytes = ReadBytes(path);
        fs::remove(path);
        return bytes;
    }
    std::string EmptyTable(const TTableDef& def) {
        const fs::path path = installation->Root() / "table.tmp";
        WriteTableFile(path.string(), def, {});
        const std::string bytes = ReadBytes(path);
        fs::remove(path);
        return bytes;
    }
    std::string MainTable(const std::string& version = "2010") {
        return Table(TableDef(TTableId::Main), {{"CONST_NO", kArchiveNumber},
                                                {"CON_NAME", platform::Utf8ToCp932("取込工事")},
                                                {"CON_TYPE", "5"},
                                                {"REG_VERSION", version}});
    }
    std::string SheetTable(TTableId id) {
        return Table(TableDef(id), {{"CONST_NO", kArchiveNumber}});
    }
    // The contractor's sheet naming three JPEG pictures (as written by the
    // exporting program: a full path in the field).
    Row ConRow() {
        return {{"CONST_NO", kArchiveNumber},
                {"INV_NAME", platform::Utf8ToCp932("請負　花子")},
                {"FILE_NAME_A", std::string(kArchiveNumber) + "A.jpg"},
                {"FILE_NAME_B", std::string(kArchiveNumber) + "B.jpg"},
                {"FILE_NAME_C", std::string(kArchiveNumber) + "C.jpg"}};
    }
    std::string ConTable() { return Table(TableDef(TTableId::InvCon), ConRow()); }
    // The pictures the contractor's sheet names.
    std::map<std::string, std::string> ConPictures() {
        std::map<std::string, std::string> pictures;
        for (const char* slot : {"A", "B", "C"})
            pictures[std::string(kArchiveNumber) + slot + ".jpg"] = Noise(300, slot[0]);
        return pictures;
    }

    // An archive of the entries (name -> bytes), packed by the archiver.
    fs::path Archive(const std::map<std::string, std::string>& entries) {
        const fs::path dir = installation->Root() / "packing";
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const auto& [name, bytes] : entries) WriteBytes(dir / name, bytes);
        const fs::path archive =
            installation->Root() / ("import" + std::to_string(++archives_) + ".lzh");
        TArchiveFile pack;
        pack.SetFileName(archive.string());
        pack.Options().x = 0;
        pack.Options().n = 1;
        const TStringList files = {dir.string() + "/*.*"};
        EXPECT_EQ(pack.Pack(nullptr, "", &files), 0);
        return archive;
    }
    static std::map<std::string, std::string> Merged(std::map<std::string, std::string> a,
                                                     const std::map<std::string, std::string>& b) {
        a.insert(b.begin(), b.end());
        return a;
    }

    // Starts an import of the archive from the button of that name, answering
    // Yes to the overwrite question; the texts shown meanwhile.
    std::vector<std::string> Import(const fs::path& archive, const std::string& button) {
        boxes.shown.clear();
        boxes.files.push_back(archive.string());
        boxes.answers = {idYes};
        window->btnImpClick(button);
        return boxes.Texts();
    }

    // Every live record of a table in memory, whatever the open work.
    static std::vector<Row> LiveRows(TClientTable& table) {
        std::vector<Row> rows;
        table.ScanAllRecords([&](const TRecordView& record) {
            Row row;
            for (int i = 0; i < table.FieldTotal(); ++i)
                row[table.FieldAt(i).FieldName()] = record.Text(table.FieldAt(i));
            rows.push_back(row);
        });
        return rows;
    }
    // The six survey tables in memory, and the same tables on disk.
    std::vector<std::vector<Row>> LiveTables() {
        TdmCdsModule& dm = window->dm();
        std::vector<std::vector<Row>> tables;
        for (TClientTable* table :
             {&dm.cdsEV_TBL_MAIN, &dm.cdsEV_TBL_PLAN, &dm.cdsEV_TBL_REPORT,
              &dm.cdsEV_TBL_INV_SECTION, &dm.cdsEV_TBL_INV_CHIEF, &dm.cdsEV_TBL_INV_CON})
            tables.push_back(LiveRows(*table));
        return tables;
    }
    std::vector<std::vector<Row>> StoredTables() {
        std::vector<std::vector<Row>> tables;
        for (TTableId id : {TTableId::Main, TTableId::Plan, TTableId::Report, TTableId::InvSection,
                            TTableId::InvChief, TTableId::InvCon})
            tables.push_back(ReadTable(installation->TablePath(id)));
        return tables;
    }
    // The picture directory: names and contents.
    std::map<std::string, std::string> Pictures() {
        std::map<std::string, std::string> pictures;
        for (const auto& entry : fs::directory_iterator(installation->Root() / "img"))
            if (entry.is_regular_file())
                pictures[entry.path().filename().string()] = ReadBytes(entry.path());
        return pictures;
    }

    // What a failed import must leave as it found it.
    struct TState {
        std::vector<std::vector<Row>> live, stored;
        std::map<std::string, std::string> pictures;
        std::string openWork;
    };
    TState State() {
        return {LiveTables(), StoredTables(), Pictures(),
                window->dm().cdsEV_TBL_MAIN.FieldNamed("CONST_NO").GetText()};
    }
    void ExpectUnchanged(const TState& before, const std::string& what) {
        const TState now = State();
        static const char* const names[] = {"main", "plan", "report", "section", "chief", "con"};
        for (size_t i = 0; i < now.live.size(); ++i) {
            EXPECT_TRUE(now.live[i] == before.live[i]) << what << ": " << names[i] << " in memory";
            EXPECT_TRUE(now.stored[i] == before.stored[i]) << what << ": " << names[i] << " file";
        }
        std::string pictures;
        for (const auto& [name, bytes] : now.pictures) pictures += name + " ";
        EXPECT_TRUE(now.pictures == before.pictures) << what << ": the pictures " << pictures;
        EXPECT_EQ(now.openWork, before.openWork) << what << ": the work the tables stand on";
        EXPECT_FALSE(window->HasUnsavedChanges()) << what;
        EXPECT_FALSE(window->ImportRunning()) << what;
        EXPECT_TRUE(fs::is_empty(installation->Root() / "tmp")) << what;
    }

    int archives_ = 0;
};

TEST_F(ImportTest, ContractorSheetThatCannotBeTakenLeavesTheOpenWorkAsItWas) {
    SavedSampleWork();
    const TState before = State();
    ASSERT_EQ(before.pictures.size(), 3u);

    // A sheet file that the archive carries intact but that holds no table,
    // and one that holds no record: refused before anything is asked.
    for (const std::string& sheet : {Noise(700, 7), EmptyTable(TableDef(TTableId::InvCon))}) {
        const fs::path archive = Archive(Merged(
            {{"EV_TBL_MAIN.cds", MainTable()}, {"EV_TBL_INV_CON_R.cds", sheet}}, ConPictures()));
        boxes.shown.clear();
        boxes.files.push_back(archive.string());
        boxes.answers = {idYes};
        EXPECT_THROW(window->btnImpClick("btnImpCon"), std::exception);
        EXPECT_TRUE(boxes.shown.empty())
            << "no question for a sheet that cannot be read: " << boxes.Texts().at(0);
        ExpectUnchanged(before, "unreadable sheet");
    }

    // A sheet with a column more than the live table: the copy is refused
    // after the old sheet and pictures were already taken away.
    TTableDef wider = TableDef(TTableId::InvCon);
    wider.columns.push_back({"INV_EXTRA", TColumnKind::Text, 10});
    Row widerRow = ConRow();
    widerRow["INV_EXTRA"] = "x";
    const fs::path refused = Archive(
        Merged({{"EV_TBL_MAIN.cds", MainTable()}, {"EV_TBL_INV_CON_R.cds", Table(wider, widerRow)}},
               ConPictures()));
    EXPECT_THROW(Import(refused, "btnImpCon"), std::exception);
    ExpectUnchanged(before, "refused copy");

    // The third picture cannot be written into the picture directory.
    const fs::path good = Archive(Merged(
        {{"EV_TBL_MAIN.cds", MainTable()}, {"EV_TBL_INV_CON_R.cds", ConTable()}}, ConPictures()));
    {
        fileops::ScopedFaultPlan plan({-1, installation->PicturePath("CYY-XX0001C.jpg").string()});
        EXPECT_THROW(Import(good, "btnImpCon"), std::exception);
    }
    ExpectUnchanged(before, "picture not written");

    // The same archive without the fault replaces the sheet and pictures.
    EXPECT_EQ(Import(good, "btnImpCon").back(),
              "［活用効果調査表(3)/請負者・技術開発者提出用］を取り込みました。");
    const std::vector<Row> sheets = LiveRows(window->dm().cdsEV_TBL_INV_CON);
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].at("INV_NAME"), platform::Utf8ToCp932("請負　花子"));
    EXPECT_EQ(sheets[0].at("FILE_NAME_C"), "CYY-XX0001C.jpg");
    EXPECT_EQ(Pictures(),
              (std::map<std::string, std::string>{{"CYY-XX0001A.jpg", Noise(300, 'A')},
                                                  {"CYY-XX0001B.jpg", Noise(300, 'B')},
                                                  {"CYY-XX0001C.jpg", Noise(300, 'C')}}));
}

TEST_F(ImportTest, NewWorkIsTakenWholeOrNotAtAll) {
    SavedSampleWork();
    window->btnReturnMenu->click();
    const TState before = State();
    const std::map<std::string, std::string> good =
        Merged({{"EV_TBL_MAIN.cds", MainTable()},
                {"EV_TBL_PLAN_R.cds", SheetTable(TTableId::Plan)},
                {"EV_TBL_REPORT_R.cds", SheetTable(TTableId::Report)},
                {"EV_TBL_INV_CON_R.cds", ConTable()}},
               ConPictures());

    // The report's file holds no table: found before the work is created.
    std::map<std::string, std::string> entries = good;
    entries["EV_TBL_REPORT_R.cds"] = Noise(500, 3);
    EXPECT_THROW(Import(Archive(entries), "btnImp"), std::exception);
    ExpectUnchanged(before, "unreadable report");

    // The contractor's sheet, taken after the other tables and the pictures,
    // is refused.
    TTableDef wider = TableDef(TTableId::InvCon);
    wider.columns.push_back({"INV_EXTRA", TColumnKind::Text, 10});
    entries = good;
    entries["EV_TBL_INV_CON_R.cds"] = Table(wider, ConRow());
    EXPECT_THROW(Import(Archive(entries), "btnImp"), std::exception);
    ExpectUnchanged(before, "refused contractor's sheet");

    // The main table file cannot be written: the sheets written before it
    // are written back without the new work.
    {
        fileops::ScopedFaultPlan plan({-1, installation->TablePath(TTableId::Main).string()});
        EXPECT_THROW(Import(Archive(good), "btnImp"), std::exception);
    }
    ExpectUnchanged(before, "main table not written");

    // Without a fault the archive is a new work with its sheets and pictures.
    EXPECT_TRUE(Import(Archive(good), "btnImp").empty());
    const std::vector<std::vector<Row>> tables = StoredTables();
    ASSERT_EQ(tables[0].size(), 2u);
    const std::string number = tables[0][1].at("CONST_NO");
    EXPECT_EQ(tables[0][1].at("CON_NAME"), platform::Utf8ToCp932("取込工事"));
    EXPECT_EQ(tables[2].size(), 2u) << "the report";
    EXPECT_EQ(tables[5].back().at("FILE_NAME_B"), number + "B.jpg");
    EXPECT_EQ(ReadBytes(installation->PicturePath(number + "B.jpg")), Noise(300, 'B'));
}

TEST_F(ImportTest, ContractorSheetImportWithoutTheSheetSaysWhy) {
    SavedSampleWork();
    const TState before = State();
    const std::string noSheet =
        "取り込むデータ（［活用効果調査表(3)/請負者・技術開発者提出用］）がありません。";

    // Survey data, but not the contractor's sheet.
    EXPECT_EQ(Import(Archive({{"EV_TBL_MAIN.cds", MainTable()},
                              {"EV_TBL_PLAN_R.cds", SheetTable(TTableId::Plan)}}),
                     "btnImpCon"),
              std::vector<std::string>{noSheet});
    EXPECT_EQ(boxes.shown.at(0).icon, miError);
    ExpectUnchanged(before, "plan only");

    // Only the main table: not recognised, the versions agree.
    EXPECT_EQ(Import(Archive({{"EV_TBL_MAIN.cds", MainTable()}}), "btnImpCon"),
              std::vector<std::string>{noSheet});
    ExpectUnchanged(before, "main only");

    // Only a main table of a newer program: its refusal says why.
    EXPECT_EQ(Import(Archive({{"EV_TBL_MAIN.cds", MainTable("2100")}}), "btnImpCon"),
              (std::vector<std::string>{
                  "このデータを取り込めません。\r\nSarvenuのバージョンアップを行って下さい。"}));
    ExpectUnchanged(before, "newer main only");
}

TEST_F(ImportTest, FailedExtractionInTheContractorModeShowsThatModesText) {
    Open(102);
    // The picture's data is damaged; both tables still come out whole.
    const std::string picture = std::string(kArchiveNumber) + "A.jpg";
    const fs::path archive = Archive({{"EV_TBL_MAIN.cds", MainTable()},
                                      {"EV_TBL_INV_CON_R.cds", ConTable()},
                                      {picture, Noise(4000, 11)}});
    std::string bytes = ReadBytes(archive);
    const size_t header = bytes.find(picture);
    ASSERT_NE(header, std::string::npos);
    bytes[header + 2000] ^= 0x5A;
    WriteBytes(archive, bytes);
    const fs::path out = installation->Root() / "extracted";
    fs::create_directories(out);
    TArchiveFile check;
    check.SetFileName(archive.string());
    check.Options().x = 1;
    check.Options().n = 1;
    ASSERT_NE(check.Extract(nullptr, out.string(), nullptr), 0);
    ASSERT_TRUE(fs::exists(out / "EV_TBL_MAIN.cds"));
    ASSERT_TRUE(fs::exists(out / "EV_TBL_INV_CON_R.cds"));

    const size_t works = window->dm().cdsEV_TBL_MAIN.RecordTotal();
    EXPECT_EQ(
        Import(archive, "btnImp"),
        std::vector<std::string>{"請負者・技術開発者用の活用効果調査データとして認識できません。"});
    EXPECT_EQ(boxes.shown.at(0).icon, miError);
    EXPECT_EQ(window->dm().cdsEV_TBL_MAIN.RecordTotal(), works);
}

TEST_F(ImportTest, EntryNamesAreMatchedWhateverTheirLetterCase) {
    SavedSampleWork();
    // The record names lower-case pictures; the archive holds them in upper
    // case, and its tables in either case.
    std::map<std::string, std::string> entries = {{"EV_TBL_MAIN.CDS", MainTable()},
                                                  {"ev_tbl_inv_con_r.cds", ConTable()}};
    for (const auto& [name, bytes] : ConPictures())
        entries[name.substr(0, name.size() - 3) + "JPG"] = bytes;
    const fs::path archive = Archive(entries);

    // Over the open work: the sheet and its pictures replace the old ones.
    EXPECT_EQ(Import(archive, "btnImpCon").back(),
              "［活用効果調査表(3)/請負者・技術開発者提出用］を取り込みました。");
    EXPECT_EQ(LiveRows(window->dm().cdsEV_TBL_INV_CON).at(0).at("FILE_NAME_C"), "CYY-XX0001C.jpg");
    EXPECT_EQ(ReadBytes(installation->PicturePath("CYY-XX0001C.jpg")), Noise(300, 'C'));
    EXPECT_FALSE(fs::exists(installation->PicturePath("CYY-XX0001C.gif")));

    // As a new work.
    window->btnReturnMenu->click();
    EXPECT_TRUE(Import(archive, "btnImp").empty());
    const std::vector<Row> works = LiveRows(window->dm().cdsEV_TBL_MAIN);
    ASSERT_EQ(works.size(), 2u);
    const std::string number = works[1].at("CONST_NO");
    const std::vector<Row> sheets = LiveRows(window->dm().cdsEV_TBL_INV_CON);
    ASSERT_EQ(sheets.size(), 2u);
    EXPECT_EQ(sheets[1].at("FILE_NAME_A"), number + "A.jpg");
    EXPECT_EQ(ReadBytes(installation->PicturePath(number + "A.jpg")), Noise(300, 'A'));
}

}  // namespace
}  // namespace window_test
