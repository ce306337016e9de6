// MCU maintenance, families V1 and V2: the firmware version, and on V2 the
// reset pulse on the MCU's reset line, a chipset pad driven through its
// pad word in physical memory (the MCU is not asked).
#pragma once

#include "core/platform_ops.h"

namespace hx {
namespace mcu {

// Query FFh with the caller's word; the word becomes the answer only on
// success. Under the library lock.
Bool32 GetVersion(u32* version);
// Drives the reset line high for 50 ms and leaves it low; no lock, no link.
// Always 1: the pad accesses are not checked.
Bool32 Reset();

}  // namespace mcu

inline constexpr McuOps V1{"V1", &mcu::GetVersion};  // leaves MCU_Reset empty
inline constexpr McuOps V2{"V2", &mcu::GetVersion, &mcu::Reset};

}  // namespace hx
