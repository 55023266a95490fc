// Exact fractions for the evaluation points: parsing, checked arithmetic,
// half-up rounding and the shortest text.
#include "report/exact_number.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "report/calculation.h"

namespace sarvenu {
namespace {

using Int = __int128;

// Digits beyond this are not taken exactly; 10^36 leaves room below 2^127
// for the products of the point formulas to be detected as overflow.
constexpr int kMaxDigits = 36;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::optional<Int> PowerOfTen(int exponent) {
    if (exponent < 0 || exponent > kMaxDigits) return std::nullopt;
    Int value = 1;
    for (int i = 0; i < exponent; ++i) value *= 10;
    return value;
}

std::optional<Int> Multiply(Int a, Int b) {
    Int product = 0;
    if (__builtin_mul_overflow(a, b, &product)) return std::nullopt;
    return product;
}

std::optional<Int> Add(Int a, Int b) {
    Int sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) return std::nullopt;
    return sum;
}

Int Magnitude(Int value) {
    return value < 0 ? -value : value;
}

Int GreatestCommonDivisor(Int a, Int b) {
    a = Magnitude(a);
    b = Magnitude(b);
    while (b != 0) {
        const Int rest = a % b;
        a = b;
        b = rest;
    }
    return a;
}

std::string DigitsOf(Int value) {
    if (value == 0) return "0";
    std::string digits;
    for (; value > 0; value /= 10)
        digits.insert(digits.begin(), static_cast<char>('0' + value % 10));
    return digits;
}

}  // namespace

TExactNumber::TExactNumber(Int numerator, Int denominator)
    : numerator_(numerator), denominator_(denominator) {}

std::optional<TExactNumber> TExactNumber::Make(Int numerator, Int denominator) {
    if (denominator == 0) return std::nullopt;
    if (denominator < 0) {
        numerator = -numerator;
        denominator = -denominator;
    }
    const Int divisor = GreatestCommonDivisor(numerator, denominator);
    if (divisor > 1) {
        numerator /= divisor;
        denominator /= divisor;
    }
    return TExactNumber(numerator, denominator);
}

TExactNumber TExactNumber::Whole(int64_t value) {
    return TExactNumber(value, 1);
}

std::optional<TExactNumber> TExactNumber::FromText(const std::string& text) {
    double ignored = 0;
    if (!ParseNumber(text, &ignored)) return std::nullopt;  // the grammar check
    size_t i = 0;
    const bool negative = text[0] == '-';
    if (text[0] == '+' || text[0] == '-') ++i;
    Int mantissa = 0;
    int digits = 0;  // significant digits taken into the mantissa
    int scale = 0;   // decimal places of the mantissa
    bool afterPoint = false;
    for (; i < text.size() && (IsDigit(text[i]) || text[i] == '.'); ++i) {
        if (text[i] == '.') {
            afterPoint = true;
            continue;
        }
        if (mantissa != 0 || text[i] != '0') ++digits;
        if (digits > kMaxDigits) return std::nullopt;
        mantissa = mantissa * 10 + (text[i] - '0');
        if (afterPoint) ++scale;
    }
    if (i < text.size()) {  // exponent; ParseNumber accepted its form
        int exponent = 0;
        const char* first = text.data() + i + 1;
        if (*first == '+') ++first;
        const auto [end, error] = std::from_chars(first, text.data() + text.size(), exponent);
        if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
        if (exponent < -kMaxDigits || exponent > kMaxDigits) return std::nullopt;
        scale -= exponent;
    }
    if (negative) mantissa = -mantissa;
    if (scale < 0) {
        const std::optional<Int> factor = PowerOfTen(-scale);
        if (!factor) return std::nullopt;
        const std::optional<Int> whole = Multiply(mantissa, *factor);
        if (!whole) return std::nullopt;
        return Make(*whole, 1);
    }
    const std::optional<Int> denominator = PowerOfTen(scale);
    if (!denominator) return std::nullopt;
    return Make(mantissa, *denominator);
}

std::optional<TExactNumber> TExactNumber::FromDouble(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    return FromText(NumberText(value));
}

std::optional<TExactNumber> TExactNumber::Plus(const TExactNumber& other) const {
    const Int divisor = GreatestCommonDivisor(denominator_, other.denominator_);
    const std::optional<Int> left = Multiply(numerator_, other.denominator_ / divisor);
    const std::optional<Int> right = Multiply(other.numerator_, denominator_ / divisor);
    const std::optional<Int> denominator = Multiply(denominator_ / divisor, other.denominator_);
    if (!left || !right || !denominator) return std::nullopt;
    const std::optional<Int> sum = Add(*left, *right);
    if (!sum) return std::nullopt;
    return Make(*sum, *denominator);
}

std::optional<TExactNumber> TExactNumber::Minus(const TExactNumber& other) const {
    return Plus(TExactNumber(-other.numerator_, other.denominator_));
}

std::optional<TExactNumber> TExactNumber::Times(const TExactNumber& other) const {
    // Cross-cancelling first keeps the products small.
    const Int a = GreatestCommonDivisor(numerator_, other.denominator_);
    const Int b = GreatestCommonDivisor(other.numerator_, denominator_);
    const Int da = a == 0 ? 1 : a;
    const Int db = b == 0 ? 1 : b;
    const std::optional<Int> numerator = Multiply(numerator_ / da, other.numerator_ / db);
    const std::optional<Int> denominator = Multiply(denominator_ / db, other.denominator_ / da);
    if (!numerator || !denominator) return std::nullopt;
    return Make(*numerator, *denominator);
}

std::optional<TExactNumber> TExactNumber::DividedBy(const TExactNumber& other) const {
    if (other.numerator_ == 0) return std::nullopt;
    return Times(TExactNumber(other.denominator_, other.numerator_));
}

std::optional<TExactNumber> TExactNumber::RoundedAtDecimal(int n) const {
    const std::optional<Int> m = PowerOfTen(n - 1);
    if (!m) return std::nullopt;
    // Int(p/q * m + 1/2) = Int((2pm + q) / 2q); C++ division truncates
    // toward zero, as Int does.
    const std::optional<Int> twice = Multiply(numerator_, 2);
    const std::optional<Int> scaled = twice ? Multiply(*twice, *m) : std::nullopt;
    const std::optional<Int> top = scaled ? Add(*scaled, denominator_) : std::nullopt;
    const std::optional<Int> bottom = Multiply(denominator_, 2);
    if (!top || !bottom) return std::nullopt;
    return Make(*top / *bottom, *m);
}

std::string TExactNumber::Text() const {
    // Whole numbers and short decimals (the points and their means) are
    // written straight from their digits: the general form of a value with
    // at most 15 significant digits between 10^-4 and 10^15 is exactly them.
    constexpr Int kFifteenDigits = 1'000'000'000'000'000;
    Int scale = 1;
    int places = 0;
    while (places < 6 && scale % denominator_ != 0) {
        scale *= 10;
        ++places;
    }
    if (scale % denominator_ == 0) {
        const Int digits = Magnitude(numerator_) * (scale / denominator_);
        if (digits < kFifteenDigits && Magnitude(numerator_) / denominator_ > 0) {
            std::string text = std::to_string(static_cast<int64_t>(digits));
            if (places > 0) {
                text.insert(text.size() - static_cast<size_t>(places), ".");
                while (text.back() == '0') text.pop_back();
                if (text.back() == '.') text.pop_back();
            }
            return (numerator_ < 0 ? "-" : "") + text;
        }
    }
    // Enough decimal places for any 15-digit form; the double conversion of
    // the exact digits then gives the shortest general form.
    constexpr int kPlaces = 40;
    const Int whole = Magnitude(numerator_) / denominator_;
    Int rest = Magnitude(numerator_) % denominator_;
    std::string text = (numerator_ < 0 ? "-" : "") + DigitsOf(whole);
    if (rest != 0) {
        text += '.';
        for (int i = 0; i < kPlaces && rest != 0; ++i) {
            const std::optional<Int> shifted = Multiply(rest, 10);
            if (!shifted) {  // a denominator near the limit: doubles suffice
                return NumberText(static_cast<double>(numerator_) /
                                  static_cast<double>(denominator_));
            }
            rest = *shifted;
            text += static_cast<char>('0' + rest / denominator_);
            rest %= denominator_;
        }
    }
    double value = 0;
    if (!ParseNumber(text, &value)) return "";
    return NumberText(value);
}

}  // namespace sarvenu
