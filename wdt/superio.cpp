#include "wdt/superio.h"

#include "core/hw_access.h"

namespace hx::sio {

void Enter() {
    for (const u8 b : kEntryKey) HwWriteByte(kIndexPort, b);
}

void SelectGpio() { Write(kRegLogicalDevice, kLdnGpio); }

void Write(u8 reg, u8 value) {
    HwWriteByte(kIndexPort, reg);
    HwWriteByte(kDataPort, value);
}

u8 Read(u8 reg) {
    HwWriteByte(kIndexPort, reg);
    return HwReadByte(kDataPort);
}

void Exit() { Write(kRegConfigControl, kReturnToWaitForKey); }

void SetBits(u8 reg, u8 mask) { Write(reg, static_cast<u8>(Read(reg) | mask)); }

void ClearBits(u8 reg, u8 mask) { Write(reg, static_cast<u8>(Read(reg) & ~mask)); }

void WriteWdtValue(u16 value) {
    Write(kRegWdtValueLow, static_cast<u8>(value & 0xFF));
    Write(kRegWdtValueHigh, static_cast<u8>(value >> 8));
}

}  // namespace hx::sio
