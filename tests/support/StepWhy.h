#pragma once
// What a step that failed says of itself, as the boxes and the record show
// it; empty when it was done.
#include <string>

#include "StepError.h"

namespace testing_support {

template <typename Result>
std::wstring WhyOf(const Result& result) {
  return result ? std::wstring() : result.Error().Why();
}

}  // namespace testing_support
