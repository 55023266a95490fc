// Module Calculation: rounding, ratio and item points, means, picture height.
#include "report/calculation.h"

#include <cmath>
#include <filesystem>
#include <system_error>

#include "records/image_size.h"

namespace sarvenu {
namespace {

// Converts both texts or reports the first failure.
bool ParseBoth(const std::string& a, const std::string& b, double* x, double* y,
               const TNumberErrorSink& onError) {
    if (ParseNumber(a, x) && ParseNumber(b, y)) return true;
    if (onError) onError(NumberErrorMessage());
    return false;
}

// Mean of the non-empty number texts; false when there is none.
bool MeanOfTexts(std::span<const std::string> texts, double* mean) {
    double sum = 0;
    int count = 0;
    for (const std::string& text : texts) {
        double value = 0;
        if (text.empty() || !ParseNumber(text, &value)) continue;
        sum += value;
        ++count;
    }
    if (count == 0) return false;
    *mean = sum / count;
    return true;
}

constexpr int kMaxPoint = 200;
constexpr double kMissingPictureHeight = 160;

}  // namespace

double RoundAtDecimal(int n, double x) {
    const double m = std::pow(10.0, n - 1);
    return std::trunc(x * m + 0.5) / m;
}

double ClampPoint(int upper, double x) {
    double value = x;
    if (!(value >= 0)) value = 0;  // negative or not a number
    if (value > upper) value = upper;
    return RoundAtDecimal(1, value);
}

std::string DifferenceText(const std::string& a, const std::string& b,
                           const TNumberErrorSink& onError) {
    double x = 0;
    double y = 0;
    if (!ParseBoth(a, b, &x, &y, onError)) return "";
    const std::string text = NumberText(x - y);
    if (text.empty() && onError) onError(NumberErrorMessage());  // overflowed
    return text;
}

std::string RatioPoint(const std::string& difference, const std::string& conventional,
                       const TNumberErrorSink& onError) {
    double d = 0;
    double c = 0;
    if (!ParseBoth(difference, conventional, &d, &c, onError)) return "";
    if (c == 0) return "0";
    const double r = RoundAtDecimal(2, 100 + 100 * d / c);
    return NumberText(ClampPoint(kMaxPoint, r));
}

std::string ItemPoint(int sum, int count) {
    if (count == 0) return "0";
    const double t = RoundAtDecimal(2, 50.0 * sum / count);
    return NumberText(ClampPoint(kMaxPoint, t + 100));
}

std::string MeanOfTwo(const std::string& a, const std::string& b) {
    const std::string texts[] = {a, b};
    double mean = 0;
    if (!MeanOfTexts(texts, &mean)) return "";
    return NumberText(RoundAtDecimal(1, mean));
}

std::string MeanOfSix(std::span<const std::string> texts) {
    double mean = 0;
    if (!MeanOfTexts(texts, &mean)) return "";
    return NumberText(RoundAtDecimal(2, mean));
}

std::string MeanOfSum(int count, double sum) {
    if (count <= 0) return "";
    return NumberText(RoundAtDecimal(2, sum / count));
}

double PictureHeight(const std::string& path, double width) {
    std::error_code error;
    const std::filesystem::path file(path);
    if (!std::filesystem::exists(file, error) || std::filesystem::is_directory(file, error)) {
        return kMissingPictureHeight;
    }
    const int pixelWidth = GetImageWidth(path);
    const int pixelHeight = GetImageHeight(path);
    if (pixelWidth <= 0) return kMissingPictureHeight;  // size unreadable: no proportions
    return RoundAtDecimal(1, width * pixelHeight / pixelWidth);
}

}  // namespace sarvenu
