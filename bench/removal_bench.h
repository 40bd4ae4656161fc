#pragma once
#include <string>

namespace bench {
// Removes folder and everything below it by path, as a plain program would.
void RemovePlainly(const std::wstring& folder);
}  // namespace bench
