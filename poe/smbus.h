// The chipset's SMBus host controller (the PIIX4-compatible host interface
// of Intel ICH/PCH and AMD FCH chipsets): finding it, and the Write Byte and
// Read Byte transactions the PoE drivers need. Two variants share one host
// record: PCI (found by class code on bus 0, device 31) and PM (found
// through the power-management index pair CD6h/CD7h).
#pragma once

#include "core/state.h"

namespace hx::smbus {

// Host registers, offsets from the I/O base; every access is one byte.
inline constexpr u16 kStatus = 0;       // host status
inline constexpr u16 kSlaveStatus = 1;  // slave status (the PM variant prepares it)
inline constexpr u16 kControl = 2;      // host control
inline constexpr u16 kCommand = 3;      // host command: the device register
inline constexpr u16 kAddress = 4;      // transmit slave address: 7-bit address << 1, bit 0 = read
inline constexpr u16 kData = 5;         // host data 0

// Host status bits.
inline constexpr u8 kHostBusy = 0x01;
inline constexpr u8 kDeviceError = 0x04;
inline constexpr u8 kByteDone = 0x80;
// Host control: start (bit 6) with the byte-data protocol (bits 4..2 = 010b).
inline constexpr u8 kStartByteData = 0x48;
inline constexpr u8 kReadBit = 0x01;

// The busy waits: up to this many polls, each after a sleep of this long.
inline constexpr u32 kPolls = 100;
inline constexpr u32 kPollSleepMs = 10;

// The per-process host record: the I/O base, 0 while no host is known.
inline constexpr auto& HostBase = Cells.smbusBase;

// Fill the host record if it is still empty.
void FindPciHost();
void FindPmHost();

// Write Byte and Read Byte. `addressByte` is the 7-bit address shifted left
// by one with bit 0 clear; a read sets bit 0 itself and returns the data
// byte, or 0 on failure. While no host is known they fail without any access.
void PciWrite(u8 addressByte, u8 command, u8 data);
u32 PciRead(u8 addressByte, u8 command);
void PmWrite(u8 addressByte, u8 command, u8 data);
u32 PmRead(u8 addressByte, u8 command);

// One variant's finder and transactions, for the drivers that take either.
struct Host {
    void (*find)();
    u32 (*read)(u8 addressByte, u8 command);
    void (*write)(u8 addressByte, u8 command, u8 data);
};
inline constexpr Host kPciHost{&FindPciHost, &PciRead, &PciWrite};
inline constexpr Host kPmHost{&FindPmHost, &PmRead, &PmWrite};

}  // namespace hx::smbus
