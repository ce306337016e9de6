#include "frame/lifecycle.h"

#include <atomic>

#include "frame/detect.h"
#include "core/hw_access.h"
#include "core/state.h"
#include "mcu/link.h"
#include "mcu/shared_link.h"
#include "os/os.h"

namespace hx {
namespace {

std::atomic<bool> g_attached{false};
std::atomic<bool> g_loaded{false};

void CallIfFilled(VoidFn fn) {
    if (fn) fn();
}

}  // namespace

bool LoadSequence() {
    os::LibraryLockCreate();
    // A library that refused to load keeps its process-local words: it must
    // not touch what the processes that did load share. The lock stays
    // created; no platform, no card.
    if (!HwOpen()) return false;
    BindSharedWords(os::AttachSharedWords());

    const PlatformOps* platform = FindPlatform();
    CurrentPlatform.store(platform);
    if (platform) CallIfFilled(platform->init.init);

    const ExpansionCardOps* card = FindExpansionCard();
    CurrentCard.store(card);
    if (card) CallIfFilled(card->init);
    return true;
}

void UnloadSequence() {
    if (const PlatformOps* p = CurrentPlatform.load()) {
        // Only the drivers that fill these slots set the flags.
        if (CanStarted.load()) p->can.CAN_Stop(0);
        if (DicosStarted.load()) p->dicos.StopDICOS();
        if (WdtRunning.load()) p->wdt.StopWDT();
        CallIfFilled(p->init.deinit);
    }
    HwClose();
    // The sharing server takes the library lock: it ends before the lock goes.
    StopSharedLinkServer();
    os::LibraryLockDelete();
}

bool ProcessAttach() {
    ResetProcessState();
    SetLinkDefaults();
    BindSharedWords(nullptr);
    g_attached.store(true);
    const bool ok = LoadSequence();
    g_loaded.store(ok);
    return ok;
}

// Windows calls the detach entry also after a refused attach, so the unload
// sequence runs then too (no platform: HwClose and the lock deletion only).
void ProcessDetach() {
    if (!g_attached.exchange(false)) return;
    g_loaded.store(false);
    UnloadSequence();
    CloseMcuLinks();
    BindSharedWords(nullptr);
    os::DetachSharedWords();
}

bool IsLoaded() { return g_loaded.load(); }

}  // namespace hx
