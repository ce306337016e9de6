// PCI configuration mechanism #1: the address register at CF8h (bit 31
// enable, bus 23:16, device 15:11, function 10:8, register 7:2) and the data
// window at CFCh..CFFh. Functions are placed per bus, device and function;
// a cycle to an empty slot reads all ones.
#pragma once

#include "sim/board.h"

namespace hx::sim {

inline constexpr u16 kPciAddressPort = 0xCF8;
inline constexpr u16 kPciDataPort = 0xCFC;
inline constexpr u16 kPciLastPort = 0xCFF;

inline constexpr u32 kPciConfigEnable = 0x80000000;
inline constexpr u32 kPciBusShift = 16, kPciDeviceShift = 11, kPciFunctionShift = 8;

// The CF8h value that selects register 0 of a function.
constexpr u32 PciConfigAddress(u8 bus, u8 device, u8 function) {
    return kPciConfigEnable | u32{bus} << kPciBusShift | u32{device} << kPciDeviceShift |
           u32{function} << kPciFunctionShift;
}

class PciConfig final : public PortDevice {
public:
    constexpr explicit PciConfig(PciState& state) : state_(state) {}

    u32 ReadPort(u16 port, u8 size) override;
    void WritePort(u16 port, u32 value, u8 size) override;

    // Places a function whose register 0 is `id` (device << 16 | vendor).
    PciFunctionState* Place(u8 bus, u8 device, u8 function, u32 id);
    PciFunctionState* Find(u8 bus, u8 device, u8 function);

private:
    PciFunctionState* Selected(u32* byteOffset);
    PciState& state_;
};

}  // namespace hx::sim
