// LED drive current and duty, families L1, L2 and L3: one frame of command
// 7Ah whose four payload bytes each family packs in its own way, echoed by
// the MCU. The units of the value are the LED driver's.
//
//   L1  mode, 00h, a 16-bit current word (mode 1: a 12-bit setting from the
//       value, times 4; modes 0 and 2: the value's low half)
//   L2  mode | channel mask << 4, duty in percent, a 16-bit current code
//   L3  mode, a 10-bit level from the value (mode 1 only), a random byte
#pragma once

#include "core/platform_ops.h"

namespace hx {
namespace led {

// `mode` 0..2; under the library lock.
Bool32 SetLinear(u32 mode, u32 value);
// `select`: mode 0..3 in the low half, channel bits in the high half (none
// given: every channel); under the library lock.
Bool32 SetChannels(u32 select, u32 value);
// `mode` 0..2, `value` 0..500; without the library lock. Each frame carries
// the next byte of the library's pseudo-random generator (LedSeed).
Bool32 SetDimmer(u32 mode, u32 value);

// The byte the generator gives for the next frame; advances LedSeed.
u8 NextRandomByte();

}  // namespace led

inline constexpr LedOps L1{"L1", &led::SetLinear};
inline constexpr LedOps L2{"L2", &led::SetChannels};
inline constexpr LedOps L3{"L3", &led::SetDimmer};

}  // namespace hx
