#include "features/dt2.h"

#include <cstring>
#include <iterator>

#include "core/hw_access.h"
#include "core/library_lock.h"
#include "dio/routing.h"
#include "mcu/frame.h"
#include "mcu/link.h"
#include "mcu/receiver.h"
#include "os/os.h"

namespace hx::dt2 {
namespace {

// Command codes of the engine on serialPortMcu.
constexpr u8 kCmdStop = 0x50;
constexpr u8 kCmdStart = 0x51;
constexpr u8 kCmdUnit = 0x52;
constexpr u8 kCmdSetupFirst = 0x53;  // words 0..7 at 53h..5Ah
constexpr u8 kCmdResult = 0x5F;

// The setup record: eight 32-bit words.
constexpr u32 kSetupWords = 8;
constexpr u32 kSetupBytes = kSetupWords * sizeof(u32);
static_assert(sizeof(Dt2Setup) == kSetupBytes);
constexpr u32 kControlWord = 0;
constexpr u32 kFirstSourceWord = 2;
constexpr u32 kSecondSourceWord = 3;

// Control word: bits 24..31 the source kind; bit 10 or 11 asks for indexed events.
constexpr u32 kSourceKindShift = 24;
constexpr u32 kKindNoSources = 0;   // first source unused, second passed as it is
constexpr u32 kKindSecondOnly = 4;  // first source unused, second a source code
constexpr u32 kIndexedReporting = 0x0C00;

// The unit word: unit x 80 + adjust, modulo 2^32.
constexpr u32 kUnitFactor = 80;
constexpr u32 kUnitCellMask = 0xFFFF;

// Result payload: byte 0 the index, byte 1 the result.
constexpr u32 kResultShift = 8;

// E1 pad words: bit 0 is the line level.
constexpr u32 kE1PushPads[] = {0xFED0C078, 0xFED0C068, 0xFED0C218, 0xFED0C208, 0xFED0C098,
                               0xFED0C088, 0xFED0C1F8, 0xFED0C1E8, 0xFED0C1B8};
constexpr u32 kE1PullPads[] = {0xFED0C358, 0xFED0C2F8, 0xFED0C348, 0xFED0C318,
                               0xFED0C138, 0xFED0C108, 0xFED0C508, 0xFED0C528};
constexpr u32 kE1Level = 0x1;

// E2 pad words.
constexpr u32 kE2PushPads[] = {0xFDAE04C0, 0xFDAE04C8};
constexpr u32 kE2PullPads[] = {0xFDAE04D0, 0xFDAE0578};
constexpr u32 kE2OutputLevel = 0x001;
constexpr u32 kE2InputLevel = 0x002;
constexpr u32 kE2OutputDisable = 0x100;
constexpr u32 kE2InputDisable = 0x200;
constexpr u32 kE2InputBit = 1;  // bit number of kE2InputLevel
constexpr u32 kE2SettleMs = 2;  // an input switched on settles within this

// Opens the link and echoes one command, all under the library lock.
bool Exchange(u8 code, u32 word) {
    LibraryLockGuard lock;
    return OpenCommandLink() && McuCommand(code, word);
}

// Source fields of the copy as the kind asks; false when a source code is
// not in the platform's map.
bool MapSources(u32* words) {
    const Dt2SourcePair* map = Config.dt2SourceMap.load();
    const u32 kind = words[kControlWord] >> kSourceKindShift;
    if (kind == kKindNoSources || kind == kKindSecondOnly) {
        words[kFirstSourceWord] = 0;
    } else if ((words[kFirstSourceWord] = LookupSource(map, words[kFirstSourceWord])) == 0) {
        return false;
    }
    return kind == kKindNoSources || (words[kSecondSourceWord] = LookupSource(map, words[kSecondSourceWord])) != 0;
}

u32 Bit(u32 value, u32 n) { return (value >> n) & 1u; }

u32 ReadPad(u32 address) {
    u32 word = 0;
    HwReadPhys32(address, &word);
    return word;
}

}  // namespace

u32 LookupSource(const Dt2SourcePair* map, u32 code) {
    if (!map || code == 0) return 0;
    for (const Dt2SourcePair* p = map; p->code != 0 || p->mask != 0; ++p) {
        if (p->code == code) return p->mask;
    }
    return 0;
}

Bool32 Setup(Dt2Setup* setup, u32 size) {
    {
        LibraryLockGuard lock;
        if (!OpenCommandLink()) return kFalse;
    }
    if (!setup || size != kSetupBytes) return kFalse;
    u32 words[kSetupWords];
    std::memcpy(words, setup->words, sizeof words);
    if (!MapSources(words)) return kFalse;
    {
        LibraryLockGuard lock;
        if (!McuCommandRange(kCmdSetupFirst, words, words + kSetupWords)) return kFalse;
    }
    if ((words[kControlWord] & kIndexedReporting) == 0) return kTrue;
    return StartMcuReceiver() && StartDt2EventThread() ? kTrue : kFalse;
}

Bool32 Start() {
    if (!Exchange(kCmdStart, 0)) return kFalse;
    CallTriggerModeHookIfSet();
    return kTrue;
}

Bool32 Stop() {
    if (!Exchange(kCmdStop, 0)) return kFalse;
    CallDioModeHookIfSet();
    return kTrue;
}

Bool32 SetUnit(u32 unit, u32 adjust) {
    if (!Exchange(kCmdUnit, unit * kUnitFactor + adjust)) return kFalse;
    Dt2Unit.store(static_cast<u16>(unit & kUnitCellMask));
    return kTrue;
}

Bool32 EiSendResult(u8 index, u8 result) {
    return Exchange(kCmdResult, u32{index} | u32{result} << kResultShift) ? kTrue : kFalse;
}

Bool32 StPushE1(u32, u32 values) {
    for (u32 i = 0; i < std::size(kE1PushPads); ++i) {
        const u32 word = ReadPad(kE1PushPads[i]);
        HwWritePhys32(kE1PushPads[i], (word & ~kE1Level) | Bit(values, i));
    }
    return kTrue;
}

Bool32 StPullE1(u32* values) {
    u32 result = 0;
    for (u32 i = 0; i < std::size(kE1PullPads); ++i) result |= (ReadPad(kE1PullPads[i]) & kE1Level) << i;
    if (!values) return kFalse;
    *values = result;
    return kTrue;
}

Bool32 StPushE2(u32 mask, u32 values) {
    for (u32 i = 0; i < std::size(kE2PushPads); ++i) {
        if (!Bit(mask, i)) continue;
        const u32 word = ReadPad(kE2PushPads[i]) & ~(kE2OutputLevel | kE2OutputDisable);
        HwWritePhys32(kE2PushPads[i], word | Bit(values, i) | kE2InputDisable);
    }
    return kTrue;
}

Bool32 StPullE2(u32* values) {
    u32 result = 0;
    for (u32 i = 0; i < std::size(kE2PullPads); ++i) {
        u32 word = ReadPad(kE2PullPads[i]);
        if ((word & kE2OutputDisable) == 0) {
            HwWritePhys32(kE2PullPads[i], (word & ~(kE2InputLevel | kE2InputDisable)) | kE2OutputDisable);
            os::SleepMs(kE2SettleMs);
            word = ReadPad(kE2PullPads[i]);
        }
        result |= Bit(word, kE2InputBit) << i;
    }
    if (!values) return kFalse;
    *values = result;
    return kTrue;
}

}  // namespace hx::dt2
