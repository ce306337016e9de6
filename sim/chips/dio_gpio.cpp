#include "sim/chips/dio_gpio.h"

#include <algorithm>
#include <iterator>

namespace hx::sim {
namespace {

constexpr u8 kBitsPerByte = 8;
constexpr u32 kMaxLag = 0xFF;

// The ICH GPIO registers as the firmware leaves them (500h..50Fh).
constexpr u8 kIchPowerOn[kIchGpioRegs] = {
    0x03, 0x0C, 0x81, 0x00,  // use-select: GPIO 0, 1, 10, 11, 16, 23
    0xFD, 0xFF, 0x7E, 0xFF,  // direction: GPIO 1, 16, 23 outputs
    0x00, 0x00, 0x00, 0x00,  // reserved
    0x40, 0x40, 0xA9, 0x00,  // level: GPIO 6, 14, 16, 19, 21, 23 high
};

template <typename Each>
void ForLinesAt(const DioLane (&lanes)[kMaxDioLanes], u16 port, Each each) {
    for (const DioLane& lane : lanes) {
        if (lane.site != DioSite::Port || lane.address != port) continue;
        for (u8 k = 0; k < lane.count; ++k) each(static_cast<u32>(lane.firstLine + k), static_cast<u8>(1u << (lane.shift + k)));
    }
}

u8 WithBit(u8 value, u8 bit, bool set) { return set ? static_cast<u8>(value | bit) : static_cast<u8>(value & ~bit); }
bool LineBit(u32 lines, u32 line) { return (lines >> line) & 1u; }

}  // namespace

u32 DioRegisterBlock::ReadPort(u16 port, u8 size) {
    u32 value = 0;
    for (u8 i = 0; i < size; ++i) value |= u32{ReadByte(static_cast<u16>(port + i))} << (kBitsPerByte * i);
    return value;
}

void DioRegisterBlock::WritePort(u16 port, u32 value, u8 size) {
    for (u8 i = 0; i < size; ++i) WriteByte(static_cast<u16>(port + i), static_cast<u8>(value >> (kBitsPerByte * i)));
}

u8 DioRegisterBlock::ReadByte(u16 port) {
    if (port < first_ || port > LastPort()) return 0xFF;
    const std::size_t i = port - first_;
    u8 value = regs_.latch[i];
    if (regs_.staleReads[i]) {
        --regs_.staleReads[i];
        value = regs_.stale[i];
    }
    return WithInputs(port, WithStuckOutputs(port, value));
}

void DioRegisterBlock::WriteByte(u16 port, u8 value) {
    if (port < first_ || port > LastPort()) return;
    const std::size_t i = port - first_;
    if (field_.lagReads) {
        regs_.stale[i] = Driven(port);
        regs_.staleReads[i] = static_cast<u8>(std::min(field_.lagReads, kMaxLag));
    }
    regs_.latch[i] = value;
}

u8 DioRegisterBlock::Driven(u16 port) const {
    if (port < first_ || port > LastPort()) return 0;
    return WithStuckOutputs(port, regs_.latch[port - first_]);
}

u8 DioRegisterBlock::WithStuckOutputs(u16 port, u8 value) const {
    if (!wiring_) return value;
    ForLinesAt(wiring_->outputLanes, port, [&](u32 line, u8 bit) {
        if (LineBit(field_.stuckLines, line)) value = WithBit(value, bit, LineBit(field_.stuckLevels, line));
    });
    return value;
}

// An active input pulls its bit low.
u8 DioRegisterBlock::WithInputs(u16 port, u8 value) const {
    if (!wiring_) return value;
    ForLinesAt(wiring_->inputLanes, port,
               [&](u32 line, u8 bit) { value = WithBit(value, bit, !LineBit(field_.inputsActive, line)); });
    return value;
}

void IchGpio::Install() {
    state_.present = true;
    std::copy(std::begin(kIchPowerOn), std::end(kIchPowerOn), state_.regs);
}

u32 IchGpio::ReadPort(u16 port, u8 size) {
    u32 value = 0;
    for (u8 i = 0; i < size; ++i) value |= u32{Register(static_cast<u16>(port + i))} << (kBitsPerByte * i);
    return value;
}

void IchGpio::WritePort(u16 port, u32 value, u8 size) {
    for (u8 i = 0; i < size; ++i) {
        state_.regs[(port + i - kIchGpioFirstPort) % kIchGpioRegs] = static_cast<u8>(value >> (kBitsPerByte * i));
    }
}

}  // namespace hx::sim
