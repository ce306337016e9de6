// Fixed-width names used throughout the core.
#pragma once

#include <cstdint>

namespace hx {

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;
using Bool32 = std::int32_t;  // the exports' 32-bit BOOL

inline constexpr Bool32 kTrue = 1;
inline constexpr Bool32 kFalse = 0;

}  // namespace hx
