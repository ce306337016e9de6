#include "core/state.h"

#include <memory>

namespace hx {

std::atomic<const PlatformOps*> CurrentPlatform{nullptr};
std::atomic<const ExpansionCardOps*> CurrentCard{nullptr};
std::atomic<u32> OsMajorVersion{0};
ProcessCells Cells{};

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
    // Called at load and unload only, when no library thread runs.
    std::destroy_at(&Cells);
    std::construct_at(&Cells);
}

}  // namespace hx
