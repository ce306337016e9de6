#include "core/library_lock.h"
#include "core/port_kind.h"
#include "core/state.h"
#include "dio/mcu_families.h"
#include "mcu/frame.h"
#include "mcu/link.h"
#include "mcu/shared_link.h"

namespace hx::mcudio {
namespace {

constexpr u32 kLineCount = 16;
// Request words: bits 16..31 name the lines (bit 16 + n for line n), bits
// 0..15 carry their levels (bit n for line n).
constexpr u32 kLevelBits = 0xFFFF;
constexpr u32 kLineRequest = 0x10000;    // line 0 named, level off; shifted left by the line
constexpr u32 kLineOnRequest = 0x10001;  // line 0 named, level on
constexpr u32 kAllLinesMask = 0xFFFF0000u;
constexpr u8 kVersionProbe = 0xFF;
constexpr u32 kDioInitialised = 1;

bool LineExists(u8 line) { return line < kLineCount; }

// The inputs are reported 0 = active: the complement reads 1 for an active
// line. A failed exchange leaves the request, whose level bits are 0.
u32 ActiveInputs(u32 diRequestWord) { return ~diRequestWord & kLevelBits; }

// StopLinkReceiver, then the port closed: the next operation opens it
// afresh.
void CloseLink() {
    StopLinkReceiver(serialPortMcu);
    CloseLinkPort(serialPortMcu);
}

// Opens the link and sends the version probe; the answer word is not used.
bool ProbeVersion() {
    if (!OpenMcuLink(serialPortMcu)) return false;
    u32 version = 0;
    return McuQuery(kVersionProbe, &version) != kFalse;
}

Bool32 Initialised() {
    Shared().dioSharedFlag.store(kDioInitialised);
    return kTrue;
}

}  // namespace

Bool32 InitDIO() {
    LibraryLockGuard lock;
    if (ProbeVersion()) return Initialised();
    CloseLink();
    return kFalse;
}

// The MCU of these boards also has a USB CDC function; it is tried first,
// and the UART at 2E8h stays the way when the USB port does not answer.
Bool32 InitDIOPreferUsb() {
    if (Shared().dioSharedFlag.load() == kDioInitialised) return kTrue;
    LibraryLockGuard lock;
    if (serialPortMcu.portKind.load() == kPortUart2E8) {
        CloseLink();
        serialPortMcu.portKind.store(kPortUsbCdc1CBE);
        if (ProbeVersion()) return Initialised();
        CloseLink();
        serialPortMcu.portKind.store(kPortUart2E8);
    }
    return InitDIO();
}

u16 DIReadPort() {
    u32 word = kAllLinesMask;
    ReadInputsShared(&word);
    return static_cast<u16>(ActiveInputs(word));
}

u32 DIReadLine(u8 line) {
    if (!LineExists(line)) return 0;
    u32 word = kLineRequest << line;
    ReadInputsShared(&word);
    return (ActiveInputs(word) >> line) & 1;
}

void DOWriteLine(u8 line, u32 value) {
    if (!LineExists(line)) return;
    WriteOutputsShared((value ? kLineOnRequest : kLineRequest) << line);
}

void DOWritePort(u16 value) { WriteOutputsShared(kAllLinesMask | (value & kLevelBits)); }

}  // namespace hx::mcudio
