// The line from a SoC pad to the MCU that holds its trigger I/O blocks
// (Ondra-01): one 32-bit pad word in physical memory, written whole, whose
// bit 0 is the line's level. The MCU senses the line: while it is high the
// blocks stay stopped and take no start. The word lives in the firmware's
// world (kept across firmware restarts); the board's accesses reach it with
// the links' lock held, as the virtual back-end's accessors hold it.
#pragma once

#include "core/types.h"
#include "sim/board.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

// The board's firmware leaves the line high: the blocks are held until the
// library releases them.
inline constexpr u32 kTriggerHoldPowerOn = 0x1;

class TriggerHoldPad final : public PhysDevice {
public:
    explicit TriggerHoldPad(McuFirmwareState& mcu) : mcu_(mcu) {}

    // The pad word at its power-on level (in the firmware's world).
    void PowerOn();
    // Claims the word at `address` on `board`.
    void Attach(Board& board, u32 address);

    u32 ReadPhys(u32 address) override;
    void WritePhys(u32 address, u32 value) override;

private:
    McuFirmwareState& mcu_;
};

}  // namespace hx::sim
