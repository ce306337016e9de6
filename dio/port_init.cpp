// The InitDIO variants of the port-mapped families. All but D3's return 1 at
// once while DioSharedFlag is set: the first process that initialises the DIO
// does the hardware set-up for every process.
#include "core/hw_access.h"
#include "core/library_lock.h"
#include "core/state.h"
#include "dio/outputs_off.h"
#include "dio/port_dio.h"
#include "dio/port_families.h"
#include "dio/routing.h"
#include "mcu/frame.h"
#include "mcu/link.h"

namespace hx {
namespace {

// Chipset (ICH) GPIO registers at the fixed base 500h: use-select (1 = GPIO),
// direction (0 = output) and level, byte k holding GPIO 8k..8k+7.
constexpr u16 kGpioUseSel8to15 = 0x501;
constexpr u16 kGpioUseSel16to23 = 0x502;
constexpr u16 kGpioDir8to15 = 0x505;
constexpr u16 kGpioDir16to23 = 0x506;
constexpr u16 kGpioLevel8to15 = 0x50D;
constexpr u16 kGpioLevel16to23 = 0x50E;
constexpr u8 kGpio14 = 0x40;            // byte 1, bit 6
constexpr u8 kGpio19And21 = 0x28;       // byte 2, bits 3 and 5

// SoC pads whose level (bit 0, low) lets the outputs of D3 and D11 through.
constexpr u32 kPadOutputEnableA = 0xFED0C558;
constexpr u32 kPadOutputEnableB = 0xFED0C188;

constexpr u8 kAllOutputsOff = 0x00;
constexpr u8 kMcuVersionQuery = 0xFF;
constexpr u16 kDefaultDtioUnit = 25;

bool FlagSet() { return Shared().dioSharedFlag.load() != 0; }
void SetFlag() { Shared().dioSharedFlag.store(1); }

// A pin of the chipset GPIO as a GPIO output driven low.
void GpioOutputLow(u16 useSel, u16 direction, u16 level, u8 bits) {
    HwSetPortBits(useSel, bits);
    HwClearPortBits(direction, bits);
    HwClearPortBits(level, bits);
}

// StopLinkReceiver, then the port closed and comHandle none.
void CloseProbeLink() {
    StopLinkReceiver(serialPortMcu);
    CloseLinkPort(serialPortMcu);
}

bool McuAnswers() {
    if (!OpenMcuLink(serialPortMcu)) return false;
    LibraryLockGuard lock;
    u32 version = 0;
    return McuQuery(kMcuVersionQuery, &version) != 0;
}

}  // namespace

Bool32 InitDioChipsetGpio() {
    if (FlagSet()) return kTrue;
    LibraryLockGuard lock;
    if (!HwWriteByte(kBlock601, kAllOutputsOff)) return kFalse;
    GpioOutputLow(kGpioUseSel16to23, kGpioDir16to23, kGpioLevel16to23, kGpio19And21);
    GpioOutputLow(kGpioUseSel8to15, kGpioDir8to15, kGpioLevel8to15, kGpio14);
    SetFlag();
    return kTrue;
}

Bool32 InitDioPads() {
    u32 inputs = 0;
    if (!HwReadPort(kBlock604, &inputs, 1)) return kFalse;
    HwClearPhysBits(kPadOutputEnableA, kPadLevelBit);
    HwClearPhysBits(kPadOutputEnableB, kPadLevelBit);
    return kTrue;
}

Bool32 InitDioMcuProbe() {
    if (FlagSet()) return kTrue;
    const bool answered = McuAnswers();
    CloseProbeLink();
    if (!answered) return kFalse;
    u32 inputs = 0;
    if (!HwReadPort(kBlock604, &inputs, 1)) return kFalse;
    LibraryLockGuard lock;
    AllOutputsOff();
    RouteDioByPads();
    SetFlag();
    return kTrue;
}

Bool32 InitDioRouting() {
    if (FlagSet()) return kTrue;
    LibraryLockGuard lock;
    if (!HwWriteByte(kBlock601, kAllOutputsOff)) return kFalse;
    CallDioModeHook();
    u16 unset = 0;
    DtioUnit.compare_exchange_strong(unset, kDefaultDtioUnit);
    SetFlag();
    return kTrue;
}

Bool32 InitDioFlagOnly() {
    SetFlag();
    return kTrue;
}

Bool32 InitDioPadOutputClear() {
    if (FlagSet()) return kTrue;
    LibraryLockGuard lock;
    if (!HwWriteByte(kBlock601, kAllOutputsOff)) return kFalse;
    HwClearPhysBits(kPadOutputEnableB, kPadLevelBit);
    SetFlag();
    return kTrue;
}

}  // namespace hx
