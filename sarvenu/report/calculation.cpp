// Module Calculation: rounding, ratio and item points, means, picture height.
#include "report/calculation.h"

#include <cmath>
#include <filesystem>
#include <system_error>

#include "records/image_size.h"
#include "report/exact_number.h"

namespace sarvenu {
namespace {

using TExact = std::optional<TExactNumber>;

constexpr int kMaxPoint = 200;
constexpr double kMissingPictureHeight = 160;

// Checks both texts or reports the first failure.
bool BothAreNumbers(const std::string& a, const std::string& b, double* x, double* y,
                    const TNumberErrorSink& onError) {
    if (ParseNumber(a, x) && ParseNumber(b, y)) return true;
    if (onError) onError(NumberErrorMessage());
    return false;
}

// Mean of the non-empty number texts, exactly when the sum fits; nothing
// when there is no number.
struct TMean {
    TExact exact;
    double approximate = 0;
};
std::optional<TMean> MeanOfTexts(std::span<const std::string> texts) {
    double sum = 0;
    TExact exactSum = TExactNumber::Whole(0);
    int count = 0;
    for (const std::string& text : texts) {
        double value = 0;
        if (text.empty() || !ParseNumber(text, &value)) continue;
        sum += value;
        const TExact exact = TExactNumber::FromText(text);
        exactSum = exactSum && exact ? exactSum->Plus(*exact) : std::nullopt;
        ++count;
    }
    if (count == 0) return std::nullopt;
    TMean mean;
    mean.approximate = sum / count;
    if (exactSum) mean.exact = exactSum->DividedBy(TExactNumber::Whole(count));
    return mean;
}

// The text of a value rounded at the n-th decimal place: exact when the value
// is, else by the same rule on doubles.
std::string RoundedText(int n, const TExact& exact, double approximate) {
    if (exact) {
        if (const TExact rounded = exact->RoundedAtDecimal(n)) return rounded->Text();
    }
    return NumberText(RoundAtDecimal(n, approximate));
}

// A point already rounded to one decimal, clamped to 0..200 and rounded to
// whole; approximate() computes the same value with doubles, called only when
// the exact value could not be had.
template <typename Approximate>
std::string ClampedPointText(const TExact& exact, const Approximate& approximate) {
    if (exact) {
        if (exact->IsNegative()) return "0";
        const TExact over = exact->Minus(TExactNumber::Whole(kMaxPoint));
        if (over && !over->IsNegative()) return std::to_string(kMaxPoint);
        const TExact whole = over ? exact->RoundedAtDecimal(1) : std::nullopt;
        if (whole) return whole->Text();
    }
    return NumberText(ClampPoint(kMaxPoint, approximate()));
}

}  // namespace

double RoundAtDecimal(int n, double x) {
    // Rounding the decimal the double stands for: 97.45 is 97.4499999... in
    // binary and would round down.
    if (const TExact exact = TExactNumber::FromDouble(x)) {
        if (const TExact rounded = exact->RoundedAtDecimal(n)) {
            double value = 0;
            if (ParseNumber(rounded->Text(), &value)) return value;
        }
    }
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
    if (!BothAreNumbers(a, b, &x, &y, onError)) return "";
    const TExact left = TExactNumber::FromText(a);
    const TExact right = TExactNumber::FromText(b);
    const TExact difference = left && right ? left->Minus(*right) : std::nullopt;
    const std::string text = difference ? difference->Text() : NumberText(x - y);
    if (text.empty() && onError) onError(NumberErrorMessage());  // overflowed
    return text;
}

std::string RatioPoint(const std::string& difference, const std::string& conventional,
                       const TNumberErrorSink& onError) {
    double d = 0;
    double c = 0;
    if (!BothAreNumbers(difference, conventional, &d, &c, onError)) return "";
    if (c == 0) return "0";
    const TExact exactD = TExactNumber::FromText(difference);
    const TExact exactC = TExactNumber::FromText(conventional);
    const TExact ratio = exactD && exactC ? exactD->DividedBy(*exactC) : std::nullopt;
    const TExact percent = ratio ? ratio->Times(TExactNumber::Whole(100)) : std::nullopt;
    const TExact r = percent ? percent->Plus(TExactNumber::Whole(100)) : std::nullopt;
    return ClampedPointText(r ? r->RoundedAtDecimal(2) : std::nullopt,
                            [&] { return RoundAtDecimal(2, 100 + 100 * d / c); });
}

std::string ItemPoint(int sum, int count) {
    if (count == 0) return "0";
    const TExact share = TExactNumber::Whole(50L * sum).DividedBy(TExactNumber::Whole(count));
    const TExact t = share ? share->RoundedAtDecimal(2) : std::nullopt;
    return ClampedPointText(t ? t->Plus(TExactNumber::Whole(100)) : std::nullopt,
                            [&] { return RoundAtDecimal(2, 50.0 * sum / count) + 100; });
}

std::string MeanOfTwo(const std::string& a, const std::string& b) {
    const std::string texts[] = {a, b};
    const std::optional<TMean> mean = MeanOfTexts(texts);
    return mean ? RoundedText(1, mean->exact, mean->approximate) : "";
}

std::string MeanOfSix(std::span<const std::string> texts) {
    const std::optional<TMean> mean = MeanOfTexts(texts);
    return mean ? RoundedText(2, mean->exact, mean->approximate) : "";
}

std::string MeanOfSum(int count, double sum) {
    if (count <= 0) return "";
    const TExact exactSum = TExactNumber::FromDouble(sum);
    const TExact mean = exactSum ? exactSum->DividedBy(TExactNumber::Whole(count)) : std::nullopt;
    return RoundedText(2, mean, sum / count);
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
