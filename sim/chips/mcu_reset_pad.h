// The chipset pad that drives the MCU's reset line (Vexa-04 to -06): one
// 32-bit pad word in physical memory. Bits 0..11 configure the pad: bit 9
// set and bit 8 clear make it an output, bit 0 is the level it drives; the
// upper bits are the pad's mode and are kept as written. A pad that is not
// an output leaves the line to its pull-down: low. The MCU restarts when the
// line has been high and falls low again (the end of a reset pulse).
#pragma once

#include "core/types.h"
#include "sim/board.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

// The pad word as the BIOS leaves it: GPIO mode, an output driving low.
inline constexpr u32 kResetPadAtPowerOn = 0x44000200;

class McuResetPad final : public PhysDevice {
public:
    explicit McuResetPad(McuFirmwareState& mcu) : mcu_(mcu) {}

    // The pad word's address (0: the board has no such pad); state untouched.
    void Wire(u32 address) { address_ = address; }
    // The pad as the BIOS leaves it.
    void PowerOn() { Set(kResetPadAtPowerOn); }
    // Claims the pad word on `board` (nothing when the board has none).
    void Attach(Board& board);
    // A new pad word without a pulse (a preset for tests and tools).
    void Set(u32 word);

    // Physical accesses of the board, which holds the links' lock around
    // each one: the restart happens under it.
    u32 ReadPhys(u32 address) override;
    void WritePhys(u32 address, u32 value) override;

private:
    static bool DrivesHigh(u32 word);

    McuFirmwareState& mcu_;
    u32 address_ = 0;
};

}  // namespace hx::sim
