// The platform catalog: the 29 models in search order, and the expansion
// cards searched at load.
#pragma once

#include <cstddef>

#include "core/platform_ops.h"

namespace hx {

inline constexpr std::size_t kPlatformCount = 29;
inline constexpr std::size_t kExpansionCardCount = 2;

extern const PlatformOps PlatformCatalog[kPlatformCount];
extern const ExpansionCardOps* const ExpansionCardCatalog[kExpansionCardCount];

// First table whose model key occurs in `text` (exact bytes), or nullptr.
const PlatformOps* MatchCatalog(const char* text);

// Table by exact model key, or nullptr.
const PlatformOps* FindPlatformByKey(const char* key);

}  // namespace hx
