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

// GPIO pad words whose bit 0 (kPadLevelBit) is the pad's output level.
constexpr u32 kPadDioEnable = 0xFED0C6A8;
constexpr u32 kPadTriggerEnable = 0xFED0C0B8;

void PadSetLevel(u32 address, bool high) {
    if (high) {
        HwSetPhysBits(address, kPadLevelBit);
    } else {
        HwClearPhysBits(address, kPadLevelBit);
    }
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
    HwSetPortBits(kGpioLevel0to7, kGpio1);
    HwClearPortBits(kGpioLevel16to23, kGpio16);
    HwClearPortBits(kGpioLevel16to23, kGpio23);
}

void RouteTriggerByPorts() {
    HwSetPortBits(kGpioLevel16to23, kGpio16);
    HwClearPortBits(kGpioLevel0to7, kGpio1);
    HwClearPortBits(kGpioLevel16to23, kGpio23);
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
