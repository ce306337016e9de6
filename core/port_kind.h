// PortKind: how the COM port of a link is found. A 16550 UART by its I/O
// base, a USB serial device by product << 16 | vendor, or a chipset
// high-speed UART by its PCI configuration address.
#pragma once

#include "core/types.h"

namespace hx {

inline constexpr u32 kPortUart2E0 = 0x2E0;
inline constexpr u32 kPortUart2E8 = 0x2E8;
inline constexpr u32 kPortUart2F8 = 0x2F8;
inline constexpr u32 kPortUart368 = 0x368;
inline constexpr u32 kPortUart3E8 = 0x3E8;
inline constexpr u32 kPortUart3F8 = 0x3F8;
inline constexpr u32 kPortUsbCdc1CBE = 0x00021CBE;   // VID 1CBE, PID 0002
inline constexpr u32 kPortUsbFtdi6015 = 0x60150403;  // VID 0403, PID 6015
inline constexpr u32 kPortHsuart0F0A = 0x8000F300;   // 8086:0F0A at 0:30.3
inline constexpr u32 kPortHsuart0F0C = 0x8000F400;   // 8086:0F0C at 0:30.4

}  // namespace hx
