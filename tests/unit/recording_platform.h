// A platform table whose every slot records its call (ordinal of the export,
// the arguments as the slot received them, and whether hardware access was
// still open) and returns a value derived from the ordinal, so tests can see
// exactly what the dispatch forwarded.
#pragma once

#include <cstdint>
#include <type_traits>
#include <vector>

#include "core/platform_ops.h"
#include "sim/virtual_board.h"

namespace hx::test {

struct RecordedCall {
    int ordinal;
    std::vector<std::uint64_t> args;
    bool accessOpen;
};

inline std::vector<RecordedCall>& Calls() {
    static std::vector<RecordedCall> calls;
    return calls;
}

template <typename T>
std::uint64_t AsWord(T v) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<std::uintptr_t>(v);
    } else {
        return static_cast<std::uint64_t>(v);
    }
}

// What a recording slot returns: distinct per export, fits in a u8.
constexpr int SlotResult(int ordinal) { return 100 + ordinal; }

template <int Ordinal, typename R, typename... A>
R Record(A... args) {
    Calls().push_back({Ordinal, {AsWord(args)...}, sim::TheBoardState().accessOpen});
    if constexpr (!std::is_void_v<R>) return static_cast<R>(SlotResult(Ordinal));
}

template <int Ordinal, typename R, typename... A>
constexpr auto Recorder(R (*)(A...)) {
    return &Record<Ordinal, R, A...>;
}

// Fills `slot` with the recorder for export `Ordinal`.
#define HX_RECORD(slot, ordinal) (slot) = ::hx::test::Recorder<ordinal>(slot)

inline constexpr int kDeinitMarker = 1000;

inline void RecordDeinit() { Calls().push_back({kDeinitMarker, {}, sim::TheBoardState().accessOpen}); }

// Every slot filled, ordinals as in the export table.
inline PlatformOps FullRecordingPlatform() {
    PlatformOps p{};
    p.modelKey = "Recording";
    HX_RECORD(p.wdt.InitWDT, 6);
    HX_RECORD(p.wdt.StartWDT, 10);
    HX_RECORD(p.wdt.StopWDT, 11);
    HX_RECORD(p.wdt.SetWDT, 9);
    HX_RECORD(p.wdt.ResetWDT, 8);
    HX_RECORD(p.dio.InitDIO, 5);
    HX_RECORD(p.dio.DIReadLine, 1);
    HX_RECORD(p.dio.DIReadPort, 2);
    HX_RECORD(p.dio.DOWriteLine, 3);
    HX_RECORD(p.dio.DOWritePort, 4);
    HX_RECORD(p.dio.DOWriteLineChecked, 29);
    HX_RECORD(p.dio.DOWritePortChecked, 30);
    HX_RECORD(p.dicos.SetupDICOS, 12);
    HX_RECORD(p.dicos.StartDICOS, 13);
    HX_RECORD(p.dicos.StopDICOS, 14);
    HX_RECORD(p.poe.GetStatusPoEPort, 16);
    HX_RECORD(p.poe.EnablePoEPort, 17);
    HX_RECORD(p.poe.DisablePoEPort, 18);
    HX_RECORD(p.trigger.SetupDTIO, 19);
    HX_RECORD(p.trigger.StartDTIO, 20);
    HX_RECORD(p.trigger.StopDTIO, 21);
    HX_RECORD(p.trigger.SetUnitDTIO, 22);
    HX_RECORD(p.trigger.SetupDTFO, 24);
    HX_RECORD(p.trigger.StartDTFO, 25);
    HX_RECORD(p.trigger.StopDTFO, 26);
    HX_RECORD(p.trigger.SetUnitDTFO, 27);
    HX_RECORD(p.ign.IGN_GetState, 47);
    HX_RECORD(p.ign.IGN_GetBatteryVoltage, 48);
    HX_RECORD(p.ign.IGN_GetSetting, 62);
    HX_RECORD(p.can.CAN_Setup, 33);
    HX_RECORD(p.can.CAN_Start, 34);
    HX_RECORD(p.can.CAN_Stop, 35);
    HX_RECORD(p.can.CAN_Send, 36);
    HX_RECORD(p.can.CAN_BitTimingGet, 37);
    HX_RECORD(p.can.CAN_BitTimingSet, 38);
    HX_RECORD(p.pwm.PWM_ClockSet, 66);
    HX_RECORD(p.pwm.PWM_GenSetup, 40);
    HX_RECORD(p.pwm.PWM_GenPeriod, 41);
    HX_RECORD(p.pwm.PWM_PulseWidth, 42);
    HX_RECORD(p.pwm.PWM_PulseInvert, 51);
    HX_RECORD(p.pwm.PWM_Start, 43);
    HX_RECORD(p.pwm.PWM_Stop, 44);
    HX_RECORD(p.pwm.PWM_SyncTimeBase, 45);
    HX_RECORD(p.pwm.PWM_SyncUpdate, 46);
    HX_RECORD(p.mcu.MCU_GetVersion, 49);
    HX_RECORD(p.mcu.MCU_Reset, 76);
    HX_RECORD(p.led.LED_SetCurrentDriving, 50);
    HX_RECORD(p.adc.ADC_Start, 52);
    HX_RECORD(p.adc.ADC_Stop, 53);
    HX_RECORD(p.adc.ADC_GetData, 54);
    HX_RECORD(p.qei.QEI_Start, 55);
    HX_RECORD(p.qei.QEI_Stop, 56);
    HX_RECORD(p.qei.QEI_Setup, 57);
    HX_RECORD(p.qei.QEI_GetDirection, 58);
    HX_RECORD(p.qei.QEI_GetVelocity, 59);
    HX_RECORD(p.qei.QEI_GetPosition, 60);
    HX_RECORD(p.qei.QEI_SetPosition, 61);
    HX_RECORD(p.dt2.DT2_Setup, 67);
    HX_RECORD(p.dt2.DT2_Start, 68);
    HX_RECORD(p.dt2.DT2_Stop, 69);
    HX_RECORD(p.dt2.DT2_SetUnit, 70);
    HX_RECORD(p.dt2.DT2_StPush, 72);
    HX_RECORD(p.dt2.DT2_StPull, 73);
    HX_RECORD(p.dt2.DT2_EiSendResult, 75);
    p.init.deinit = RecordDeinit;
    return p;
}

inline ExpansionCardOps RecordingCard() {
    ExpansionCardOps c{};
    c.name = "Recording card";
    HX_RECORD(c.PCI_GetStatusPoEPort, 63);
    HX_RECORD(c.PCI_EnablePoEPort, 64);
    HX_RECORD(c.PCI_DisablePoEPort, 65);
    return c;
}

}  // namespace hx::test
