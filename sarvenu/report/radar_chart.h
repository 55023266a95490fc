// The radar chart of a work's six aspect averages: a hexagonal chart with the
// new technology as a red polygon against the conventional technology, which
// scores 100 everywhere and is drawn as a dotted blue hexagon. The report
// preview draws it before showing a totals form and writes it as the GIF file
// the page refers to.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <array>
#include <string>
#include <vector>

namespace sarvenu {

// The file name the report pages refer to, in the HTML directory.
inline constexpr const char* kChartFileName = "Graph.gif";

inline constexpr int kChartWidth = 375;
inline constexpr int kChartHeight = 290;
inline constexpr QPoint kChartCentre{173, 143};
inline constexpr int kChartOuterRadius = 120;

// Chart values in axis order: cost point, process point, then the quality,
// safety, construct and environment averages. Number texts on the 0..200
// scale; an empty text or one that is not a number lies at the centre.
using TChartValues = std::array<std::string, 6>;

// The radius of a value: 30 pixels per 50 points, to the nearest pixel with
// halves to even (100 -> 60, 114.5 -> 69); 0 for a text that is not a number.
int ChartRadius(const std::string& value);
// The end of axis 1..6 (clockwise from straight up) at a radius.
QPoint AxisPoint(int axis, int radius);
// A scale label: the whole number padded on the left with spaces to three
// characters ("  0", " 50", "100").
std::string ScaleLabel(int value);

// A text of the chart (axis label, scale label or legend) and the rectangle
// it is drawn in: its advance and line height united with its glyphs' ink,
// as measured with the chart's font. A text whose place near the edge would
// cut it off is moved inwards until the whole rectangle lies in the image,
// two pixels clear of its edges.
struct TChartText {
    QString text;
    QRect rect;
};
// The chart's texts in drawing order; empty without a running QGuiApplication.
std::vector<TChartText> ChartTexts();

// Draws the chart. The texts (labels, scale, legend) need a running
// QGuiApplication for the fonts; without one the chart is drawn without them.
QImage DrawRadarChartImage(const TChartValues& values);

// Draws the chart and writes it as a GIF file at gifPath (file-system
// encoding), replacing any file there atomically. On failure returns false
// with a code page 932 message in *error; an existing file stays as it was.
bool DrawRadarChart(const TChartValues& values, const std::string& gifPath,
                    std::string* error = nullptr);

}  // namespace sarvenu
