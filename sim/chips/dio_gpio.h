// The chips behind the port-mapped DIO connectors: a block of byte registers
// (the GPIO block at 600h..605h, the pair at 29Eh/29Fh) whose bits the board
// wires to opto inputs and output drivers, and the ICH's GPIO registers at
// 500h..50Fh, whose pins enable or route those drivers on some boards.
//
// A register reads back what was last written, except: a bit wired to an
// input reads 0 while current flows in the input and 1 otherwise; a bit wired
// to an output whose driver is stuck reads the stuck level; and while a
// read-back lag is set, the first reads after a write return the old value.
#pragma once

#include "sim/board.h"
#include "sim/models.h"

namespace hx::sim {

inline constexpr u16 kGpioBlockFirstPort = 0x600;
inline constexpr u16 kGpioPairFirstPort = 0x29E;
inline constexpr u8 kGpioPairRegs = 2;
inline constexpr u16 kIchGpioFirstPort = 0x500;

class DioRegisterBlock final : public PortDevice {
public:
    DioRegisterBlock(DioRegsState& regs, DioFieldState& field, u16 firstPort, u8 count)
        : regs_(regs), field_(field), first_(firstPort), count_(count) {}

    // The board's connector wiring (process-local; none: plain registers).
    void Wire(const DioWiring* wiring) { wiring_ = wiring; }
    u16 FirstPort() const { return first_; }
    u16 LastPort() const { return static_cast<u16>(first_ + count_ - 1); }

    u32 ReadPort(u16 port, u8 size) override;
    void WritePort(u16 port, u32 value, u8 size) override;

    // What the output drivers of register `port` put out: the written value
    // with the stuck lines at their level. No side effects.
    u8 Driven(u16 port) const;

private:
    u8 ReadByte(u16 port);
    void WriteByte(u16 port, u8 value);
    u8 WithStuckOutputs(u16 port, u8 value) const;
    u8 WithInputs(u16 port, u8 value) const;

    DioRegsState& regs_;
    DioFieldState& field_;
    u16 first_;
    u8 count_;
    const DioWiring* wiring_ = nullptr;
};

class IchGpio final : public PortDevice {
public:
    explicit IchGpio(IchGpioState& state) : state_(state) {}

    // Power-on state as the firmware leaves it: GPIO 14, 19 and 21 in their
    // native function, the routing pins GPIO 1, 16 and 23 outputs with GPIO
    // 16 and 23 high (neither DIO nor trigger routed).
    void Install();

    u32 ReadPort(u16 port, u8 size) override;
    void WritePort(u16 port, u32 value, u8 size) override;

    u8 Register(u16 port) const { return state_.regs[(port - kIchGpioFirstPort) % kIchGpioRegs]; }

private:
    IchGpioState& state_;
};

}  // namespace hx::sim
