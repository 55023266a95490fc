// Drawing the radar chart with QPainter (no antialiasing) and writing it.
#include "report/radar_chart.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPen>
#include <QString>
#include <cmath>

#include "dataset/file_ops.h"
#include "platform/codepage.h"
#include "report/calculation.h"
#include "report/gif_writer.h"

namespace sarvenu {
namespace {

constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr QRgb kRed = qRgb(255, 0, 0);
// The GIF palette: every colour the chart uses. Text is rendered without
// antialiasing, so no other colour appears.
constexpr QRgb kPalette[] = {kWhite, kBlack, kBlue, kRed};

constexpr int kDotsPerMeter = 3780;  // 96 dots per inch: 11 points = about 15 pixels
constexpr int kFontPoints = 11;
constexpr int kScaleStep = 30;  // pixels per 50 points
constexpr int kHexagonRadius = 60;
// Blank pixels kept between a text and the image's edge.
constexpr int kTextMargin = 2;

// Nearest integer, halves to the even neighbour.
int RoundEven(double x) {
    return static_cast<int>(std::nearbyint(x));
}

// Lines drawn from a current pen position.
class TPenCursor {
  public:
    explicit TPenCursor(QPainter& painter) : painter_(painter) {}
    void MoveTo(QPoint p) { at_ = p; }
    void LineTo(QPoint p) {
        // A line of no length still marks its point.
        if (p == at_) {
            painter_.drawPoint(p);
        } else {
            painter_.drawLine(at_, p);
        }
        at_ = p;
    }
    void Line(QPoint from, QPoint to) {
        MoveTo(from);
        LineTo(to);
    }

  private:
    QPainter& painter_;
    QPoint at_;
};

QPen Pen(QRgb colour, bool dotted = false) {
    QPen pen{QColor(colour)};
    pen.setWidth(1);
    pen.setCosmetic(true);
    pen.setCapStyle(Qt::SquareCap);
    if (dotted) pen.setDashPattern({1, 1});
    return pen;
}

bool HaveFonts() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

// The rectangle a text takes with its top-left corner at p: the advance and
// line height, united with the glyphs' ink, which may reach a little beyond.
QRect TextRect(const QFontMetrics& metrics, QPoint p, const QString& text) {
    const QRect line(p, QSize(metrics.horizontalAdvance(text), metrics.height()));
    return line.united(metrics.boundingRect(text).translated(p + QPoint(0, metrics.ascent())));
}

// How far a rectangle has to move to keep kTextMargin pixels from the
// image's edges, each way at most as far as it sticks out; a text wider than
// the image keeps its left edge in.
QPoint InwardShift(const QRect& rect) {
    const QRect inside(kTextMargin, kTextMargin, kChartWidth - 2 * kTextMargin,
                       kChartHeight - 2 * kTextMargin);
    QPoint shift;
    if (rect.right() > inside.right()) shift.rx() = inside.right() - rect.right();
    if (rect.left() + shift.x() < inside.left()) shift.rx() = inside.left() - rect.left();
    if (rect.bottom() > inside.bottom()) shift.ry() = inside.bottom() - rect.bottom();
    if (rect.top() + shift.y() < inside.top()) shift.ry() = inside.top() - rect.top();
    return shift;
}

// Writes the chart's texts in black and keeps the place of each. The places
// are the chart's layout; near the image's edge the font can make a text
// longer than the layout allows ("品質・出来形" beside axis 3), and such a
// text moves inwards rather than being cut off.
class TTextWriter {
  public:
    explicit TTextWriter(QPainter& painter) : painter_(painter) {}
    void Write(QPoint p, const char* utf8) {
        if (!HaveFonts()) return;
        const QString text = QString::fromUtf8(utf8);
        const QFontMetrics metrics = painter_.fontMetrics();
        QRect rect = TextRect(metrics, p, text);
        const QPoint shift = InwardShift(rect);
        rect.translate(shift);
        const QPen saved = painter_.pen();
        painter_.setPen(Pen(kBlack));
        painter_.drawText(p + shift + QPoint(0, metrics.ascent()), text);
        painter_.setPen(saved);
        texts_.push_back({text, rect});
    }
    std::vector<TChartText>& Texts() { return texts_; }

  private:
    QPainter& painter_;
    std::vector<TChartText> texts_;
};

QFont ChartFont() {
    QFont font;
    font.setFamilies({"Noto Sans CJK JP", "IPAGothic", "IPAexGothic", "Noto Serif CJK JP"});
    font.setPointSize(kFontPoints);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

struct TAxisLabel {
    const char* text;
    QPoint offset;  // from the axis end at the outer radius
};

constexpr TAxisLabel kAxisLabels[6] = {
    {"経済性", {-20, -20}}, {"工　程", {10, -15}}, {"品質・出来形", {10, 0}},
    {"安全性", {-20, 5}},   {"施工性", {-60, 0}},  {"環　境", {-60, -15}},
};

void DrawScale(TTextWriter& writer, TPenCursor& pen) {
    const QPoint c = kChartCentre;
    writer.Write(c + QPoint(-30, -7), ScaleLabel(0).c_str());
    for (int i = 1; i <= 4; ++i) {
        const int r = kScaleStep * i;
        const int a = RoundEven(r * std::sqrt(3.0) / 2);
        const int b = RoundEven(r / 2.0);
        writer.Write(c + QPoint(-30, -r - 8), ScaleLabel(50 * i).c_str());
        pen.Line(c + QPoint(-3, -r), c + QPoint(4, -r));
        pen.Line(c + QPoint(a + 2, -b + 3), c + QPoint(a - 2, -b - 3));
        pen.Line(c + QPoint(a + 2, b - 3), c + QPoint(a - 2, b + 3));
        pen.Line(c + QPoint(3, r), c + QPoint(-4, r));
        pen.Line(c + QPoint(-a + 2, b + 3), c + QPoint(-a - 2, b - 3));
        pen.Line(c + QPoint(-a - 2, -b + 3), c + QPoint(-a + 2, -b - 3));
    }
}

void DrawAxes(TTextWriter& writer, TPenCursor& pen) {
    for (int k = 1; k <= 6; ++k) {
        const QPoint end = AxisPoint(k, kChartOuterRadius);
        pen.Line(kChartCentre, end);
        writer.Write(end + kAxisLabels[k - 1].offset, kAxisLabels[k - 1].text);
    }
}

// The closed hexagon through the axis points at the given radii.
void DrawPolygon(TPenCursor& pen, const std::array<int, 6>& radii) {
    pen.MoveTo(AxisPoint(1, radii[0]));
    for (int k = 2; k <= 6; ++k) pen.LineTo(AxisPoint(k, radii[k - 1]));
    pen.LineTo(AxisPoint(1, radii[0]));
}

}  // namespace

int ChartRadius(const std::string& value) {
    double v = 0;
    if (!ParseNumber(value, &v)) return 0;
    return RoundEven(v / 150 * 90);
}

QPoint AxisPoint(int axis, int radius) {
    const int a = RoundEven(radius * std::sqrt(3.0) / 2);
    const int b = RoundEven(radius / 2.0);
    const QPoint c = kChartCentre;
    switch (axis) {
        case 1:
            return c + QPoint(0, -radius);
        case 2:
            return c + QPoint(a, -b);
        case 3:
            return c + QPoint(a, b);
        case 4:
            return c + QPoint(0, radius);
        case 5:
            return c + QPoint(-a, b);
        case 6:
            return c + QPoint(-a, -b);
        default:
            return c;
    }
}

std::string ScaleLabel(int value) {
    std::string text = std::to_string(value);
    if (text.size() < 3) text.insert(0, 3 - text.size(), ' ');
    return text;
}

namespace {

QImage Render(const TChartValues& values, std::vector<TChartText>* texts) {
    QImage image(kChartWidth, kChartHeight, QImage::Format_RGB32);
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
    image.fill(kWhite);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    if (HaveFonts()) painter.setFont(ChartFont());
    painter.setPen(Pen(kBlack));
    TPenCursor pen(painter);
    TTextWriter writer(painter);
    const QPoint c = kChartCentre;

    DrawScale(writer, pen);
    DrawAxes(writer, pen);

    // Conventional technology: 100 on every axis.
    painter.setPen(Pen(kBlue, true));
    pen.Line(c + QPoint(60, 90), c + QPoint(90, 90));
    writer.Write(c + QPoint(92, 83), "従来技術");
    DrawPolygon(pen, {kHexagonRadius, kHexagonRadius, kHexagonRadius, kHexagonRadius,
                      kHexagonRadius, kHexagonRadius});

    // New technology.
    painter.setPen(Pen(kRed));
    pen.Line(c + QPoint(60, 107), c + QPoint(90, 107));
    writer.Write(c + QPoint(92, 100), "新技術");
    std::array<int, 6> radii{};
    for (size_t k = 0; k < radii.size(); ++k) radii[k] = ChartRadius(values[k]);
    DrawPolygon(pen, radii);

    painter.end();
    if (texts) *texts = std::move(writer.Texts());
    return image;
}

}  // namespace

QImage DrawRadarChartImage(const TChartValues& values) {
    return Render(values, nullptr);
}

std::vector<TChartText> ChartTexts() {
    std::vector<TChartText> texts;
    Render({}, &texts);
    return texts;
}

bool DrawRadarChart(const TChartValues& values, const std::string& gifPath, std::string* error) {
    std::string bytes;
    std::string reason;
    if (EncodeGif(DrawRadarChartImage(values), kPalette, &bytes, &reason) &&
        fileops::WriteFileAtomic(gifPath, bytes, &reason)) {
        return true;
    }
    if (error) {
        // The reason is in the file-system encoding, as is the path.
        *error = platform::Utf8ToCp932("グラフ画像ファイル「" + gifPath +
                                       "」を書き込めませんでした。(" + reason + ")");
    }
    return false;
}

}  // namespace sarvenu
