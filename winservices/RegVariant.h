#pragma once
// The value a registry member reads or writes. The Windows services take and
// hand back loosely typed values: the type the caller puts in decides how a
// value is stored, and the type of the stored value decides what comes back.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "OleDate.h"

namespace norvale {

// A fixed-point number with four decimals, held as the value times 10,000.
struct RegCurrency {
  int64_t scaled = 0;

  static RegCurrency FromWhole(int64_t value) { return RegCurrency{value * 10000}; }
  bool operator==(const RegCurrency&) const = default;
};

using RegBytes = std::vector<uint8_t>;

// std::monostate is the empty value.
using RegVariant = std::variant<std::monostate, bool, uint8_t, int16_t, int32_t, RegCurrency,
                                double, OleDate, std::wstring, RegBytes>;

// The value's text form as the system's own conversions give it (numbers and
// dates in the user's locale, True/False for Booleans); empty for the empty
// value.
std::wstring RegVariantText(const RegVariant& value);

}  // namespace norvale
