// Module Calculation: the numeric operations behind the evaluation points.
// Values travel as texts (code page 932; numbers are plain ASCII). Numbers are
// read with "." as the decimal separator and written in the shortest general
// form with up to 15 significant digits and no grouping ("115", "114.5", "0").
// Rounding is half up by adding 0.5 and truncating toward zero, which rounds
// negative values toward zero (-28.5714 -> -28.5); the points depend on that.
#pragma once

#include <functional>
#include <span>
#include <string>

namespace sarvenu {

// Receives the message of a text that is not a number (code page 932). The
// main window shows it in an error box; modules without a window collect it.
using TNumberErrorSink = std::function<void(const std::string& message)>;

// "入力された数値に誤りがあります。" in code page 932.
std::string NumberErrorMessage();

// Reads a number: optional sign, decimal digits with at most one ".", at least
// one digit, optionally an exponent ("E-5", the form NumberText writes for tiny
// values). No blanks, no grouping. False for anything else.
bool ParseNumber(const std::string& text, double* value);
// The shortest general form with up to 15 significant digits; -0 is "0".
std::string NumberText(double value);

// Rounds half up at the n-th decimal place: Int(x * m + 0.5) / m with
// m = 10^(n-1), Int truncating toward zero. n = 1 gives a whole number.
double RoundAtDecimal(int n, double x);
// Below 0 or not a number -> 0, above upper -> upper; then rounded to whole.
double ClampPoint(int upper, double x);

// a - b as text, unrounded; empty after reporting a text that is not a number.
std::string DifferenceText(const std::string& a, const std::string& b,
                           const TNumberErrorSink& onError);
// 100 + 100 * d / c rounded to one decimal, then clamped to 0..200 and rounded
// to whole; "0" when c is 0; empty after reporting a text that is not a number.
std::string RatioPoint(const std::string& difference, const std::string& conventional,
                       const TNumberErrorSink& onError);
// 100 + 50 * sum / count, rounded to one decimal, clamped to 0..200 and rounded
// to whole; "0" when count is 0.
std::string ItemPoint(int sum, int count);

// Mean of the non-empty texts, rounded to a whole number; empty when none.
// Texts that are not numbers are left out like empty ones.
std::string MeanOfTwo(const std::string& a, const std::string& b);
// Mean of the non-empty texts among up to six, rounded to one decimal; empty
// when none. Texts that are not numbers are left out like empty ones.
std::string MeanOfSix(std::span<const std::string> texts);
// sum / count rounded to one decimal; empty when count <= 0.
std::string MeanOfSum(int count, double sum);

// True when the whole text is a 32-bit signed integer: optional leading
// blanks, an optional sign, then decimal digits or a hexadecimal number
// introduced by "$" or "0x"; nothing after. The empty text is not.
bool IsWholeNumber(const std::string& text);
// The whole number with thousands grouping ("1,234", "-1,234,567"); any text
// that is not a whole number comes back unchanged.
std::string FormatAmount(const std::string& text);

// The display height of a picture shown at the given width, keeping its
// proportions, rounded to whole. 160 when no file exists at the path (a
// file-system path) and also when the picture's width cannot be read.
double PictureHeight(const std::string& path, double width);

}  // namespace sarvenu
