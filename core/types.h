// Fixed-width names used throughout the core, and the exports' BOOL.
#pragma once

#include <cstdint>

#include "os/os_types.h"

namespace hx {

using Bool32 = std::int32_t;  // the exports' 32-bit BOOL

inline constexpr Bool32 kTrue = 1;
inline constexpr Bool32 kFalse = 0;

}  // namespace hx
