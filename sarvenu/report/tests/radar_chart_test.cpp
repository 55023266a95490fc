// The radar chart: geometry, the pixels of the written GIF, write failures.
#include "report/radar_chart.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <fstream>
#include <iterator>
#include <memory>

#include "dataset/file_ops.h"
#include "report/gif_writer.h"
#include "test_support/test_support.h"

namespace sarvenu {
namespace {

// The labels need fonts, which need a GUI application; one for all tests.
void EnsureGuiApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    static int argc = 1;
    static char name[] = "sarvenu_report_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

enum class TColour { White, Black, Blue, Red, Other };

// A GIF file decoded with giflib.
class TDecodedGif {
  public:
    explicit TDecodedGif(const std::string& path) {
        int code = 0;
        gif_ = DGifOpenFileName(path.c_str(), &code);
        if (gif_ != nullptr && DGifSlurp(gif_) != GIF_OK) Close();
    }
    ~TDecodedGif() { Close(); }
    TDecodedGif(const TDecodedGif&) = delete;
    TDecodedGif& operator=(const TDecodedGif&) = delete;

    bool ok() const { return gif_ != nullptr && gif_->ImageCount == 1; }
    int width() const { return gif_->SWidth; }
    int height() const { return gif_->SHeight; }
    int paletteSize() const { return gif_->SColorMap ? gif_->SColorMap->ColorCount : 0; }

    TColour At(int x, int y) const {
        const SavedImage& image = gif_->SavedImages[0];
        const ColorMapObject* map =
            image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif_->SColorMap;
        const GifColorType c = map->Colors[image.RasterBits[y * image.ImageDesc.Width + x]];
        if (c.Red == 255 && c.Green == 255 && c.Blue == 255) return TColour::White;
        if (c.Red == 0 && c.Green == 0 && c.Blue == 0) return TColour::Black;
        if (c.Red == 0 && c.Green == 0 && c.Blue == 255) return TColour::Blue;
        if (c.Red == 255 && c.Green == 0 && c.Blue == 0) return TColour::Red;
        return TColour::Other;
    }
    TColour At(QPoint p) const { return At(p.x(), p.y()); }

    // Pixels of a colour inside a rectangle (inclusive corners).
    int Count(TColour colour, int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) n += At(x, y) == colour;
        return n;
    }
    int Count(TColour colour) const { return Count(colour, 0, 0, width() - 1, height() - 1); }

  private:
    void Close() {
        if (gif_ != nullptr) DGifCloseFile(gif_, nullptr);
        gif_ = nullptr;
    }
    GifFileType* gif_ = nullptr;
};

class RadarChartTest : public ::testing::Test {
  protected:
    void SetUp() override { EnsureGuiApplication(); }
    // Draws values into Graph.gif and decodes it.
    std::unique_ptr<TDecodedGif> Draw(const TChartValues& values) {
        const std::string path = dir_.File(kChartFileName);
        std::string error;
        EXPECT_TRUE(DrawRadarChart(values, path, &error)) << error;
        auto gif = std::make_unique<TDecodedGif>(path);
        EXPECT_TRUE(gif->ok());
        return gif;
    }
    sarvenu_test::TempDir dir_;
};

const QPoint C = kChartCentre;
constexpr int kLegendBlueY = 143 + 90;
constexpr int kLegendRedY = 143 + 107;

TEST(RadarGeometryTest, RadiiAxesAndScaleLabels) {
    EXPECT_EQ(ChartRadius("100"), 60);
    EXPECT_EQ(ChartRadius("200"), 120);
    EXPECT_EQ(ChartRadius("50"), 30);
    EXPECT_EQ(ChartRadius("114.5"), 69);  // 68.7
    EXPECT_EQ(ChartRadius("2.5"), 2);     // 1.5: halves go to the even neighbour
    EXPECT_EQ(ChartRadius("7.5"), 4);     // 4.5
    EXPECT_EQ(ChartRadius(""), 0);
    EXPECT_EQ(ChartRadius("abc"), 0);

    EXPECT_EQ(AxisPoint(1, 120), QPoint(173, 23));
    EXPECT_EQ(AxisPoint(2, 120), QPoint(277, 83));
    EXPECT_EQ(AxisPoint(3, 120), QPoint(277, 203));
    EXPECT_EQ(AxisPoint(4, 120), QPoint(173, 263));
    EXPECT_EQ(AxisPoint(5, 120), QPoint(69, 203));
    EXPECT_EQ(AxisPoint(6, 120), QPoint(69, 83));
    EXPECT_EQ(AxisPoint(2, 30), QPoint(173 + 26, 143 - 15));
    EXPECT_EQ(AxisPoint(6, 90), QPoint(173 - 78, 143 - 45));
    EXPECT_EQ(AxisPoint(3, 69), QPoint(173 + 60, 143 + 34));  // b = 34.5 -> 34

    EXPECT_EQ(ScaleLabel(0), "  0");
    EXPECT_EQ(ScaleLabel(50), " 50");
    EXPECT_EQ(ScaleLabel(100), "100");
    EXPECT_EQ(ScaleLabel(1000), "1000");
}

TEST_F(RadarChartTest, FrameAxesTicksAndLegend) {
    auto gif = Draw({"", "", "", "", "", ""});
    ASSERT_TRUE(gif->ok());
    EXPECT_EQ(gif->width(), 375);
    EXPECT_EQ(gif->height(), 290);
    EXPECT_EQ(gif->paletteSize(), 4);
    EXPECT_EQ(gif->Count(TColour::Other), 0);

    std::ifstream file(dir_.File(kChartFileName), std::ios::binary);
    std::string header(6, '\0');
    file.read(header.data(), 6);
    EXPECT_EQ(header, "GIF89a");

    // The axes reach radius 120 and pass within a pixel of radius 100.
    for (int k = 1; k <= 6; ++k) {
        EXPECT_EQ(gif->At(AxisPoint(k, 120)), TColour::Black) << "axis " << k;
        const QPoint p = AxisPoint(k, 100);
        EXPECT_GT(gif->Count(TColour::Black, p.x() - 1, p.y() - 1, p.x() + 1, p.y() + 1), 0)
            << "axis " << k;
    }
    EXPECT_EQ(gif->At(173, 22), TColour::White);  // nothing beyond the end of axis 1
    // Ticks at 30, 60, 90 and 120 pixels: ends of the short crossing lines.
    for (int r : {30, 60, 90, 120}) {
        const int a = AxisPoint(2, r).x() - C.x();
        const int b = C.y() - AxisPoint(2, r).y();
        EXPECT_EQ(gif->At(C.x() - 3, C.y() - r), TColour::Black) << r;
        EXPECT_EQ(gif->At(C.x() + 4, C.y() - r), TColour::Black) << r;
        EXPECT_EQ(gif->At(C.x() + a + 2, C.y() - b + 3), TColour::Black) << r;
        EXPECT_EQ(gif->At(C.x() + a - 2, C.y() + b + 3), TColour::Black) << r;
        EXPECT_EQ(gif->At(C.x() - 4, C.y() + r), TColour::Black) << r;
        EXPECT_EQ(gif->At(C.x() - a - 2, C.y() + b - 3), TColour::Black) << r;
        EXPECT_EQ(gif->At(C.x() - a + 2, C.y() - b - 3), TColour::Black) << r;
    }
    EXPECT_EQ(gif->At(C.x() - 5, C.y() - 30), TColour::White);  // ticks are 8 pixels

    // The dotted blue legend line and the solid red one.
    const int blueLegend =
        gif->Count(TColour::Blue, C.x() + 60, kLegendBlueY, C.x() + 90, kLegendBlueY);
    EXPECT_GT(blueLegend, 8);
    EXPECT_LT(blueLegend, 31);  // dotted: gaps between the dots
    EXPECT_EQ(gif->Count(TColour::Red, C.x() + 60, kLegendRedY, C.x() + 90, kLegendRedY), 31);

    // The dotted hexagon at radius 60: dots on the edge from axis 1 to axis 2.
    EXPECT_GT(gif->Count(TColour::Blue, C.x(), C.y() - 60, C.x() + 52, C.y() - 30), 15);

    // Every value empty: the new technology collapses to the centre.
    EXPECT_EQ(gif->At(C), TColour::Red);
    EXPECT_EQ(gif->Count(TColour::Red), 31 + 1);

    // Labels: text above axis 1, beside axis 6, the scale at 100 and the legend.
    EXPECT_GT(gif->Count(TColour::Black, 153, 3, 200, 22), 20);
    EXPECT_GT(gif->Count(TColour::Black, 9, 68, 60, 90), 20);
    EXPECT_GT(gif->Count(TColour::Black, 143, 75, 170, 92), 10);
    EXPECT_GT(gif->Count(TColour::Black, C.x() + 92, C.y() + 83, 374, C.y() + 99), 20);
}

TEST_F(RadarChartTest, EveryTextLiesWhollyInsideTheImage) {
    const std::vector<TChartText> texts = ChartTexts();
    ASSERT_EQ(texts.size(), 13u);  // five scale labels, six axis labels, two legends
    const QRect image(2, 2, kChartWidth - 4, kChartHeight - 4);  // clear of the edges
    const TChartText* quality = nullptr;
    for (const TChartText& text : texts) {
        EXPECT_TRUE(image.contains(text.rect))
            << text.text.toStdString() << " at " << text.rect.x() << "," << text.rect.y() << " "
            << text.rect.width() << "x" << text.rect.height();
        EXPECT_GT(text.rect.width(), 0) << text.text.toStdString();
        if (text.text == QString::fromUtf8("品質・出来形")) quality = &text;
    }
    ASSERT_NE(quality, nullptr);
    // Moved in from the right edge, it still stays clear of axis 3 and its tick,
    // on the row its place gives it.
    const QPoint end = AxisPoint(3, kChartOuterRadius);
    EXPECT_GT(quality->rect.left(), end.x() + 2);
    EXPECT_EQ(quality->rect.top(), end.y());

    auto gif = Draw({"", "", "", "", "", ""});
    ASSERT_TRUE(gif->ok());
    // The measured rectangle holds what is drawn: right of axis 3's end only
    // that label is drawn, and every one of its pixels lies in the rectangle.
    const int right = kChartWidth - 1;
    const int labelPixels = gif->Count(TColour::Black, end.x() + 4, end.y() - 15, right, 224);
    EXPECT_GT(labelPixels, 40);
    EXPECT_EQ(gif->Count(TColour::Black, quality->rect.left(), quality->rect.top(),
                         quality->rect.right(), quality->rect.bottom()),
              labelPixels);
    // Nothing touches the image's border, where a text would have been cut.
    EXPECT_EQ(gif->Count(TColour::Black, right, 0, right, kChartHeight - 1), 0);
    EXPECT_EQ(gif->Count(TColour::Black, 0, 0, 0, kChartHeight - 1), 0);
    EXPECT_EQ(gif->Count(TColour::Black, 0, 0, right, 0), 0);
    EXPECT_EQ(gif->Count(TColour::Black, 0, kChartHeight - 1, right, kChartHeight - 1), 0);
}

TEST_F(RadarChartTest, HundredEverywhereCoversTheConventionalHexagon) {
    auto gif = Draw({"100", "100", "100", "100", "100", "100"});
    ASSERT_TRUE(gif->ok());
    for (int k = 1; k <= 6; ++k) {
        EXPECT_EQ(gif->At(AxisPoint(k, 60)), TColour::Red) << "axis " << k;
    }
    // The red polygon lies on every blue dot: only the legend stays blue.
    const int blueOutsideLegend =
        gif->Count(TColour::Blue) - gif->Count(TColour::Blue, 0, kLegendBlueY, 374, kLegendBlueY);
    EXPECT_EQ(blueOutsideLegend, 0);
    EXPECT_EQ(gif->At(C), TColour::Black);  // the axes meet there; no red
}

TEST_F(RadarChartTest, ValuesAtTheirRadii) {
    auto gif = Draw({"114.5", "200", "", "50", "not a number", ""});
    ASSERT_TRUE(gif->ok());
    // 114.5 lies at radius 69, right after the black axis beyond it.
    EXPECT_EQ(gif->At(173, 143 - 69), TColour::Red);
    EXPECT_EQ(gif->At(173, 143 - 70), TColour::Black);
    // 200 reaches the end of axis 2.
    EXPECT_EQ(gif->At(AxisPoint(2, 120)), TColour::Red);
    // 50 on axis 4 lies on the first tick, whose ends stay black.
    EXPECT_EQ(gif->At(173, 173), TColour::Red);
    EXPECT_EQ(gif->At(170, 173), TColour::Black);
    // Empty and unconvertible values pull the polygon to the centre.
    EXPECT_EQ(gif->At(C), TColour::Red);
    EXPECT_NE(gif->At(AxisPoint(5, 60)), TColour::Red);
}

TEST_F(RadarChartTest, AllEmptyValuesCollapseToTheCentre) {
    auto gif = Draw({"", "", "", "", "", ""});
    ASSERT_TRUE(gif->ok());
    // The polygon is a point: nothing red anywhere along the axes.
    for (int k = 1; k <= 6; ++k)
        for (int radius : {10, 60, 120})
            EXPECT_NE(gif->At(AxisPoint(k, radius)), TColour::Red) << k;
    EXPECT_LE(gif->Count(TColour::Red) -
                  gif->Count(TColour::Red, C.x() + 60, kLegendRedY, C.x() + 90, kLegendRedY),
              1);
}

TEST_F(RadarChartTest, ReplacesAnExistingFile) {
    auto first = Draw({"200", "200", "200", "200", "200", "200"});
    EXPECT_EQ(first->At(AxisPoint(4, 120)), TColour::Red);
    auto second = Draw({"", "", "", "", "", ""});
    EXPECT_EQ(second->At(AxisPoint(4, 120)), TColour::Black);
}

TEST_F(RadarChartTest, WriteFailuresAreReported) {
    std::string error;
    EXPECT_FALSE(
        DrawRadarChart({"100", "", "", "", "", ""}, dir_.File("missing/Graph.gif"), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fileops::FileExists(dir_.File("missing/Graph.gif")));

    // A failing write leaves the previous chart as it was, with no leftovers.
    const std::string path = dir_.File(kChartFileName);
    ASSERT_TRUE(DrawRadarChart({"", "", "", "", "", ""}, path));
    std::string before;
    ASSERT_TRUE(fileops::ReadFile(path, &before));
    {
        fileops::ScopedFaultPlan plan({.failAfter = 2, .failPath = ""});
        error.clear();
        EXPECT_FALSE(DrawRadarChart({"200", "200", "200", "200", "200", "200"}, path, &error));
        EXPECT_FALSE(error.empty());
    }
    std::string after;
    ASSERT_TRUE(fileops::ReadFile(path, &after));
    EXPECT_EQ(after, before);
    EXPECT_EQ(fileops::ListFiles(dir_.File(""), "*").size(), 1u);
}

TEST(GifWriterTest, FixedPaletteMapping) {
    const QRgb palette[] = {qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(0, 0, 255), qRgb(255, 0, 0)};
    EXPECT_EQ(PaletteIndex(qRgb(0, 0, 255), palette), 2);
    EXPECT_EQ(PaletteIndex(qRgb(255, 0, 0), palette), 3);
    EXPECT_EQ(PaletteIndex(qRgb(40, 40, 40), palette), 1);     // dark grey -> black
    EXPECT_EQ(PaletteIndex(qRgb(230, 230, 230), palette), 0);  // light grey -> white
    EXPECT_EQ(PaletteIndex(qRgb(200, 30, 20), palette), 3);

    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(qRgb(255, 255, 255));
    image.setPixel(1, 1, qRgb(250, 5, 5));
    std::string bytes;
    std::string error;
    ASSERT_TRUE(EncodeGif(image, palette, &bytes, &error)) << error;
    EXPECT_EQ(bytes.substr(0, 6), "GIF89a");
    EXPECT_EQ(bytes.back(), ';');  // trailer

    // Three colours cannot form a GIF colour table.
    bytes = "untouched";
    EXPECT_FALSE(EncodeGif(image, std::span(palette, 3), &bytes, &error));
    EXPECT_EQ(bytes, "untouched");
    EXPECT_FALSE(EncodeGif(QImage(), palette, &bytes, &error));
}

}  // namespace
}  // namespace sarvenu
