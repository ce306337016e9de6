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
// counter from the 16-bit value 74h:73h; a value of 0 stops it.
//
// When the counter runs out, the chip drives the outputs 72h routes the
// time-out to; the machine resets only when the board wires one of them to
// its reset logic and every gate on that path is in place (ResetWiring).
#pragma once

#include <cstddef>

#include "sim/chips/timed_chip.h"

namespace hx::sim {

inline constexpr u16 kSioIndexPort = 0x2E;
inline constexpr u16 kSioDataPort = 0x2F;

// The chip's two watchdog outputs: KRST# (keyboard reset, 72h bit 6) and
// PWROK (power good, 72h bit 4).
enum class ResetOutput : u8 { Krst, PwrOk };

// Where a gate on the reset path is read: a chip-global Super I/O register,
// a register of logical device 7, or a 32-bit physical word (a chipset pad).
enum class GateSite : u8 { None, SioGlobal, SioGpio, PhysWord };

// The gate is in place when (value at `address` & mask) == want.
struct ResetGate {
    GateSite site;
    u32 address;
    u32 mask;
    u32 want;
};

struct PadWord {
    u32 address;
    u32 value;
};

inline constexpr std::size_t kMaxResetGates = 4;
inline constexpr std::size_t kMaxPadWords = 2;

// How a board connects the watchdog to its reset logic: the one output it
// wires, the pins and pads in between, and the pad words as the firmware
// leaves them at power-on (unused entries are zero).
struct ResetWiring {
    ResetOutput output;
    ResetGate gates[kMaxResetGates];
    PadWord firmwarePads[kMaxPadWords];
};

class It87 final : public PortDevice, public TimedChip {
public:
    It87(Board& board, It87State& state) : board_(board), state_(state) {}

    // Places the chip with its ID (8783h, 8786h, ...) in power-on state.
    void Install(u16 chipId);
    // The board's reset path (process-local; none: a time-out resets nothing).
    void Wire(const ResetWiring* wiring) { wiring_ = wiring; }

    u32 ReadPort(u16 port, u8 size) override;
    void WritePort(u16 port, u32 value, u8 size) override;

    void Advance(u64 fromMs, u64 toMs) override;
    u64 MsToEvent() const override;
    void PowerOnReset() override;

    // Observations for tests and tools.
    u16 ChipId() const;
    bool Counting() const { return state_.wdtCounter != 0; }
    bool CountsSeconds() const;
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
    bool ReachesReset() const;
    bool GateInPlace(const ResetGate& gate) const;

    Board& board_;
    It87State& state_;
    const ResetWiring* wiring_ = nullptr;
};

}  // namespace hx::sim
