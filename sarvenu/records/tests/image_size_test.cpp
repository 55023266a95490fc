// Picture sizes read from GIF and JPEG headers, and the entry names the
// sheets, handlers and checks share.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "records/entry_names.h"
#include "records/image_size.h"
#include "test_support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace sarvenu;

class ImageSizeTest : public ::testing::Test {
  protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        const fs::path path = dir_ / name;
        sarvenu_test::WriteBytes(path, bytes);
        return path.string();
    }
    static std::string Gif(int width, int height) {
        std::string bytes = "GIF89a";
        bytes += static_cast<char>(width & 0xFF);
        bytes += static_cast<char>(width >> 8);
        bytes += static_cast<char>(height & 0xFF);
        bytes += static_cast<char>(height >> 8);
        return bytes + std::string(20, '\0');
    }
    // Start of image, an application segment, then a frame header of the
    // given marker.
    static std::string Jpeg(unsigned char frame, int width, int height) {
        std::string bytes = "\xFF\xD8";
        bytes += std::string("\xFF\xE0\x00\x06", 4) + "JFIF";
        bytes += "\xFF";
        bytes += static_cast<char>(frame);
        bytes += std::string("\x00\x11\x08", 3);
        bytes += static_cast<char>(height >> 8);
        bytes += static_cast<char>(height & 0xFF);
        bytes += static_cast<char>(width >> 8);
        bytes += static_cast<char>(width & 0xFF);
        return bytes + std::string(12, '\0');
    }
    sarvenu_test::TempDir temp_{"image_size"};
    const fs::path dir_{temp_.path()};
};

TEST_F(ImageSizeTest, GifLogicalScreenSize) {
    const std::string wide = Write("wide.gif", Gif(601, 200));
    EXPECT_EQ(GetImageWidth(wide), 601);
    EXPECT_EQ(GetImageHeight(wide), 200);
    const std::string upper = Write("B.GIF", Gif(600, 400));
    EXPECT_EQ(GetImageWidth(upper), 600);
    EXPECT_EQ(GetImageHeight(upper), 400);
    // Not a GIF signature.
    const std::string fake = Write("fake.gif", "GIT89a" + std::string(10, '\x10'));
    EXPECT_EQ(GetImageWidth(fake), 0);
}

TEST_F(ImageSizeTest, JpegFrameHeaders) {
    const std::string baseline = Write("a.jpg", Jpeg(0xC0, 640, 480));
    EXPECT_EQ(GetImageWidth(baseline), 640);
    EXPECT_EQ(GetImageHeight(baseline), 480);
    const std::string progressive = Write("p.JPG", Jpeg(0xC2, 300, 200));
    EXPECT_EQ(GetImageWidth(progressive), 300);
    EXPECT_EQ(GetImageHeight(progressive), 200);
    // 0xC5 is not one of the frame markers read for a size: the walk skips
    // it and runs out of file.
    const std::string other = Write("o.jpg", Jpeg(0xC5, 300, 200));
    EXPECT_EQ(GetImageWidth(other), 0);
    EXPECT_EQ(GetImageHeight(other), 0);
    // Padding 0xFF bytes before the start of image are allowed.
    const std::string padded = Write("pad.jpg", "\xFF\xFF" + Jpeg(0xC1, 12, 34).substr(1));
    EXPECT_EQ(GetImageWidth(padded), 12);
    EXPECT_EQ(GetImageHeight(padded), 34);
}

TEST_F(ImageSizeTest, UnreadableFilesCountAsZero) {
    // ".jpeg" is measured as ".jpg" is; other extensions are not measured.
    EXPECT_EQ(GetImageWidth(Write("big.jpeg", Jpeg(0xC0, 4000, 3000))), 4000);
    EXPECT_EQ(GetImageWidth(Write("big.png", Jpeg(0xC0, 4000, 3000))), 0);
    EXPECT_EQ(GetImageWidth((dir_ / "missing.jpg").string()), 0);
    EXPECT_EQ(GetImageHeight(Write("short.gif", "GIF8")), 0);
    // A frame header cut off in the middle of its size.
    EXPECT_EQ(GetImageHeight(Write("cut.jpg", Jpeg(0xC0, 640, 480).substr(0, 17))), 0);
    // A segment length below 2 would step backwards forever.
    EXPECT_EQ(GetImageWidth(Write("loop.jpg", std::string("\xFF\xD8\xFF\xE0\x00\x00", 6))), 0);
    EXPECT_EQ(GetImageWidth(Write("empty.jpg", "")), 0);
}

TEST(EntryNames, FollowTheFieldKind) {
    EXPECT_EQ(EntryName(TTableId::Plan, "CON_PLACE"), "dbePlan_CON_PLACE");
    EXPECT_EQ(EntryName(TTableId::InvCon, "INV_COST_RESULT"), "dbmmCon_INV_COST_RESULT");
    EXPECT_EQ(EntryName(TTableId::InvChief, "INV_QUALITY_EVAL_POINT3"),
              "dbrgChief_INV_QUALITY_EVAL_POINT3");
    EXPECT_EQ(EntryName(TTableId::InvChief, "INV_COMMON"), "dbrgChief_INV_COMMON");
    EXPECT_EQ(EntryName(TTableId::Plan, "CON_COST_YN"), "dbcbPlan_CON_COST_YN");
    EXPECT_EQ(EntryName(TTableId::Main, "OFFICE_CD"), "dblcmbHacSai");
    EXPECT_EQ(EntryName(TTableId::Main, "CON_NAME"), "dbeMain_CON_NAME");
    EXPECT_EQ(EntryName(TTableId::InvSection, "INV_NAME"), "dbeSec_INV_NAME");
}

}  // namespace
