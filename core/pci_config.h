// PCI configuration mechanism #1 over HwAccess: the address register at
// CF8h, the data window at CFCh.
#pragma once

#include "core/types.h"

namespace hx {

inline constexpr u32 kPciConfigEnable = 0x80000000;

// Writes `configAddress` (enable bit, bus, device, function, register) to
// CF8h and returns the dword read from CFCh; 0 when that read fails. The
// address register is left as written.
u32 PciConfigRead32(u32 configAddress);

}  // namespace hx
