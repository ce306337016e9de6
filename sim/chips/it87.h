// A virtual ITE IT87-series Super I/O on the configuration ports 2Eh/2Fh.
// After power-on the chip waits for the entry key 87h 01h 55h 55h on 2Eh;
// in configuration mode 2Eh selects a register and 2Fh reads or writes it,
// and writing 02h to register 02h returns to "wait for key". Outside
// configuration mode writes to 2Fh have no effect and reads float.
//
// Registers 00h..2Fh are chip-global (20h/21h hold the chip ID); 30h..FFh
// belong to the logical device selected in 07h, of which device 7 (GPIO) is
// modelled. Its watchdog: 72h bit 7 selects seconds (set) or minutes, bit 6
// routes the time-out to KRST#, bit 4 to PWROK; writing 73h or 74h loads the
// counter from the 16-bit value 74h:73h; a value of 0 stops it. When the
// counter runs out, a routed time-out resets the machine.
#pragma once

#include "sim/chips/timed_chip.h"

namespace hx::sim {

inline constexpr u16 kSioIndexPort = 0x2E;
inline constexpr u16 kSioDataPort = 0x2F;

class It87 final : public PortDevice, public TimedChip {
public:
    It87(Board& board, It87State& state) : board_(board), state_(state) {}

    // Places the chip with its ID (8783h, 8786h, ...) in power-on state.
    void Install(u16 chipId);

    u32 ReadPort(u16 port, u8 size) override;
    void WritePort(u16 port, u32 value, u8 size) override;

    void Advance(u64 fromMs, u64 toMs) override;
    u64 MsToEvent() const override;
    void PowerOnReset() override;

    // Observations for tests and tools.
    u16 ChipId() const;
    bool Counting() const { return state_.wdtCounter != 0; }
    u64 MsLeft() const { return MsToEvent(); }
    u8 GpioRegister(u8 reg) const { return state_.gpio[reg]; }
    u8 GlobalRegister(u8 reg) const;

private:
    void WriteIndexPort(u8 value);
    void WriteRegister(u8 reg, u8 value);
    u8 ReadRegister(u8 reg) const;
    bool GpioSelected() const;
    u64 UnitMs() const;
    void LoadCounter();
    void Expire(u64 atMs);

    Board& board_;
    It87State& state_;
};

}  // namespace hx::sim
