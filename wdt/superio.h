// Access to the IT87-series Super I/O through its configuration ports: the
// entry key, register index/data writes and reads, logical device selection
// and the return to normal mode. Every sequence runs inside LibraryLock.
#pragma once

#include "core/types.h"

namespace hx::sio {

inline constexpr u16 kIndexPort = 0x2E;
inline constexpr u16 kDataPort = 0x2F;

// The MB PnP entry key for the 2Eh port pair.
inline constexpr u8 kEntryKey[] = {0x87, 0x01, 0x55, 0x55};

// Chip-global configuration registers.
inline constexpr u8 kRegConfigControl = 0x02;  // bit 1: return to "wait for key"
inline constexpr u8 kReturnToWaitForKey = 0x02;
inline constexpr u8 kRegLogicalDevice = 0x07;
inline constexpr u8 kRegChipIdHigh = 0x20;
inline constexpr u8 kRegChipIdLow = 0x21;
inline constexpr u8 kRegClockSelect = 0x23;        // W4 writes its clock/pin setting here
inline constexpr u8 kRegGpioSet3PinSelect = 0x27;  // multi-function pin selection, GPIO set 3
inline constexpr u8 kRegExtPinSelect = 0x2A;       // extended multi-function pin selection

inline constexpr u8 kLdnGpio = 0x07;  // GPIO logical device: watchdog and LED blink

// Registers of logical device 7.
inline constexpr u8 kRegWdtConfig = 0x72;     // unit and reset output routing
inline constexpr u8 kRegWdtValueLow = 0x73;   // time-out value, low byte
inline constexpr u8 kRegWdtValueHigh = 0x74;  // time-out value, high byte
inline constexpr u8 kRegLedBlinkPins = 0xF8;  // GP LED blink 1: pin mapping
inline constexpr u8 kRegLedBlinkCtrl = 0xF9;  // GP LED blink 1: control

// GP LED blink 1 settings the watchdog families write: the pin location
// code of the board's watchdog LED (set 3 pin 7 on the older boards, set 5
// pin 2 on the newer ones) and the blink control value.
inline constexpr u8 kLedPinGp37 = 0x1F;
inline constexpr u8 kLedPinGp52 = 0x2A;
inline constexpr u8 kLedBlinkControl = 0x02;

// Bits of the watchdog configuration register 72h.
inline constexpr u8 kWdtUnitSeconds = 0x80;  // set: count seconds; clear: minutes
inline constexpr u8 kWdtResetKrst = 0x40;    // time-out pulses KRST#
inline constexpr u8 kWdtResetPwrOk = 0x10;   // time-out drops PWROK

// The entry key: from "wait for key" into configuration mode.
void Enter();
void SelectGpio();
void Write(u8 reg, u8 value);
u8 Read(u8 reg);
void Exit();

// Read-modify-write of one bit mask.
void SetBits(u8 reg, u8 mask);
void ClearBits(u8 reg, u8 mask);

// The 16-bit time-out value: 73h gets the low byte, then 74h the high byte.
void WriteWdtValue(u16 value);

}  // namespace hx::sio
