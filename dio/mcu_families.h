// DIO families whose lines belong to the on-board MCU: D7, D8, D12. Sixteen
// inputs and sixteen outputs, reached by the input query 35h and the output
// command 37h on serialPortMcu, directly or through the process that holds
// the port. Only InitDIO differs between the families; there is no read-back,
// so the checked slots hold the plain writes.
#pragma once

#include "core/platform_ops.h"

namespace hx {
namespace mcudio {

// Version probe (FFh); the link stays open on success, is closed on failure.
Bool32 InitDIO();
// The same probe, first on the MCU's USB CDC port; keeps the port kind that
// answered. Returns 1 at once once the DIO is initialised in any process.
Bool32 InitDIOPreferUsb();
// Lines 0..15; an input reads 1 when active. A failed exchange reads every
// requested line as active.
u32 DIReadLine(u8 line);
u16 DIReadPort();
// Lines 0..15, value nonzero = on; lines above 15 are ignored.
void DOWriteLine(u8 line, u32 value);
void DOWritePort(u16 value);

}  // namespace mcudio

inline constexpr u8 kMcuDioLines = 16;  // inputs and outputs alike

constexpr DioOps McuDio(const char* family, Bool32 (*init)()) {
    return {family,           init,
            &mcudio::DIReadLine, &mcudio::DIReadPort,
            &mcudio::DOWriteLine, &mcudio::DOWritePort,
            &mcudio::DOWriteLine, &mcudio::DOWritePort,
            kMcuDioLines,      kMcuDioLines};
}

inline constexpr DioOps D7 = McuDio("D7", &mcudio::InitDIO);
inline constexpr DioOps D8 = McuDio("D8", &mcudio::InitDIOPreferUsb);
inline constexpr DioOps D12 = McuDio("D12", &mcudio::InitDIO);

}  // namespace hx
