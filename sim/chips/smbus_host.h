// A PIIX4-style SMBus host controller, as in Intel ICH/PCH and AMD FCH
// chipsets, with the devices on its bus.
//
// Registers at the I/O base: host status (+0), slave status (+1), host
// control (+2), host command (+3), transmit slave address (+4: 7-bit address
// in bits 7..1, bit 0 = read), host data 0 (+5). Host status: bit 0 host
// busy (read-only), bit 1 interrupt (finished), bit 2 device error, bit 7
// byte done; bits 1..7 are write-1-to-clear. Slave status bit 0 is the
// slave's busy bit; bits 1..7 are write-1-to-clear. Host control: bits 4..2
// the protocol (010b byte data), bit 6 start (reads 0).
//
// A start runs the transaction: host busy shows for one status read, then
// the transaction is done: interrupt and byte done set, or device error when
// no device acknowledges its address (or the protocol is not byte data).
//
// The PCI variant is a function of bus 0, device 31 (class 0C05h, the I/O
// base in register 20h). The PM variant is found through the chipset's
// power-management index pair: index CD6h, data CD7h; register 01h holds
// the high byte of the I/O base.
#pragma once

#include "sim/board.h"

namespace hx::sim {

inline constexpr u16 kSmbusPorts = 8;
inline constexpr u16 kPmIndexPort = 0xCD6;
inline constexpr u16 kPmDataPort = 0xCD7;

class SmbusHost final : public PortDevice {
public:
    explicit SmbusHost(SmbusState& state) : state_(state) {}

    // Power-on state of a host at `base` (PCI or PM variant), no devices.
    void Install(u16 base, bool pmVariant);

    // The host registers and, for the PM variant, the index pair.
    u32 ReadPort(u16 port, u8 size) override;
    void WritePort(u16 port, u32 value, u8 size) override;

    // A device on the bus: the controller at 7-bit `address`.
    PseControllerState* AddController(u8 address, PseLayout layout);
    PseControllerState* Controller(u8 address);

private:
    u8 ReadByte(u16 port);
    void WriteByte(u16 port, u8 value);
    void Start();
    void Finish();
    void Record(const SmbusTransfer& t);

    SmbusState& state_;
};

}  // namespace hx::sim
