// Numbers as text, the way the journal, the view mode and the store write them.
//
// Exponents are always written with a sign and at least three digits (1.23e-005), and
// infinity and not-a-number as "inf", "-inf" and "nan", whatever the C library does.
#pragma once

#include <optional>
#include <string>

namespace corvantis {

// The text of an output stream in its default state: %g with 6 significant digits.
std::string formatNumber(double value);

// The store's form: rounded to 17 significant digits, general notation for precision
// 20 (plain between 1e-4 and 1e20), trailing zeros and a bare decimal point removed.
std::string formatStoreNumber(double value);

// The whole of `text` as one number, as either form above writes it (inf and nan
// included); nothing for an empty text, a leading blank or anything after the number.
std::optional<double> readWholeNumber(const std::string& text);

}  // namespace corvantis
