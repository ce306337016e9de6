// HwAccess: the only way the drivers reach I/O ports and physical memory.
// Each access returns true on success; a failed access leaves the out value
// untouched. Sizes are 1, 2 or 4 bytes; physical access is one aligned
// 32-bit word.
#pragma once

#include "core/types.h"

namespace hx {

bool HwOpen();
void HwClose();
bool HwIsOpen();
bool HwReadPort(u16 port, u32* value, u8 size);
bool HwWritePort(u16 port, u32 value, u8 size);
bool HwReadPhys32(u32 address, u32* value);
bool HwWritePhys32(u32 address, u32 value);

// Convenience forms for the common byte accesses of the drivers.
inline bool HwWriteByte(u16 port, u8 value) { return HwWritePort(port, value, 1); }
inline u8 HwReadByte(u16 port) {
    u32 value = 0;
    HwReadPort(port, &value, 1);
    return static_cast<u8>(value);
}

// Read-modify-write of a port byte or a physical word. A failed read counts
// as 0 and the write still goes out: none of the sequences that use these
// tests its accesses.
void HwSetPortBits(u16 port, u8 bits);
void HwClearPortBits(u16 port, u8 bits);
void HwSetPhysBits(u32 address, u32 bits);
void HwClearPhysBits(u32 address, u32 bits);

}  // namespace hx
