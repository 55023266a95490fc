// Picture loading: JPEG through libjpeg in colour, grey and CMYK; damaged,
// missing and oversized files giving no picture; GIF through Qt; the format
// taken from the content, not the name.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <jpeglib.h>

#include "shell/picture_image.h"
#include "shell/tests/qt_app.h"
#include "test_support/test_support.h"

namespace {

namespace fs = std::filesystem;
using sarvenu::DecodeJpegFile;
using sarvenu::LoadPicture;

// A 1 x 1 GIF with the palette red, black.
const char kRedGif[] =
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00"
    ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;";

// A JPEG written by libjpeg from one colour: 3 components (RGB), 1 (grey) or
// 4 (CMYK, stored the Adobe way: 255 is no ink).
std::string Jpeg(int width, int height, std::vector<unsigned char> colour) {
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = static_cast<int>(colour.size());
    info.in_color_space = colour.size() == 1   ? JCS_GRAYSCALE
                          : colour.size() == 4 ? JCS_CMYK
                                               : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row;
    for (int x = 0; x < width; ++x) row.insert(row.end(), colour.begin(), colour.end());
    while (info.next_scanline < info.image_height) {
        JSAMPROW line = row.data();
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    std::string bytes(reinterpret_cast<char*>(out), size);
    jpeg_destroy_compress(&info);
    std::free(out);
    return bytes;
}

bool Near(QRgb pixel, int r, int g, int b) {
    return std::abs(qRed(pixel) - r) < 12 && std::abs(qGreen(pixel) - g) < 12 &&
           std::abs(qBlue(pixel) - b) < 12;
}

class PictureTest : public ::testing::Test {
  protected:
    void SetUp() override { window_test::EnsureQtApp(); }
    std::string Write(const std::string& name, const std::string& bytes) {
        const fs::path path = dir / name;
        sarvenu_test::WriteBytes(path, bytes);
        return path.string();
    }
    sarvenu_test::TempDir temp{"sarvenu_pictures"};
    const fs::path dir{temp.path()};
};

TEST_F(PictureTest, GoodJpegsDecodeInColourGreyAndCmyk) {
    const QImage colour = LoadPicture(Write("a.jpg", Jpeg(40, 30, {200, 30, 40})));
    ASSERT_FALSE(colour.isNull());
    EXPECT_EQ(colour.size(), QSize(40, 30));
    EXPECT_TRUE(Near(colour.pixel(20, 15), 200, 30, 40));

    const QImage grey = DecodeJpegFile(Write("g.jpg", Jpeg(16, 8, {90})));
    ASSERT_FALSE(grey.isNull());
    EXPECT_EQ(grey.size(), QSize(16, 8));
    EXPECT_TRUE(Near(grey.pixel(3, 3), 90, 90, 90));

    const QImage cmyk = DecodeJpegFile(Write("c.jpg", Jpeg(8, 8, {255, 0, 0, 255})));
    ASSERT_FALSE(cmyk.isNull());
    EXPECT_TRUE(Near(cmyk.pixel(4, 4), 255, 0, 0)) << "full magenta and yellow ink is red";
}

TEST_F(PictureTest, DamagedMissingAndOversizedJpegsGiveNoPicture) {
    const std::string good = Jpeg(64, 64, {10, 120, 200});
    EXPECT_TRUE(DecodeJpegFile(Write("half.jpg", good.substr(0, good.size() / 2))).isNull())
        << "truncated in the scan";
    EXPECT_TRUE(DecodeJpegFile(Write("head.jpg", good.substr(0, 40))).isNull())
        << "truncated in the headers";
    std::string marker = good;
    marker.insert(marker.size() - 40, "\xFF\xD3");  // a restart marker nobody asked for
    EXPECT_TRUE(DecodeJpegFile(Write("marker.jpg", marker)).isNull()) << "corrupt scan data";
    std::string garbage = good;
    for (size_t i = 2; i < 200; ++i) garbage[i] = static_cast<char>(i * 37);
    EXPECT_TRUE(LoadPicture(Write("garbage.jpg", garbage)).isNull()) << "corrupt headers";
    EXPECT_TRUE(LoadPicture((dir / "missing.jpg").string()).isNull());

    // A frame of 65535 x 65535 is refused before any pixel memory is taken.
    std::string huge = good;
    const size_t frame = huge.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    for (size_t i = frame + 5; i < frame + 9; ++i) huge[i] = '\xFF';
    EXPECT_TRUE(DecodeJpegFile(Write("huge.jpg", huge)).isNull());
}

TEST_F(PictureTest, GifGoesThroughQtAndTheContentDecidesTheFormat) {
    const std::string gif(kRedGif, sizeof kRedGif - 1);
    const QImage image = LoadPicture(Write("red.gif", gif));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(1, 1));
    EXPECT_TRUE(Near(image.pixel(0, 0), 255, 0, 0));

    EXPECT_FALSE(LoadPicture(Write("named.gif", Jpeg(4, 4, {0, 0, 0}))).isNull())
        << "a JPEG named .gif";
    EXPECT_FALSE(LoadPicture(Write("named.jpg", gif)).isNull()) << "a GIF named .jpg";
    EXPECT_TRUE(LoadPicture(Write("text.gif", "GIF89a but nothing else")).isNull());
}

}  // namespace
