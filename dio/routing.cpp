#include "dio/routing.h"

#include "core/hw_access.h"
#include "core/state.h"

namespace hx {
namespace {

// Chipset GPIO level registers (one byte each).
constexpr u16 kGpioLevel0to7 = 0x50C;
constexpr u16 kGpioLevel16to23 = 0x50E;
constexpr u8 kGpio1 = 0x02;   // in 50Ch
constexpr u8 kGpio16 = 0x01;  // in 50Eh
constexpr u8 kGpio23 = 0x80;  // in 50Eh

// GPIO pad words whose bit 0 is the pad's output level.
constexpr u32 kPadDioEnable = 0xFED0C6A8;
constexpr u32 kPadTriggerEnable = 0xFED0C0B8;
constexpr u32 kPadOutputGate = 0xFED0C578;
constexpr u32 kPadLevelBit = 0x1;

void PortSetBits(u16 port, u8 bits) { HwWriteByte(port, HwReadByte(port) | bits); }
void PortClearBits(u16 port, u8 bits) { HwWriteByte(port, HwReadByte(port) & static_cast<u8>(~bits)); }

void PadSetLevel(u32 address, bool high) {
    u32 word = 0;
    HwReadPhys32(address, &word);  // a failed read does not stop the write
    HwWritePhys32(address, high ? (word | kPadLevelBit) : (word & ~kPadLevelBit));
}

void CallWithDefault(std::atomic<VoidFn>& hook, VoidFn fallback) {
    VoidFn expected = nullptr;
    hook.compare_exchange_strong(expected, fallback);  // never replaces a platform hook
    hook.load()();
}

void CallIfSet(std::atomic<VoidFn>& hook) {
    if (VoidFn fn = hook.load()) fn();
}

}  // namespace

void RouteDioByPorts() {
    PortSetBits(kGpioLevel0to7, kGpio1);
    PortClearBits(kGpioLevel16to23, kGpio16);
    PortClearBits(kGpioLevel16to23, kGpio23);
}

void RouteTriggerByPorts() {
    PortSetBits(kGpioLevel16to23, kGpio16);
    PortClearBits(kGpioLevel0to7, kGpio1);
    PortClearBits(kGpioLevel16to23, kGpio23);
}

void RouteDioByPads() {
    PadSetLevel(kPadDioEnable, true);
    PadSetLevel(kPadTriggerEnable, false);
    PadSetLevel(kPadOutputGate, false);
}

void RouteTriggerByPads() {
    PadSetLevel(kPadTriggerEnable, true);
    PadSetLevel(kPadDioEnable, false);
    PadSetLevel(kPadOutputGate, false);
}

void CallDioModeHook() { CallWithDefault(Config.dioModeHook, &RouteDioByPorts); }
void CallTriggerModeHook() { CallWithDefault(Config.triggerModeHook, &RouteTriggerByPorts); }
void CallDioModeHookIfSet() { CallIfSet(Config.dioModeHook); }
void CallTriggerModeHookIfSet() { CallIfSet(Config.triggerModeHook); }

}  // namespace hx
