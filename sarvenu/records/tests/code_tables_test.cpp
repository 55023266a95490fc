// The shipped code tables through the engine and the client layer: each
// bureau's office list holds exactly its offices, compared as numbers, in
// sort order.
#include <algorithm>
#include <set>

#include "store_fixture.h"

namespace store_test {
namespace {

TEST(SchemaTest, SurveyTablesStartWithTheWorkNumberAndNamesAreUnique) {
    for (const TTableDef& def : SurveySchema()) {
        if (def.survey) {
            EXPECT_EQ(def.columns.at(0).name, "CONST_NO") << def.name;
        }
        for (size_t i = 0; i < def.columns.size(); ++i)
            EXPECT_EQ(def.ColumnIndex(def.columns[i].name), static_cast<int>(i))
                << def.name << "." << def.columns[i].name;
    }
    EXPECT_EQ(TableDef(TTableId::InvChief).ColumnIndex("INV_CONSTRUCT_EVAL_POINT8") -
                  TableDef(TTableId::InvChief).ColumnIndex("INV_CONSTRUCT_EVAL_POINT1"),
              7);
    EXPECT_EQ(FindTableDef("ev_tbl_main"), &TableDef(TTableId::Main));
}

class OfficeListTest : public ::testing::Test {
  protected:
    Installation install;
    TestHost host;
};

TEST_F(OfficeListTest, EachBureauOffersExactlyItsOfficesInSortOrder) {
    TdmCdsModule dm(host, install.ExeDir());
    TClientTable& offices = dm.cdsMV_STBL_HAC_SAI;
    offices.SetIndexFieldNames("sort_id");
    for (const TBureauRow& bureau : ShippedBureaus()) {
        std::vector<const TOfficeRow*> expected;
        for (const TOfficeRow& office : ShippedOffices())
            if (OfficeBelongsToBureau(office.cd, bureau.cd)) expected.push_back(&office);
        std::sort(expected.begin(), expected.end(),
                  [](auto* a, auto* b) { return a->sortId < b->sortId; });
        ASSERT_FALSE(expected.empty()) << bureau.cd;

        offices.SetFilter(OfficeFilterText(std::to_string(bureau.cd)));
        offices.SetFiltered(true);
        std::vector<std::string> shown;
        for (offices.MoveFirst(); !offices.AtEnd(); offices.MoveNext())
            shown.push_back(offices.FieldNamed("CD").GetText());
        std::vector<std::string> wanted;
        for (const TOfficeRow* office : expected) wanted.push_back(std::to_string(office->cd));
        EXPECT_EQ(shown, wanted) << OfficeFilterText(std::to_string(bureau.cd));
    }
    // Office 2050 belongs to bureau 10 only; compared as text it would fall
    // between 200 and 300.
    offices.SetFilter(OfficeFilterText("2"));
    EXPECT_FALSE(offices.Locate("CD", "2050"));
    offices.SetFilter(OfficeFilterText(""));
    EXPECT_EQ(offices.RecordTotal(), 0u);
    offices.SetFiltered(false);
    EXPECT_EQ(offices.RecordTotal(), ShippedOffices().size());
}

TEST_F(OfficeListTest, ShippedRowsReadBackThroughTheClientLayer) {
    EXPECT_EQ(ReadTable(install.TablePath(TTableId::GatherMoc)).size(), ShippedBureaus().size());
    std::set<std::string> types;
    for (const Row& row : ReadTable(install.TablePath(TTableId::ConType)))
        types.insert(row.at("CD"));
    EXPECT_EQ(types, (std::set<std::string>{"0", "3", "4", "5", "6"}));
    // Every office belongs to exactly one shipped bureau.
    for (const TOfficeRow& office : ShippedOffices()) {
        int owners = 0;
        for (const TBureauRow& bureau : ShippedBureaus())
            owners += OfficeBelongsToBureau(office.cd, bureau.cd);
        EXPECT_EQ(owners, 1) << office.cd;
    }
}

}  // namespace
}  // namespace store_test
