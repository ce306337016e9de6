#include "core/state.h"

namespace hx {

std::atomic<const PlatformOps*> CurrentPlatform{nullptr};
std::atomic<const ExpansionCardOps*> CurrentCard{nullptr};
std::atomic<u32> OsMajorVersion{0};
PlatformConfig Config{};

std::atomic<DicosCallbackFn> DicosCallback{nullptr};
std::atomic<CanReceivedCallbackFn> CanReceivedCallbacks[1]{};
std::atomic<CanStatusCallbackFn> CanStatusCallbacks[1]{};
std::atomic<PwmStatusCallbackFn> PwmStatusCallback{nullptr};
std::atomic<Dt2IndexedCallbackFn> Dt2IndexedCallback{nullptr};

std::atomic<u16> DtioUnit{0};
std::atomic<u16> DtfoUnit{0};
std::atomic<u16> Dt2Unit{0};

std::atomic<u8> CanStarted{0};
std::atomic<u8> DicosStarted{0};
std::atomic<u32> WdtRunning{0};

namespace {
SharedWords g_localWords{};
std::atomic<SharedWords*> g_sharedWords{&g_localWords};
}  // namespace

SharedWords& Shared() { return *g_sharedWords.load(std::memory_order_acquire); }

void BindSharedWords(SharedWords* words) {
    g_sharedWords.store(words ? words : &g_localWords, std::memory_order_release);
}

void ResetProcessState() {
    CurrentPlatform.store(nullptr);
    CurrentCard.store(nullptr);
    OsMajorVersion.store(0);
    Config.poePortCount.store(0);
    Config.dt2EventThread.store(false);
    Config.sharingServer.store(false);
    Config.dt2SourceMap.store(nullptr);
    Config.dioModeHook.store(nullptr);
    Config.triggerModeHook.store(nullptr);
    DicosCallback.store(nullptr);
    CanReceivedCallbacks[0].store(nullptr);
    CanStatusCallbacks[0].store(nullptr);
    PwmStatusCallback.store(nullptr);
    Dt2IndexedCallback.store(nullptr);
    DtioUnit.store(0);
    DtfoUnit.store(0);
    Dt2Unit.store(0);
    CanStarted.store(0);
    DicosStarted.store(0);
    WdtRunning.store(0);
}

}  // namespace hx
