// Pending picture files are settled with the record after a save or a cancel:
// chosen pictures become the saved ones, cleared ones go on save and come
// back on cancel; files of other works are never touched.
#include "dataset/file_ops.h"
#include "store_fixture.h"

namespace store_test {
namespace {

class PicturesTest : public ::testing::Test {
  protected:
    Installation install;
    TestHost host;

    void SetUp() override {
        install.WriteRows(TTableId::Main, {{{"CONST_NO", "CYY-XX0001"}, {"CON_NAME", "A"}}});
        install.WriteRows(TTableId::InvCon,
                          {{{"CONST_NO", "CYY-XX0001"}, {"FILE_NAME_A", "CYY-XX0001A.jpg"}}});
        WriteBytes(install.PicturePath("CYY-XX0001A.jpg"), "saved A");
        WriteBytes(install.PicturePath("_CYY-XX0002A.jpg"), "other work");
    }

    std::string Field(TdmCdsModule& dm, const char* name) {
        return dm.cdsEV_TBL_INV_CON.FieldNamed(name).GetText();
    }
    std::string Picture(const char* name) {
        return fs::exists(install.PicturePath(name)) ? ReadBytes(install.PicturePath(name))
                                                     : std::string("(none)");
    }
    // What clearing a saved picture on the sheet does to the files and the record.
    void ClearSaved(TdmCdsModule& dm) {
        fs::rename(install.PicturePath("CYY-XX0001A.jpg"), install.PicturePath("_CYY-XX0001A.jpg"));
        dm.SetValue(dm.cdsEV_TBL_INV_CON, "FILE_NAME_A", "");
    }
};

TEST_F(PicturesTest, ChosenPictureBecomesTheSavedOneOnSave) {
    TdmCdsModule dm(host, install.ExeDir());
    WriteBytes(install.PicturePath("_CYY-XX0001B.GIF"), "new B");
    dm.SetValue(dm.cdsEV_TBL_INV_CON, "FILE_NAME_B",
                install.PicturePath("_CYY-XX0001B.GIF").string());
    dm.CdsPost();
    dm.DecideImg();
    EXPECT_EQ(Field(dm, "FILE_NAME_B"), "CYY-XX0001B.GIF");
    EXPECT_FALSE(dm.cdsEV_TBL_MAIN.IsEditing());
    EXPECT_EQ(Picture("CYY-XX0001B.GIF"), "new B");
    EXPECT_EQ(Picture("_CYY-XX0001B.GIF"), "(none)");
    EXPECT_EQ(Picture("CYY-XX0001A.jpg"), "saved A");
    EXPECT_EQ(Picture("_CYY-XX0002A.jpg"), "other work");
}

TEST_F(PicturesTest, ChosenPictureIsDroppedOnCancel) {
    TdmCdsModule dm(host, install.ExeDir());
    WriteBytes(install.PicturePath("_CYY-XX0001C.jpg"), "new C");
    dm.SetValue(dm.cdsEV_TBL_INV_CON, "FILE_NAME_C",
                install.PicturePath("_CYY-XX0001C.jpg").string());
    dm.CdsCancel();
    dm.DecideImg();
    EXPECT_EQ(Field(dm, "FILE_NAME_C"), "");
    EXPECT_EQ(Picture("_CYY-XX0001C.jpg"), "(none)");
    EXPECT_EQ(Picture("CYY-XX0001C.jpg"), "(none)");
}

TEST_F(PicturesTest, ClearedPictureGoesOnSaveAndComesBackOnCancel) {
    {
        TdmCdsModule dm(host, install.ExeDir());
        ClearSaved(dm);
        dm.CdsCancel();
        dm.DecideImg();
        EXPECT_EQ(Field(dm, "FILE_NAME_A"), "CYY-XX0001A.jpg");
        EXPECT_EQ(Picture("CYY-XX0001A.jpg"), "saved A");
        EXPECT_EQ(Picture("_CYY-XX0001A.jpg"), "(none)");

        ClearSaved(dm);
        dm.CdsPost();
        dm.DecideImg();
        EXPECT_EQ(Field(dm, "FILE_NAME_A"), "");
        EXPECT_EQ(Picture("CYY-XX0001A.jpg"), "(none)");
        EXPECT_EQ(Picture("_CYY-XX0001A.jpg"), "(none)");
    }
}

TEST_F(PicturesTest, ReplacedPictureLeavesNoStaleFileBehind) {
    TdmCdsModule dm(host, install.ExeDir());
    ClearSaved(dm);
    WriteBytes(install.PicturePath("_CYY-XX0001A.gif"), "new A");
    dm.SetValue(dm.cdsEV_TBL_INV_CON, "FILE_NAME_A",
                install.PicturePath("_CYY-XX0001A.gif").string());
    dm.CdsPost();
    dm.DecideImg();
    EXPECT_EQ(Field(dm, "FILE_NAME_A"), "CYY-XX0001A.gif");
    EXPECT_EQ(Picture("CYY-XX0001A.gif"), "new A");
    EXPECT_EQ(Picture("CYY-XX0001A.jpg"), "(none)");
    EXPECT_EQ(Picture("_CYY-XX0001A.jpg"), "(none)");
}

// After a save, saved pictures the record no longer names go; the named one,
// other slots' pictures and other works' files stay.
TEST_F(PicturesTest, UnnamedSavedPicturesGoOnlyAfterTheSave) {
    TdmCdsModule dm(host, install.ExeDir());
    WriteBytes(install.PicturePath("CYY-XX0001B.gif"), "saved B");
    WriteBytes(install.PicturePath("CYY-XX00011A.jpg"), "longer number");
    dm.SetValue(dm.cdsEV_TBL_INV_CON, "FILE_NAME_B", "cyy-xx0001b.GIF");
    dm.SetValue(dm.cdsEV_TBL_INV_CON, "FILE_NAME_A", "");
    dm.DecideImg();
    EXPECT_EQ(Picture("CYY-XX0001A.jpg"), "saved A") << "kept until the save is on disk";
    dm.DropUnusedImg();
    EXPECT_EQ(Picture("CYY-XX0001A.jpg"), "(none)");
    EXPECT_EQ(Picture("CYY-XX0001B.gif"), "saved B");
    EXPECT_EQ(Picture("CYY-XX00011A.jpg"), "longer number");
    EXPECT_EQ(Picture("_CYY-XX0002A.jpg"), "other work");
}

TEST_F(PicturesTest, PictureThatCannotBeMovedStaysPending) {
    TdmCdsModule dm(host, install.ExeDir());
    WriteBytes(install.PicturePath("_CYY-XX0001B.jpg"), "new B");
    dm.SetValue(dm.cdsEV_TBL_INV_CON, "FILE_NAME_B",
                install.PicturePath("_CYY-XX0001B.jpg").string());
    dm.CdsPost();
    {
        fileops::FaultPlan plan;
        plan.failPath = install.PicturePath("CYY-XX0001B.jpg").string();
        fileops::ScopedFaultPlan faults(plan);
        dm.DecideImg();
    }
    EXPECT_EQ(Picture("_CYY-XX0001B.jpg"), "new B");
    EXPECT_EQ(Picture("CYY-XX0001B.jpg"), "(none)");
    // The record still names the file that exists, and the next save settles it.
    EXPECT_EQ(Field(dm, "FILE_NAME_B"), install.PicturePath("_CYY-XX0001B.jpg").string());
    dm.DecideImg();
    EXPECT_EQ(Field(dm, "FILE_NAME_B"), "CYY-XX0001B.jpg");
    EXPECT_EQ(Picture("CYY-XX0001B.jpg"), "new B");
}

}  // namespace
}  // namespace store_test
