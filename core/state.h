// Process-wide state of the library frame: the selected tables, the platform
// configuration stored by the per-platform init, the callback and unit cells,
// the start flags read at unload, and the shared words.
#pragma once

#include <atomic>

#include "core/platform_ops.h"
#include "core/types.h"
#include "os/os.h"

namespace hx {

// One (source code, mask) pair of a DT2 source map; a map ends with {0, 0}.
struct Dt2SourcePair {
    u32 code;
    u32 mask;
};

// Values a platform init stores for the drivers (besides the link records of
// mcu/link.h and DioSharedFlag).
struct PlatformConfig {
    std::atomic<u8> poePortCount;
    std::atomic<bool> dt2EventThread;       // Dt2EventThread available
    std::atomic<bool> sharingServer;        // SharedLinkServerThread available
    std::atomic<const Dt2SourcePair*> dt2SourceMap;
    std::atomic<VoidFn> dioModeHook;
    std::atomic<VoidFn> triggerModeHook;
};

extern std::atomic<const PlatformOps*> CurrentPlatform;
extern std::atomic<const ExpansionCardOps*> CurrentCard;
extern std::atomic<u32> OsMajorVersion;

// Load-time values of the watchdog's per-process words.
inline constexpr u16 kWdtInitialCount = 255;
inline constexpr u8 kWdtInitialUnit = 1;        // seconds
inline constexpr u16 kTcoInitialTicks = 100;    // 60 s of 0.6 s ticks

// Every per-process word of the library and its driver families, with the
// value a freshly loaded process starts with. A family that needs a word of
// its own adds it here, so that the one reset at load and unload covers it.
struct ProcessCells {
    PlatformConfig config{};

    // Callback cells (written by the registration exports without a lock).
    std::atomic<DicosCallbackFn> dicosCallback{nullptr};
    std::atomic<CanReceivedCallbackFn> canReceivedCallbacks[1]{};
    std::atomic<CanStatusCallbackFn> canStatusCallbacks[1]{};
    std::atomic<PwmStatusCallbackFn> pwmStatusCallback{nullptr};
    std::atomic<Dt2IndexedCallbackFn> dt2IndexedCallback{nullptr};

    // Units returned by the GetUnit exports.
    std::atomic<u16> dtioUnit{0};
    std::atomic<u16> dtfoUnit{0};
    std::atomic<u16> dt2Unit{0};

    // The pseudo-random generator of the L3 LED frames (a seed of 0 at load).
    std::atomic<u32> ledSeed{0};

    // Start flags read by the unload sequence.
    std::atomic<u8> canStarted{0};
    std::atomic<u8> dicosStarted{0};
    std::atomic<u32> wdtRunning{0};

    // Super I/O watchdog: time-out count and unit (0 minutes, 1 seconds);
    // SetWDT writes them without the lock.
    std::atomic<u16> wdtCount{kWdtInitialCount};
    std::atomic<u8> wdtUnit{kWdtInitialUnit};
    // TCO companion of W1: reload value in 0.6 s ticks, and whether it runs.
    std::atomic<u16> tcoTicks{kTcoInitialTicks};
    std::atomic<u32> tcoActive{0};

    // I/O base of the chipset's SMBus host controller; 0 until a finder
    // found one (poe/smbus.h).
    std::atomic<u16> smbusBase{0};
};

extern ProcessCells Cells;

// The cells under the names the drivers use.
inline constexpr PlatformConfig& Config = Cells.config;
inline constexpr auto& DicosCallback = Cells.dicosCallback;
inline constexpr auto& CanReceivedCallbacks = Cells.canReceivedCallbacks;
inline constexpr auto& CanStatusCallbacks = Cells.canStatusCallbacks;
inline constexpr auto& PwmStatusCallback = Cells.pwmStatusCallback;
inline constexpr auto& Dt2IndexedCallback = Cells.dt2IndexedCallback;
inline constexpr auto& DtioUnit = Cells.dtioUnit;
inline constexpr auto& DtfoUnit = Cells.dtfoUnit;
inline constexpr auto& Dt2Unit = Cells.dt2Unit;
inline constexpr auto& LedSeed = Cells.ledSeed;
inline constexpr auto& CanStarted = Cells.canStarted;
inline constexpr auto& DicosStarted = Cells.dicosStarted;
inline constexpr auto& WdtRunning = Cells.wdtRunning;

// The words shared by all processes that have the library loaded.
SharedWords& Shared();
void BindSharedWords(SharedWords* words);  // nullptr: process-local words

// Back to the load-time values: no platform, no card, every cell as a
// freshly loaded process has it.
void ResetProcessState();

}  // namespace hx
