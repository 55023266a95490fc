// The contractor's picture slots through the window: choosing (size limit,
// pending copy), clearing, saving and abandoning, with the files left in the
// picture directory; odd and vanished picture files.
#include <QImage>

#include "platform/codepage.h"
#include "shell/tests/window_fixture.h"

namespace window_test {
namespace {

// A GIF header of the given logical screen size (enough for the size check).
std::string GifHeader(int width, int height) {
    std::string bytes = "GIF89a";
    for (int v : {width, height}) {
        bytes += static_cast<char>(v & 0xFF);
        bytes += static_cast<char>(v >> 8);
    }
    bytes += std::string("\x00\x00\x00", 3);
    return bytes;
}

class PictureTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        Open();
        source = installation->Root() / "chosen";
        fs::create_directories(source);
        window->btnNew->click();
        Edit(TTableId::Main, "CON_NAME")->SetTextCp932(platform::Utf8ToCp932("橋梁補修"));
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        WriteBytes(source / name, bytes);
        return (source / name).string();
    }
    std::string Jpeg(const std::string& name, int width, int height) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const std::string path = (source / name).string();
        EXPECT_TRUE(image.save(QString::fromStdString(path), "JPG"));
        return path;
    }
    void Choose(int slot, const std::string& path) {
        boxes.files.push_back(path);
        Find<QPushButton>("btnPictSelect" + std::to_string(slot))->click();
    }
    void Clear(int slot) {
        boxes.answers = {idYes, idOK};
        Find<QPushButton>("btnPctClear" + std::to_string(slot))->click();
    }
    void Save() {
        boxes.answers = {idYes};
        window->bbtnSubmit->click();
    }
    std::string FileName(char letter) {
        return window->dm()
            .cdsEV_TBL_INV_CON.FieldNamed(std::string("FILE_NAME_") + letter)
            .GetText();
    }
    bool SlotEmpty(int slot) {
        return !Find<QWidget>("lblNoPict" + std::to_string(slot))->isHidden() &&
               Find<QWidget>("btnPictSelect" + std::to_string(slot))->isEnabled() &&
               !Find<QWidget>("btnPctClear" + std::to_string(slot))->isEnabled();
    }
    fs::path source;
};

TEST_F(PictureTest, TooLargeGifIsRefusedAndTheLimitItselfTaken) {
    Choose(1, Write("wide.gif", GifHeader(601, 200)));
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0],
              "画像のサイズが大きすぎます。\r\n600×400以内の画像ファイルを選択してください。");
    EXPECT_EQ(boxes.shown[0].icon, miWarning);
    EXPECT_TRUE(SlotEmpty(1));
    EXPECT_TRUE(FileName('A').empty());
    EXPECT_EQ(platform::Cp932ToUtf8(boxes.dialogs.at(0).filter),
              "画像ファイル|*.gif;*.jpg;*.jpeg;");

    Choose(1, Write("limit.gif", GifHeader(600, 400)));
    EXPECT_FALSE(SlotEmpty(1));
    EXPECT_TRUE(fs::exists(installation->PicturePath("_CYY-XX0001A.gif")));
    EXPECT_EQ(platform::Cp932ToUtf8(FileName('A')),
              installation->PicturePath("_CYY-XX0001A.gif").string());
}

TEST_F(PictureTest, JpegExtensionIsSizeCheckedAsJpg) {
    Choose(2, Jpeg("huge.jpeg", 900, 700));
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0],
              "画像のサイズが大きすぎます。\r\n600×400以内の画像ファイルを選択してください。");
    EXPECT_TRUE(SlotEmpty(2));
    EXPECT_FALSE(fs::exists(installation->PicturePath("_CYY-XX0001B.jpeg")));

    boxes.shown.clear();
    Choose(2, Jpeg("fits.jpeg", 300, 200));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(SlotEmpty(2));
    EXPECT_TRUE(fs::exists(installation->PicturePath("_CYY-XX0001B.jpeg")));
    EXPECT_FALSE(Find<QLabel>("imgPict2")->pixmap().isNull()) << "the picture is shown";
}

TEST_F(PictureTest, ChosenPictureIsSavedUnderTheWorkNumber) {
    Choose(3, Jpeg("site.jpg", 300, 200));
    Save();
    EXPECT_TRUE(fs::exists(installation->PicturePath("CYY-XX0001C.jpg")));
    EXPECT_FALSE(fs::exists(installation->PicturePath("_CYY-XX0001C.jpg")));
    EXPECT_EQ(FileName('C'), "CYY-XX0001C.jpg");
    ASSERT_TRUE(CloseWindow());
    EXPECT_EQ(ReadTable(installation->TablePath(TTableId::InvCon)).at(0).at("FILE_NAME_C"),
              "CYY-XX0001C.jpg");
}

TEST_F(PictureTest, ChoosingAndAbandoningLeavesNothing) {
    Choose(1, Jpeg("site.jpg", 300, 200));
    boxes.answers = {idNo};
    window->btnReturnMenu->click();
    EXPECT_TRUE(fs::is_empty(installation->Root() / "img"));
}

TEST_F(PictureTest, ClearingASavedPictureIsUndoneByAbandoningAndDoneBySaving) {
    Choose(1, Jpeg("site.jpg", 300, 200));
    Save();
    Clear(1);
    EXPECT_EQ(boxes.Texts().back(),
              "クリアした画像をもとに戻すには、もう一度選択し直す必要があります。");
    EXPECT_TRUE(SlotEmpty(1));
    boxes.answers = {idNo};
    window->btnReturnMenu->click();
    EXPECT_TRUE(fs::exists(installation->PicturePath("CYY-XX0001A.jpg")))
        << "abandoning brings it back";
    EXPECT_FALSE(fs::exists(installation->PicturePath("_CYY-XX0001A.jpg")));

    window->btnEdit->click();
    EXPECT_FALSE(SlotEmpty(1));
    Clear(1);
    Save();
    EXPECT_FALSE(fs::exists(installation->PicturePath("CYY-XX0001A.jpg")));
    EXPECT_FALSE(fs::exists(installation->PicturePath("_CYY-XX0001A.jpg")));
    EXPECT_TRUE(FileName('A').empty());
}

// Clearing a saved picture and choosing another, of the same or of another
// extension, then abandoning: the saved picture's bytes and the record are as
// they were. Saving instead leaves exactly the new picture.
TEST_F(PictureTest, ReplacingASavedPictureIsUndoneByAbandoning) {
    const std::string saved = Jpeg("saved.jpg", 300, 200);
    Choose(1, saved);
    Save();
    const std::string savedBytes = ReadBytes(installation->PicturePath("CYY-XX0001A.jpg"));
    ASSERT_EQ(savedBytes, ReadBytes(saved));
    for (const char* other : {"other.jpg", "other.JPG", "other.gif", "other.jpeg"}) {
        window->btnEdit->click();
        ASSERT_FALSE(SlotEmpty(1)) << other;
        Clear(1);
        const std::string chosen = std::string(other).ends_with("gif")
                                       ? Write(other, GifHeader(40, 30) + "other picture")
                                       : Jpeg(other, 200, 100);
        Choose(1, chosen);
        ASSERT_FALSE(SlotEmpty(1)) << other;
        boxes.answers = {idNo};
        window->btnReturnMenu->click();
        EXPECT_EQ(ReadBytes(installation->PicturePath("CYY-XX0001A.jpg")), savedBytes) << other;
        EXPECT_EQ(FileName('A'), "CYY-XX0001A.jpg") << other;
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(installation->Root() / "img"))
            left.push_back(entry.path().filename().string());
        EXPECT_EQ(left, std::vector<std::string>{"CYY-XX0001A.jpg"})
            << other << ": only the saved picture is left";
    }

    window->btnEdit->click();
    Clear(1);
    Choose(1, Write("final.gif", GifHeader(40, 30) + "final picture"));
    Save();
    EXPECT_EQ(FileName('A'), "CYY-XX0001A.gif");
    EXPECT_FALSE(fs::exists(installation->PicturePath("CYY-XX0001A.jpg")));
    EXPECT_EQ(ReadBytes(installation->PicturePath("CYY-XX0001A.gif")),
              GifHeader(40, 30) + "final picture");
    ASSERT_TRUE(CloseWindow());
    EXPECT_EQ(ReadTable(installation->TablePath(TTableId::InvCon)).at(0).at("FILE_NAME_A"),
              "CYY-XX0001A.gif");
}

TEST_F(PictureTest, ClearingNeedsBothAnswers) {
    Choose(1, Jpeg("site.jpg", 300, 200));
    boxes.answers = {idYes, idCancel};
    Find<QPushButton>("btnPctClear1")->click();
    EXPECT_FALSE(SlotEmpty(1));
    boxes.answers = {idNo};
    Find<QPushButton>("btnPctClear1")->click();
    EXPECT_FALSE(SlotEmpty(1));
    EXPECT_FALSE(FileName('A').empty());
}

TEST_F(PictureTest, CorruptOrTruncatedPicturesAreTakenWithoutCrashing) {
    Choose(1, Write("broken.jpg", "\xFF\xD8\xFF\xC0\x00"));
    EXPECT_FALSE(SlotEmpty(1));
    EXPECT_TRUE(Find<QLabel>("imgPict1")->pixmap().isNull());
    std::string truncated = GifHeader(20, 10);
    Choose(2, Write("short.gif", truncated.substr(0, 8)));
    EXPECT_FALSE(SlotEmpty(2));
    Save();
    EXPECT_TRUE(fs::exists(installation->PicturePath("CYY-XX0001A.jpg")));
}

TEST_F(PictureTest, CancelledOrVanishedChoiceTakesNothing) {
    boxes.files.push_back(std::nullopt);
    Find<QPushButton>("btnPictSelect1")->click();
    EXPECT_TRUE(SlotEmpty(1));
    Choose(1, (source / "gone.jpg").string());
    EXPECT_TRUE(SlotEmpty(1));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(PictureTest, PictureFileGoneFromTheDirectoryShowsAnEmptySlot) {
    Choose(1, Jpeg("site.jpg", 300, 200));
    Save();
    window->btnReturnMenu->click();
    fs::remove(installation->PicturePath("CYY-XX0001A.jpg"));
    window->btnEdit->click();
    EXPECT_TRUE(SlotEmpty(1));
    EXPECT_EQ(FileName('A'), "CYY-XX0001A.jpg") << "the record keeps its file name";
}

}  // namespace
}  // namespace window_test
