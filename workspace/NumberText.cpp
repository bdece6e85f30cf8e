#include "workspace/NumberText.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace corvantis {

namespace {

// A finite double rounded to `digits` significant digits: its decimal digits (exactly
// `digits` of them) and the decimal exponent of the first one.
struct Decimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

Decimal roundToDigits(double value, int digits) {
  // std::to_chars rounds correctly and ignores the C locale, unlike printf.
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::scientific, digits - 1);
  const std::string text(buffer, result.ptr);  // "-d.ddde-XX"
  Decimal decimal;
  std::size_t i = 0;
  if (text[i] == '-') {
    decimal.negative = true;
    ++i;
  }
  const std::size_t e = text.find('e', i);
  for (; i < e; ++i) {
    if (text[i] != '.') decimal.digits += text[i];
  }
  decimal.exponent = std::atoi(text.c_str() + e + 1);
  return decimal;
}

void dropTrailingZeros(std::string* fraction) {
  const std::size_t last = fraction->find_last_not_of('0');
  fraction->erase(last == std::string::npos ? 0 : last + 1);
}

// printf's %g layout for `precision` without the # flag, but with an exponent of at
// least three digits, the form the cell's Windows tools have always read and written.
std::string layOutGeneral(const Decimal& decimal, int precision) {
  std::string digits = decimal.digits;
  if (digits.size() < static_cast<std::size_t>(precision))
    digits.append(precision - digits.size(), '0');
  const int x = decimal.exponent;
  std::string text = decimal.negative ? "-" : "";
  if (x >= -4 && x < precision) {
    std::string integral;
    std::string fraction;
    if (x >= 0) {
      integral = digits.substr(0, x + 1);
      fraction = digits.substr(x + 1);
    } else {
      integral = "0";
      fraction = std::string(-x - 1, '0') + digits;
    }
    dropTrailingZeros(&fraction);
    text += integral;
    if (!fraction.empty()) text += "." + fraction;
    return text;
  }
  std::string fraction = digits.substr(1);
  dropTrailingZeros(&fraction);
  text += digits.substr(0, 1);
  if (!fraction.empty()) text += "." + fraction;
  std::string exponent = std::to_string(x < 0 ? -x : x);
  if (exponent.size() < 3) exponent.insert(0, 3 - exponent.size(), '0');
  text += (x < 0 ? "e-" : "e+") + exponent;
  return text;
}

std::string nonFiniteText(double value) {
  if (std::isnan(value)) return "nan";
  return value < 0 ? "-inf" : "inf";
}

constexpr int kStreamPrecision = 6;
constexpr int kStoreDigits = 17;  // enough for every double to read back unchanged
constexpr int kStorePrecision = 20;

}  // namespace

std::string formatNumber(double value) {
  if (!std::isfinite(value)) return nonFiniteText(value);
  return layOutGeneral(roundToDigits(value, kStreamPrecision), kStreamPrecision);
}

std::string formatStoreNumber(double value) {
  if (!std::isfinite(value)) return nonFiniteText(value);
  return layOutGeneral(roundToDigits(value, kStoreDigits), kStorePrecision);
}

std::optional<double> readWholeNumber(const std::string& text) {
  // Neither form writes hexadecimal, which strtod would read.
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) ||
      text.find_first_of("xX") != std::string::npos)
    return std::nullopt;
  // strtod reads "." as the decimal point: the programs never change their locale.
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

}  // namespace corvantis
