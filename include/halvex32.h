/*
 * Halvex32: watchdog, isolated DI/DO, DI change-of-state, PoE, trigger I/O and
 * on-board MCU features (CAN, PWM, ADC, QEI, ignition, LED) of the supported
 * industrial PC models, behind one set of 77 exported functions.
 *
 * Every function returns a fixed default (0, or nothing) on a model that lacks
 * the feature. Lines are numbered from 0, PoE ports from 1, PCI card indexes
 * from 0. Usable from C and C++.
 */
#ifndef HALVEX32_H
#define HALVEX32_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define HX_API __cdecl
#define HX_CALLBACK __stdcall
#elif defined(_WIN32)
#define HX_API
#define HX_CALLBACK
#else
#define HX_API
#define HX_CALLBACK
#endif

#ifndef HX_IMPORT
#if defined(HALVEX32_BUILD) && !defined(_WIN32)
#define HX_IMPORT __attribute__((visibility("default")))
#elif defined(_WIN32) && !defined(HALVEX32_BUILD) && !defined(HALVEX32_NO_IMPORT)
#define HX_IMPORT __declspec(dllimport)
#else
#define HX_IMPORT
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* 32-bit boolean result: 1 success, 0 failure. */
typedef int32_t HX_BOOL;

/* One CAN message as sent by CAN_Send and received by the received callback. */
typedef struct CanMessage {
    uint32_t id;       /* message identifier */
    uint16_t flags;    /* message flag bits, passed through unchanged */
    uint8_t reserved;  /* not carried on the wire; 0 in received messages */
    uint8_t length;    /* number of data bytes */
    uint8_t data[8];
} CanMessage;

/* Record handed to the DICOS callback (5 bytes, packed). */
#pragma pack(push, 1)
typedef struct DiEventRecord {
    uint16_t inputState; /* input lines after the change, active = 1 */
    uint16_t eventValue; /* lines that changed, as reported by the hardware */
    uint8_t sequence;    /* 1 for the first event of a receive-thread run, mod 256 */
} DiEventRecord;
#pragma pack(pop)

/* Record of SetupDICOS (at least 6 bytes). */
typedef struct DicosSetup {
    uint16_t lineMask;     /* lines to watch, must not be empty */
    uint16_t modeMask;     /* edge mode bits, passed to the MCU unchanged */
    uint16_t polarityMask; /* active-level bits */
} DicosSetup;

/* Record filled by IGN_GetSetting (24 bytes). */
typedef struct IgnSetting {
    uint32_t setting0;
    uint32_t setting1;
    uint32_t setting2;
    uint32_t setting3;
    double voltage; /* volts */
} IgnSetting;

/* Record of DT2_Setup: exactly eight 32-bit words. */
typedef struct Dt2Setup {
    uint32_t words[8];
} Dt2Setup;

/* Callbacks run on the library's receive threads, outside its lock. */
typedef void(HX_CALLBACK *DicosCallbackFn)(DiEventRecord *event);
typedef void(HX_CALLBACK *CanReceivedCallbackFn)(CanMessage *message, uint32_t size);
typedef void(HX_CALLBACK *CanStatusCallbackFn)(uint32_t status);
typedef void(HX_CALLBACK *PwmStatusCallbackFn)(uint32_t generator, uint32_t status);
typedef void(HX_CALLBACK *Dt2IndexedCallbackFn)(uint32_t event);

/* Ordinals 1..77 in this order. */
HX_IMPORT uint32_t HX_API DIReadLine(uint8_t line);
HX_IMPORT uint16_t HX_API DIReadPort(void);
HX_IMPORT void HX_API DOWriteLine(uint8_t line, uint32_t value);
HX_IMPORT void HX_API DOWritePort(uint16_t value);
HX_IMPORT HX_BOOL HX_API InitDIO(void);
HX_IMPORT HX_BOOL HX_API InitWDT(void);
HX_IMPORT uint32_t HX_API RegisterWinIOService(void);
HX_IMPORT HX_BOOL HX_API ResetWDT(void);
HX_IMPORT HX_BOOL HX_API SetWDT(uint16_t count, uint8_t unit);
HX_IMPORT HX_BOOL HX_API StartWDT(void);
HX_IMPORT HX_BOOL HX_API StopWDT(void);
HX_IMPORT HX_BOOL HX_API SetupDICOS(DicosSetup *setup, uint32_t size);
HX_IMPORT HX_BOOL HX_API StartDICOS(void);
HX_IMPORT HX_BOOL HX_API StopDICOS(void);
HX_IMPORT HX_BOOL HX_API RegisterCallbackDICOS(DicosCallbackFn callback);
HX_IMPORT uint8_t HX_API GetStatusPoEPort(uint8_t port);
HX_IMPORT HX_BOOL HX_API EnablePoEPort(uint8_t port);
HX_IMPORT HX_BOOL HX_API DisablePoEPort(uint8_t port);
HX_IMPORT HX_BOOL HX_API SetupDTIO(void *setup, uint32_t size);
HX_IMPORT HX_BOOL HX_API StartDTIO(void);
HX_IMPORT HX_BOOL HX_API StopDTIO(void);
HX_IMPORT HX_BOOL HX_API SetUnitDTIO(uint16_t unit, uint32_t adjust);
HX_IMPORT uint16_t HX_API GetUnitDTIO(void);
HX_IMPORT HX_BOOL HX_API SetupDTFO(void *setup, uint32_t size);
HX_IMPORT HX_BOOL HX_API StartDTFO(void);
HX_IMPORT HX_BOOL HX_API StopDTFO(void);
HX_IMPORT HX_BOOL HX_API SetUnitDTFO(uint16_t unit, uint32_t adjust);
HX_IMPORT uint16_t HX_API GetUnitDTFO(void);
/* The checked writes: the write, then the output register is read back, with
 * a yield between reads, until it holds what was written. The wait is bounded:
 * after 100 ms of reads the call returns although the output did not read back
 * (a stuck or unpowered output costs at most that), releasing the library lock
 * it held throughout. */
HX_IMPORT void HX_API DOWriteLineChecked(uint8_t line, uint32_t value);
HX_IMPORT void HX_API DOWritePortChecked(uint16_t value);
HX_IMPORT HX_BOOL HX_API CAN_RegisterReceived(uint32_t index, CanReceivedCallbackFn callback);
HX_IMPORT HX_BOOL HX_API CAN_RegisterStatus(uint32_t index, CanStatusCallbackFn callback);
HX_IMPORT HX_BOOL HX_API CAN_Setup(uint32_t port, void *setup, uint32_t size);
HX_IMPORT HX_BOOL HX_API CAN_Start(uint32_t port);
HX_IMPORT HX_BOOL HX_API CAN_Stop(uint32_t port);
HX_IMPORT HX_BOOL HX_API CAN_Send(uint32_t port, CanMessage *message, uint32_t size);
HX_IMPORT HX_BOOL HX_API CAN_BitTimingGet(uint32_t port, void *timing, uint32_t size);
HX_IMPORT HX_BOOL HX_API CAN_BitTimingSet(uint32_t port, void *timing, uint32_t size);
HX_IMPORT HX_BOOL HX_API PWM_RegisterStatus(PwmStatusCallbackFn callback);
HX_IMPORT HX_BOOL HX_API PWM_GenSetup(uint32_t generator, void *setup, uint32_t size);
HX_IMPORT HX_BOOL HX_API PWM_GenPeriod(uint32_t generator, uint32_t period);
HX_IMPORT HX_BOOL HX_API PWM_PulseWidth(uint32_t pulse, uint32_t width);
HX_IMPORT HX_BOOL HX_API PWM_Start(uint32_t value);
HX_IMPORT HX_BOOL HX_API PWM_Stop(uint32_t value);
HX_IMPORT HX_BOOL HX_API PWM_SyncTimeBase(uint32_t generator);
HX_IMPORT HX_BOOL HX_API PWM_SyncUpdate(uint32_t generator);
HX_IMPORT HX_BOOL HX_API IGN_GetState(uint32_t *state);
HX_IMPORT HX_BOOL HX_API IGN_GetBatteryVoltage(double *volts);
HX_IMPORT HX_BOOL HX_API MCU_GetVersion(uint32_t *version);
HX_IMPORT HX_BOOL HX_API LED_SetCurrentDriving(uint32_t selection, uint32_t value);
HX_IMPORT HX_BOOL HX_API PWM_PulseInvert(uint32_t value);
HX_IMPORT HX_BOOL HX_API ADC_Start(uint32_t value);
HX_IMPORT HX_BOOL HX_API ADC_Stop(uint32_t value);
HX_IMPORT HX_BOOL HX_API ADC_GetData(uint32_t channel, double *volts);
HX_IMPORT HX_BOOL HX_API QEI_Start(uint32_t value);
HX_IMPORT HX_BOOL HX_API QEI_Stop(uint32_t value);
HX_IMPORT HX_BOOL HX_API QEI_Setup(uint32_t ignored, void *setup, uint32_t size);
HX_IMPORT HX_BOOL HX_API QEI_GetDirection(uint32_t channel, uint32_t *direction);
HX_IMPORT HX_BOOL HX_API QEI_GetVelocity(uint32_t channel, uint32_t *velocity);
HX_IMPORT HX_BOOL HX_API QEI_GetPosition(uint32_t channel, uint32_t *position);
HX_IMPORT HX_BOOL HX_API QEI_SetPosition(uint32_t channel, uint32_t position);
HX_IMPORT HX_BOOL HX_API IGN_GetSetting(IgnSetting *setting, uint32_t size);
HX_IMPORT uint8_t HX_API PCI_GetStatusPoEPort(uint32_t card, uint32_t port);
HX_IMPORT HX_BOOL HX_API PCI_EnablePoEPort(uint32_t card, uint32_t port);
HX_IMPORT HX_BOOL HX_API PCI_DisablePoEPort(uint32_t card, uint32_t port);
HX_IMPORT HX_BOOL HX_API PWM_ClockSet(uint32_t module, uint32_t clock);
HX_IMPORT HX_BOOL HX_API DT2_Setup(Dt2Setup *setup, uint32_t size);
HX_IMPORT HX_BOOL HX_API DT2_Start(void);
HX_IMPORT HX_BOOL HX_API DT2_Stop(void);
HX_IMPORT HX_BOOL HX_API DT2_SetUnit(uint32_t unit, uint32_t adjust);
HX_IMPORT uint16_t HX_API DT2_GetUnit(void);
HX_IMPORT HX_BOOL HX_API DT2_StPush(uint32_t mask, uint32_t values);
HX_IMPORT HX_BOOL HX_API DT2_StPull(uint32_t *values);
HX_IMPORT HX_BOOL HX_API DT2_EiRegisterIndexed(Dt2IndexedCallbackFn callback);
HX_IMPORT HX_BOOL HX_API DT2_EiSendResult(uint8_t index, uint8_t result);
HX_IMPORT HX_BOOL HX_API MCU_Reset(void);
HX_IMPORT HX_BOOL HX_API StopDIO(void);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* Record layouts are part of the binary interface. */
#ifdef __cplusplus
#define HX_STATIC_ASSERT static_assert
#else
#define HX_STATIC_ASSERT _Static_assert
#endif
HX_STATIC_ASSERT(sizeof(CanMessage) == 16, "CanMessage is 16 bytes");
HX_STATIC_ASSERT(offsetof(CanMessage, flags) == 4, "CanMessage.flags at 4");
HX_STATIC_ASSERT(offsetof(CanMessage, reserved) == 6, "CanMessage.reserved at 6");
HX_STATIC_ASSERT(offsetof(CanMessage, length) == 7, "CanMessage.length at 7");
HX_STATIC_ASSERT(offsetof(CanMessage, data) == 8, "CanMessage.data at 8");
HX_STATIC_ASSERT(sizeof(DiEventRecord) == 5, "DiEventRecord is 5 bytes");
HX_STATIC_ASSERT(offsetof(DiEventRecord, eventValue) == 2, "DiEventRecord.eventValue at 2");
HX_STATIC_ASSERT(offsetof(DiEventRecord, sequence) == 4, "DiEventRecord.sequence at 4");
HX_STATIC_ASSERT(sizeof(DicosSetup) == 6, "DicosSetup is 6 bytes");
HX_STATIC_ASSERT(offsetof(DicosSetup, modeMask) == 2, "DicosSetup.modeMask at 2");
HX_STATIC_ASSERT(offsetof(DicosSetup, polarityMask) == 4, "DicosSetup.polarityMask at 4");
HX_STATIC_ASSERT(sizeof(IgnSetting) == 24, "IgnSetting is 24 bytes");
HX_STATIC_ASSERT(offsetof(IgnSetting, setting3) == 12, "IgnSetting.setting3 at 12");
HX_STATIC_ASSERT(offsetof(IgnSetting, voltage) == 16, "IgnSetting.voltage at 16");
HX_STATIC_ASSERT(sizeof(Dt2Setup) == 32, "Dt2Setup is 32 bytes");

#endif /* HALVEX32_H */
