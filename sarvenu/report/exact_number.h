// Exact arithmetic for the evaluation points. A number text such as "20.51"
// is held as a fraction of two integers, so that differences, ratios, means
// and the half-up rounding come out as a person computes them by hand:
// 10 - 9.9 is 0.1, and 97.45 rounds to 97.5 and then to 98. Binary doubles
// give 0.0999999999999996 and 97.4 for those. Every operation reports an
// overflow instead of wrapping; callers then fall back to doubles.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sarvenu {

class TExactNumber {
  public:
    // The number a plain number text stands for (the grammar of ParseNumber);
    // nothing for other texts or for magnitudes beyond about 10^30.
    static std::optional<TExactNumber> FromText(const std::string& text);
    // The number the shortest 15-significant-digit text of a double stands
    // for, so 97.45 (stored as 97.4499999...) is taken as 97.45.
    static std::optional<TExactNumber> FromDouble(double value);
    static TExactNumber Whole(int64_t value);

    std::optional<TExactNumber> Plus(const TExactNumber& other) const;
    std::optional<TExactNumber> Minus(const TExactNumber& other) const;
    std::optional<TExactNumber> Times(const TExactNumber& other) const;
    // Nothing when other is zero.
    std::optional<TExactNumber> DividedBy(const TExactNumber& other) const;

    bool IsZero() const { return numerator_ == 0; }
    bool IsNegative() const { return numerator_ < 0; }

    // Half-up rounding at the n-th decimal place, Int(x * m + 0.5) / m with
    // m = 10^(n-1) and Int truncating toward zero (n >= 1).
    std::optional<TExactNumber> RoundedAtDecimal(int n) const;
    // The value in the shortest general form with up to 15 significant
    // digits (the form NumberText writes).
    std::string Text() const;

  private:
    TExactNumber(__int128 numerator, __int128 denominator);
    static std::optional<TExactNumber> Make(__int128 numerator, __int128 denominator);

    __int128 numerator_;
    __int128 denominator_;  // always positive, fraction in lowest terms
};

}  // namespace sarvenu
