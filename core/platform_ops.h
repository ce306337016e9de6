// PlatformOps: one constant table per model, made of one sub-table per group
// of slots. A driver family is a named constant of its group's type (W1, D7,
// C3, ...), so a catalog row names its families exactly like the model table.
// Every slot has the signature of its export; an empty slot (nullptr) makes
// the export return its default.
#pragma once

#include "core/types.h"
#include "halvex32.h"

namespace hx {

using VoidFn = void (*)();

struct WdtOps {
    const char* family = nullptr;
    Bool32 (*InitWDT)() = nullptr;
    Bool32 (*StartWDT)() = nullptr;
    Bool32 (*StopWDT)() = nullptr;
    Bool32 (*SetWDT)(u16 count, u8 unit) = nullptr;
    Bool32 (*ResetWDT)() = nullptr;
};

struct DioOps {
    const char* family = nullptr;
    Bool32 (*InitDIO)() = nullptr;
    u32 (*DIReadLine)(u8 line) = nullptr;
    u16 (*DIReadPort)() = nullptr;
    void (*DOWriteLine)(u8 line, u32 value) = nullptr;
    void (*DOWritePort)(u16 value) = nullptr;
    void (*DOWriteLineChecked)(u8 line, u32 value) = nullptr;
    void (*DOWritePortChecked)(u16 value) = nullptr;
    // The isolated lines the family serves, numbered from 0.
    u8 inputLines = 0;
    u8 outputLines = 0;
};

struct DicosOps {
    const char* family = nullptr;
    Bool32 (*SetupDICOS)(DicosSetup* setup, u32 size) = nullptr;
    Bool32 (*StartDICOS)() = nullptr;
    Bool32 (*StopDICOS)() = nullptr;
};

struct PoeOps {
    const char* family = nullptr;
    u8 (*GetStatusPoEPort)(u8 port) = nullptr;
    Bool32 (*EnablePoEPort)(u8 port) = nullptr;
    Bool32 (*DisablePoEPort)(u8 port) = nullptr;
};

struct TriggerOps {
    const char* family = nullptr;
    Bool32 (*SetupDTIO)(void* setup, u32 size) = nullptr;
    Bool32 (*StartDTIO)() = nullptr;
    Bool32 (*StopDTIO)() = nullptr;
    Bool32 (*SetUnitDTIO)(u16 unit, u32 adjust) = nullptr;
    Bool32 (*SetupDTFO)(void* setup, u32 size) = nullptr;
    Bool32 (*StartDTFO)() = nullptr;
    Bool32 (*StopDTFO)() = nullptr;
    Bool32 (*SetUnitDTFO)(u16 unit, u32 adjust) = nullptr;
};

struct IgnOps {
    const char* family = nullptr;
    Bool32 (*IGN_GetState)(u32* state) = nullptr;
    Bool32 (*IGN_GetBatteryVoltage)(double* volts) = nullptr;
    Bool32 (*IGN_GetSetting)(IgnSetting* setting, u32 size) = nullptr;
};

struct CanOps {
    const char* family = nullptr;
    Bool32 (*CAN_Setup)(u32 port, void* setup, u32 size) = nullptr;
    Bool32 (*CAN_Start)(u32 port) = nullptr;
    Bool32 (*CAN_Stop)(u32 port) = nullptr;
    Bool32 (*CAN_Send)(u32 port, CanMessage* message, u32 size) = nullptr;
    Bool32 (*CAN_BitTimingGet)(u32 port, void* timing, u32 size) = nullptr;
    Bool32 (*CAN_BitTimingSet)(u32 port, void* timing, u32 size) = nullptr;
};

struct PwmOps {
    const char* family = nullptr;
    Bool32 (*PWM_ClockSet)(u32 module, u32 clock) = nullptr;
    Bool32 (*PWM_GenSetup)(u32 generator, void* setup, u32 size) = nullptr;
    Bool32 (*PWM_GenPeriod)(u32 generator, u32 period) = nullptr;
    Bool32 (*PWM_PulseWidth)(u32 pulse, u32 width) = nullptr;
    Bool32 (*PWM_PulseInvert)(u32 value) = nullptr;
    Bool32 (*PWM_Start)(u32 value) = nullptr;
    Bool32 (*PWM_Stop)(u32 value) = nullptr;
    Bool32 (*PWM_SyncTimeBase)(u32 generator) = nullptr;
    Bool32 (*PWM_SyncUpdate)(u32 generator) = nullptr;
};

struct McuOps {
    const char* family = nullptr;
    Bool32 (*MCU_GetVersion)(u32* version) = nullptr;
    Bool32 (*MCU_Reset)() = nullptr;
};

struct LedOps {
    const char* family = nullptr;
    Bool32 (*LED_SetCurrentDriving)(u32 selection, u32 value) = nullptr;
};

struct AdcOps {
    const char* family = nullptr;
    Bool32 (*ADC_Start)(u32 value) = nullptr;
    Bool32 (*ADC_Stop)(u32 value) = nullptr;
    Bool32 (*ADC_GetData)(u32 channel, double* volts) = nullptr;
};

struct QeiOps {
    const char* family = nullptr;
    Bool32 (*QEI_Start)(u32 value) = nullptr;
    Bool32 (*QEI_Stop)(u32 value) = nullptr;
    Bool32 (*QEI_Setup)(u32 ignored, void* setup, u32 size) = nullptr;
    Bool32 (*QEI_GetDirection)(u32 channel, u32* direction) = nullptr;
    Bool32 (*QEI_GetVelocity)(u32 channel, u32* velocity) = nullptr;
    Bool32 (*QEI_GetPosition)(u32 channel, u32* position) = nullptr;
    Bool32 (*QEI_SetPosition)(u32 channel, u32 position) = nullptr;
};

struct Dt2Ops {
    const char* family = nullptr;
    Bool32 (*DT2_Setup)(Dt2Setup* setup, u32 size) = nullptr;
    Bool32 (*DT2_Start)() = nullptr;
    Bool32 (*DT2_Stop)() = nullptr;
    Bool32 (*DT2_SetUnit)(u32 unit, u32 adjust) = nullptr;
    Bool32 (*DT2_StPush)(u32 mask, u32 values) = nullptr;
    Bool32 (*DT2_StPull)(u32* values) = nullptr;
    Bool32 (*DT2_EiSendResult)(u8 index, u8 result) = nullptr;
};

// The per-platform init (I1..I12): stores PlatformConfig values at load and,
// for one model, undoes its output routing at unload.
struct InitOps {
    const char* family = nullptr;
    VoidFn init = nullptr;
    VoidFn deinit = nullptr;
};

// Slot groups in the order of the model table's columns.
struct PlatformOps {
    const char* modelKey = nullptr;
    WdtOps wdt;
    DioOps dio;
    DicosOps dicos;
    PoeOps poe;
    TriggerOps trigger;
    IgnOps ign;
    CanOps can;
    PwmOps pwm;
    McuOps mcu;
    LedOps led;
    AdcOps adc;
    QeiOps qei;
    Dt2Ops dt2;
    InitOps init;
};

// A supported PCI PoE expansion card.
struct ExpansionCardOps {
    const char* name = nullptr;
    u32 pciId = 0;  // configuration register 0: device ID << 16 | vendor ID
    VoidFn init = nullptr;
    VoidFn deinit = nullptr;
    u8 (*PCI_GetStatusPoEPort)(u32 card, u32 port) = nullptr;
    Bool32 (*PCI_EnablePoEPort)(u32 card, u32 port) = nullptr;
    Bool32 (*PCI_DisablePoEPort)(u32 card, u32 port) = nullptr;
};

}  // namespace hx
