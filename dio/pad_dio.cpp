// D10 (Ondra-01): two outputs on memory-mapped SoC pads, written whole with
// 0 or 1; the pads reach the connector once the enable word is 0.
#include "core/hw_access.h"
#include "core/library_lock.h"
#include "core/state.h"
#include "dio/port_dio.h"

namespace hx {
namespace {

constexpr u32 kPadOutputsEnable = 0xFED0C1D8;  // 0: the output pads drive the connector
constexpr u32 kPadOutput0 = 0xFED0C168;
constexpr u32 kPadOutput1 = 0xFED0C058;
constexpr u32 kPadEnabled = 0;
constexpr u32 kPadOn = 1;
constexpr u32 kPadOff = 0;

}  // namespace

Bool32 InitDioPadOutputs() {
    if (Shared().dioSharedFlag.load() != 0) return kTrue;
    LibraryLockGuard lock;
    HwWritePhys32(kPadOutputsEnable, kPadEnabled);
    Shared().dioSharedFlag.store(1);
    return kTrue;
}

// No lock: each write is one 32-bit store, and nothing is read first.
void PadOutputWriteLine(u8 line, u32 value) {
    if (Shared().dioSharedFlag.load() == 0) return;
    const u32 level = value ? kPadOn : kPadOff;
    if (line == 0) HwWritePhys32(kPadOutput0, level);
    if (line == 1) HwWritePhys32(kPadOutput1, level);
}

}  // namespace hx
