// A virtual Intel ICH/PCH TCO timer with the two registers around it that
// decide what a time-out does.
//
// TCO block at 460h: TCO_RLD (460h; reads the ticks left, any write reloads
// the timer from TCO_TMR), TCO1_STS (464h, bit 3 TIMEOUT, write 1 to clear),
// TCO2_STS (466h, bit 1 SECOND_TO_STS, write 1 to clear), TCO1_CNT (468h,
// bit 11 TCO_TMR_HLT halts the timer), TCO_TMR (472h, bits 0..9 the reload
// value in ticks). SMI_EN at 430h (bit 0 GBL_SMI_EN, bit 13 TCO_EN). GCS at
// physical FED1F410h (bit 5 NO_REBOOT).
//
// The timer counts 0.6 s ticks. Running out with TIMEOUT clear sets TIMEOUT
// (and raises an SMI when TCO_EN and GBL_SMI_EN are set) and reloads;
// running out again with TIMEOUT still set is the second time-out: it sets
// SECOND_TO_STS and resets the machine unless NO_REBOOT is set.
#pragma once

#include "sim/chips/timed_chip.h"

namespace hx::sim {

inline constexpr u16 kTcoFirstPort = 0x460;
inline constexpr u16 kTcoLastPort = 0x47F;
inline constexpr u16 kSmiEnFirstPort = 0x430;
inline constexpr u16 kSmiEnLastPort = 0x433;
inline constexpr u32 kGcsAddress = 0xFED1F410;

class IchTco final : public PortDevice, public PhysDevice, public TimedChip {
public:
    IchTco(Board& board, IchTcoState& state) : board_(board), state_(state) {}

    // Power-on state as the firmware leaves it: timer halted, NO_REBOOT set,
    // TCO SMIs enabled.
    void Install();

    u32 ReadPort(u16 port, u8 size) override;
    void WritePort(u16 port, u32 value, u8 size) override;
    u32 ReadPhys(u32 address) override;
    void WritePhys(u32 address, u32 value) override;

    void Advance(u64 fromMs, u64 toMs) override;
    u64 MsToEvent() const override;
    void PowerOnReset() override;

    // Observations for tests and tools.
    bool Running() const;
    u16 TicksLeft() const { return state_.counter; }
    u16 Register16(u16 port) const;
    u32 Gcs() const { return state_.gcs; }
    bool Present() const { return state_.present; }
    bool NoReboot() const;
    u32 SmiEn() const { return state_.smiEn; }

private:
    u8 ReadByte(u16 port) const;
    void WriteRegister16(u16 offset, u16 bits, u16 laneMask);
    void Reload();
    void TimeOut(u64 atMs);

    Board& board_;
    IchTcoState& state_;
};

}  // namespace hx::sim
