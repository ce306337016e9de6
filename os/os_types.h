// Fixed-width names used throughout the library, from the OS seam up.
#pragma once

#include <cstdint>

namespace hx {

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;

}  // namespace hx
