// The 77 exports. A forwarding export jumps to the slot of the same name in
// CurrentPlatform (CurrentCard for PCI_) with its arguments untouched, or
// returns its default when there is no table or the slot is empty. The
// dispatch takes no lock: the tables are constant after load.
#include "core/backend.h"
#include "core/library_lock.h"
#include "core/platform_ops.h"
#include "core/state.h"
#include "mcu/link.h"
#include "os/os.h"

namespace hx {
namespace {

template <auto Group, auto Slot, typename R, typename... Args>
R Forward(R fallback, Args... args) noexcept {
    const PlatformOps* p = CurrentPlatform.load(std::memory_order_relaxed);
    if (!p) return fallback;
    const auto fn = (p->*Group).*Slot;
    return fn ? fn(args...) : fallback;
}

template <auto Group, auto Slot, typename... Args>
void ForwardVoid(Args... args) noexcept {
    const PlatformOps* p = CurrentPlatform.load(std::memory_order_relaxed);
    if (!p) return;
    if (const auto fn = (p->*Group).*Slot) fn(args...);
}

// StartDICOS, StartDTIO and StartDTFO test the Setup slot of their feature:
// a platform without the feature's setup refuses the start.
template <auto Group, auto SetupSlot, auto Slot>
Bool32 ForwardIfSetup() noexcept {
    const PlatformOps* p = CurrentPlatform.load(std::memory_order_relaxed);
    if (!p || !((p->*Group).*SetupSlot)) return kFalse;
    const auto fn = (p->*Group).*Slot;
    return fn ? fn() : kFalse;
}

template <auto Slot, typename R, typename... Args>
R ForwardCard(R fallback, Args... args) noexcept {
    const ExpansionCardOps* card = CurrentCard.load(std::memory_order_relaxed);
    if (!card) return fallback;
    const auto fn = card->*Slot;
    return fn ? fn(args...) : fallback;
}

template <typename Fn>
Bool32 RegisterIndexed(std::atomic<Fn>* cells, u32 index, Fn callback) noexcept {
    if (index >= 1) return kFalse;  // one entry only
    cells[index].store(callback);
    return kTrue;
}

constexpr u8 kNoByte = 0;
constexpr u16 kNoWord = 0;
constexpr u32 kNoDword = 0;

}  // namespace

}  // namespace hx

using namespace hx;
using P = PlatformOps;

extern "C" {

uint32_t HX_API DIReadLine(uint8_t line) { return Forward<&P::dio, &DioOps::DIReadLine>(kNoDword, line); }
uint16_t HX_API DIReadPort(void) { return Forward<&P::dio, &DioOps::DIReadPort>(kNoWord); }
void HX_API DOWriteLine(uint8_t line, uint32_t value) { ForwardVoid<&P::dio, &DioOps::DOWriteLine>(line, value); }
void HX_API DOWritePort(uint16_t value) { ForwardVoid<&P::dio, &DioOps::DOWritePort>(value); }

HX_BOOL HX_API InitDIO(void) {
    const PlatformOps* p = CurrentPlatform.load(std::memory_order_relaxed);
    if (p && p->dio.InitDIO) return p->dio.InitDIO();
    Shared().dioSharedFlag.store(0);
    return kFalse;
}

HX_BOOL HX_API InitWDT(void) { return Forward<&P::wdt, &WdtOps::InitWDT>(kFalse); }
uint32_t HX_API RegisterWinIOService(void) {
    const Backend* backend = CurrentBackend();
    return backend && backend->registerService ? backend->registerService() : 0;
}
HX_BOOL HX_API ResetWDT(void) { return Forward<&P::wdt, &WdtOps::ResetWDT>(kFalse); }
HX_BOOL HX_API SetWDT(uint16_t count, uint8_t unit) { return Forward<&P::wdt, &WdtOps::SetWDT>(kFalse, count, unit); }
HX_BOOL HX_API StartWDT(void) { return Forward<&P::wdt, &WdtOps::StartWDT>(kFalse); }
HX_BOOL HX_API StopWDT(void) { return Forward<&P::wdt, &WdtOps::StopWDT>(kFalse); }

HX_BOOL HX_API SetupDICOS(DicosSetup* setup, uint32_t size) {
    return Forward<&P::dicos, &DicosOps::SetupDICOS>(kFalse, setup, size);
}
HX_BOOL HX_API StartDICOS(void) { return ForwardIfSetup<&P::dicos, &DicosOps::SetupDICOS, &DicosOps::StartDICOS>(); }
HX_BOOL HX_API StopDICOS(void) { return Forward<&P::dicos, &DicosOps::StopDICOS>(kFalse); }
HX_BOOL HX_API RegisterCallbackDICOS(DicosCallbackFn callback) {
    DicosCallback.store(callback);
    return kTrue;
}

uint8_t HX_API GetStatusPoEPort(uint8_t port) { return Forward<&P::poe, &PoeOps::GetStatusPoEPort>(kNoByte, port); }
HX_BOOL HX_API EnablePoEPort(uint8_t port) { return Forward<&P::poe, &PoeOps::EnablePoEPort>(kFalse, port); }
HX_BOOL HX_API DisablePoEPort(uint8_t port) { return Forward<&P::poe, &PoeOps::DisablePoEPort>(kFalse, port); }

HX_BOOL HX_API SetupDTIO(void* setup, uint32_t size) {
    return Forward<&P::trigger, &TriggerOps::SetupDTIO>(kFalse, setup, size);
}
HX_BOOL HX_API StartDTIO(void) { return ForwardIfSetup<&P::trigger, &TriggerOps::SetupDTIO, &TriggerOps::StartDTIO>(); }
HX_BOOL HX_API StopDTIO(void) { return Forward<&P::trigger, &TriggerOps::StopDTIO>(kFalse); }
HX_BOOL HX_API SetUnitDTIO(uint16_t unit, uint32_t adjust) {
    return Forward<&P::trigger, &TriggerOps::SetUnitDTIO>(kFalse, unit, adjust);
}
uint16_t HX_API GetUnitDTIO(void) { return DtioUnit.load(std::memory_order_relaxed); }
HX_BOOL HX_API SetupDTFO(void* setup, uint32_t size) {
    return Forward<&P::trigger, &TriggerOps::SetupDTFO>(kFalse, setup, size);
}
HX_BOOL HX_API StartDTFO(void) { return ForwardIfSetup<&P::trigger, &TriggerOps::SetupDTFO, &TriggerOps::StartDTFO>(); }
HX_BOOL HX_API StopDTFO(void) { return Forward<&P::trigger, &TriggerOps::StopDTFO>(kFalse); }
HX_BOOL HX_API SetUnitDTFO(uint16_t unit, uint32_t adjust) {
    return Forward<&P::trigger, &TriggerOps::SetUnitDTFO>(kFalse, unit, adjust);
}
uint16_t HX_API GetUnitDTFO(void) { return DtfoUnit.load(std::memory_order_relaxed); }

void HX_API DOWriteLineChecked(uint8_t line, uint32_t value) {
    ForwardVoid<&P::dio, &DioOps::DOWriteLineChecked>(line, value);
}
void HX_API DOWritePortChecked(uint16_t value) { ForwardVoid<&P::dio, &DioOps::DOWritePortChecked>(value); }

HX_BOOL HX_API CAN_RegisterReceived(uint32_t index, CanReceivedCallbackFn callback) {
    return RegisterIndexed(CanReceivedCallbacks, index, callback);
}
HX_BOOL HX_API CAN_RegisterStatus(uint32_t index, CanStatusCallbackFn callback) {
    return RegisterIndexed(CanStatusCallbacks, index, callback);
}
HX_BOOL HX_API CAN_Setup(uint32_t port, void* setup, uint32_t size) {
    return Forward<&P::can, &CanOps::CAN_Setup>(kFalse, port, setup, size);
}
HX_BOOL HX_API CAN_Start(uint32_t port) { return Forward<&P::can, &CanOps::CAN_Start>(kFalse, port); }
HX_BOOL HX_API CAN_Stop(uint32_t port) { return Forward<&P::can, &CanOps::CAN_Stop>(kFalse, port); }
HX_BOOL HX_API CAN_Send(uint32_t port, CanMessage* message, uint32_t size) {
    return Forward<&P::can, &CanOps::CAN_Send>(kFalse, port, message, size);
}
HX_BOOL HX_API CAN_BitTimingGet(uint32_t port, void* timing, uint32_t size) {
    return Forward<&P::can, &CanOps::CAN_BitTimingGet>(kFalse, port, timing, size);
}
HX_BOOL HX_API CAN_BitTimingSet(uint32_t port, void* timing, uint32_t size) {
    return Forward<&P::can, &CanOps::CAN_BitTimingSet>(kFalse, port, timing, size);
}

HX_BOOL HX_API PWM_RegisterStatus(PwmStatusCallbackFn callback) {
    PwmStatusCallback.store(callback);
    return kTrue;
}
HX_BOOL HX_API PWM_GenSetup(uint32_t generator, void* setup, uint32_t size) {
    return Forward<&P::pwm, &PwmOps::PWM_GenSetup>(kFalse, generator, setup, size);
}
HX_BOOL HX_API PWM_GenPeriod(uint32_t generator, uint32_t period) {
    return Forward<&P::pwm, &PwmOps::PWM_GenPeriod>(kFalse, generator, period);
}
HX_BOOL HX_API PWM_PulseWidth(uint32_t pulse, uint32_t width) {
    return Forward<&P::pwm, &PwmOps::PWM_PulseWidth>(kFalse, pulse, width);
}
HX_BOOL HX_API PWM_Start(uint32_t value) { return Forward<&P::pwm, &PwmOps::PWM_Start>(kFalse, value); }
HX_BOOL HX_API PWM_Stop(uint32_t value) { return Forward<&P::pwm, &PwmOps::PWM_Stop>(kFalse, value); }
HX_BOOL HX_API PWM_SyncTimeBase(uint32_t generator) {
    return Forward<&P::pwm, &PwmOps::PWM_SyncTimeBase>(kFalse, generator);
}
HX_BOOL HX_API PWM_SyncUpdate(uint32_t generator) { return Forward<&P::pwm, &PwmOps::PWM_SyncUpdate>(kFalse, generator); }

HX_BOOL HX_API IGN_GetState(uint32_t* state) { return Forward<&P::ign, &IgnOps::IGN_GetState>(kFalse, state); }
HX_BOOL HX_API IGN_GetBatteryVoltage(double* volts) {
    return Forward<&P::ign, &IgnOps::IGN_GetBatteryVoltage>(kFalse, volts);
}
HX_BOOL HX_API MCU_GetVersion(uint32_t* version) { return Forward<&P::mcu, &McuOps::MCU_GetVersion>(kFalse, version); }
HX_BOOL HX_API LED_SetCurrentDriving(uint32_t selection, uint32_t value) {
    return Forward<&P::led, &LedOps::LED_SetCurrentDriving>(kFalse, selection, value);
}
HX_BOOL HX_API PWM_PulseInvert(uint32_t value) { return Forward<&P::pwm, &PwmOps::PWM_PulseInvert>(kFalse, value); }
HX_BOOL HX_API ADC_Start(uint32_t value) { return Forward<&P::adc, &AdcOps::ADC_Start>(kFalse, value); }
HX_BOOL HX_API ADC_Stop(uint32_t value) { return Forward<&P::adc, &AdcOps::ADC_Stop>(kFalse, value); }
HX_BOOL HX_API ADC_GetData(uint32_t channel, double* volts) {
    return Forward<&P::adc, &AdcOps::ADC_GetData>(kFalse, channel, volts);
}
HX_BOOL HX_API QEI_Start(uint32_t value) { return Forward<&P::qei, &QeiOps::QEI_Start>(kFalse, value); }
HX_BOOL HX_API QEI_Stop(uint32_t value) { return Forward<&P::qei, &QeiOps::QEI_Stop>(kFalse, value); }
HX_BOOL HX_API QEI_Setup(uint32_t ignored, void* setup, uint32_t size) {
    return Forward<&P::qei, &QeiOps::QEI_Setup>(kFalse, ignored, setup, size);
}
HX_BOOL HX_API QEI_GetDirection(uint32_t channel, uint32_t* direction) {
    return Forward<&P::qei, &QeiOps::QEI_GetDirection>(kFalse, channel, direction);
}
HX_BOOL HX_API QEI_GetVelocity(uint32_t channel, uint32_t* velocity) {
    return Forward<&P::qei, &QeiOps::QEI_GetVelocity>(kFalse, channel, velocity);
}
HX_BOOL HX_API QEI_GetPosition(uint32_t channel, uint32_t* position) {
    return Forward<&P::qei, &QeiOps::QEI_GetPosition>(kFalse, channel, position);
}
HX_BOOL HX_API QEI_SetPosition(uint32_t channel, uint32_t position) {
    return Forward<&P::qei, &QeiOps::QEI_SetPosition>(kFalse, channel, position);
}
HX_BOOL HX_API IGN_GetSetting(IgnSetting* setting, uint32_t size) {
    return Forward<&P::ign, &IgnOps::IGN_GetSetting>(kFalse, setting, size);
}

uint8_t HX_API PCI_GetStatusPoEPort(uint32_t card, uint32_t port) {
    return ForwardCard<&ExpansionCardOps::PCI_GetStatusPoEPort>(kNoByte, card, port);
}
HX_BOOL HX_API PCI_EnablePoEPort(uint32_t card, uint32_t port) {
    return ForwardCard<&ExpansionCardOps::PCI_EnablePoEPort>(kFalse, card, port);
}
HX_BOOL HX_API PCI_DisablePoEPort(uint32_t card, uint32_t port) {
    return ForwardCard<&ExpansionCardOps::PCI_DisablePoEPort>(kFalse, card, port);
}

HX_BOOL HX_API PWM_ClockSet(uint32_t module, uint32_t clock) {
    return Forward<&P::pwm, &PwmOps::PWM_ClockSet>(kFalse, module, clock);
}
HX_BOOL HX_API DT2_Setup(Dt2Setup* setup, uint32_t size) { return Forward<&P::dt2, &Dt2Ops::DT2_Setup>(kFalse, setup, size); }
HX_BOOL HX_API DT2_Start(void) { return Forward<&P::dt2, &Dt2Ops::DT2_Start>(kFalse); }
HX_BOOL HX_API DT2_Stop(void) { return Forward<&P::dt2, &Dt2Ops::DT2_Stop>(kFalse); }
HX_BOOL HX_API DT2_SetUnit(uint32_t unit, uint32_t adjust) {
    return Forward<&P::dt2, &Dt2Ops::DT2_SetUnit>(kFalse, unit, adjust);
}
uint16_t HX_API DT2_GetUnit(void) { return Dt2Unit.load(std::memory_order_relaxed); }
HX_BOOL HX_API DT2_StPush(uint32_t mask, uint32_t values) {
    return Forward<&P::dt2, &Dt2Ops::DT2_StPush>(kFalse, mask, values);
}
HX_BOOL HX_API DT2_StPull(uint32_t* values) {
    if (!values) return kFalse;
    return Forward<&P::dt2, &Dt2Ops::DT2_StPull>(kFalse, values);
}
HX_BOOL HX_API DT2_EiRegisterIndexed(Dt2IndexedCallbackFn callback) {
    Dt2IndexedCallback.store(callback);
    return kTrue;
}
HX_BOOL HX_API DT2_EiSendResult(uint8_t index, uint8_t result) {
    return Forward<&P::dt2, &Dt2Ops::DT2_EiSendResult>(kFalse, index, result);
}
HX_BOOL HX_API MCU_Reset(void) { return Forward<&P::mcu, &McuOps::MCU_Reset>(kFalse); }

HX_BOOL HX_API StopDIO(void) {
    // Under the lock: another thread's exchange must not find its port
    // closed (or its descriptor reused) in the middle of a write or read;
    // the close also waits for the reads and writes of unlocked callers.
    LibraryLockGuard lock;
    StopLinkReceiver(serialPortMcu);
    CloseLinkPort(serialPortMcu);
    return kTrue;
}

}  // extern "C"
