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
extern PlatformConfig Config;

// Callback cells (written by the registration exports without a lock).
extern std::atomic<DicosCallbackFn> DicosCallback;
extern std::atomic<CanReceivedCallbackFn> CanReceivedCallbacks[1];
extern std::atomic<CanStatusCallbackFn> CanStatusCallbacks[1];
extern std::atomic<PwmStatusCallbackFn> PwmStatusCallback;
extern std::atomic<Dt2IndexedCallbackFn> Dt2IndexedCallback;

// Units returned by the GetUnit exports.
extern std::atomic<u16> DtioUnit;
extern std::atomic<u16> DtfoUnit;
extern std::atomic<u16> Dt2Unit;

// Start flags read by the unload sequence.
extern std::atomic<u8> CanStarted;
extern std::atomic<u8> DicosStarted;
extern std::atomic<u32> WdtRunning;

// The words shared by all processes that have the library loaded.
SharedWords& Shared();
void BindSharedWords(SharedWords* words);  // nullptr: process-local words

// Back to the load-time values (every cell 0, no platform, no card).
void ResetProcessState();

}  // namespace hx
