#pragma once
// The arithmetic of the space queries, apart from the disks they ask, so that
// sizes no test machine has can be checked.
#include <cstdint>
#include <optional>

#include "RegVariant.h"

namespace norvale {

// Bytes in gigabytes of 2^30 bytes: rounded to four decimals (ties to even)
// and then cut to one decimal, so 1,073,741,823 bytes make 1.0.
RegCurrency GigabytesCutToTenths(uint64_t bytes);

// Clusters of the given size in gigabytes of 2^30 bytes with four decimals,
// each step rounded as a currency value; nothing when the product does not
// fit.
std::optional<RegCurrency> ClusterGigabytes(uint64_t clusters, uint64_t bytesPerCluster);

}  // namespace norvale
