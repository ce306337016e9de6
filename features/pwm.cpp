#include "features/pwm.h"

#include <initializer_list>

#include "core/library_lock.h"
#include "mcu/frame.h"
#include "mcu/link.h"

namespace hx::pwm {
namespace {

// Command codes on the MCU command link; all are posted.
constexpr u8 kStopCode = 0x90;
constexpr u8 kStartCode = 0x91;
constexpr u8 kSelectGenerator = 0x92;
constexpr u8 kPeriodCode = 0x93;
constexpr u8 kSelectPulse = 0x94;
constexpr u8 kWidthCode = 0x95;
constexpr u8 kInvertCode = 0x96;
constexpr u8 kSyncTimeBaseCode = 0x97;
constexpr u8 kSyncUpdateCode = 0x98;
constexpr u8 kClockCode = 0x99;
constexpr u32 kNoPayload = 0;

// The generator setup record: three 32-bit words, posted from 9Ah on.
constexpr u32 kSetupWords = 3;
constexpr u32 kSetupBytes = kSetupWords * sizeof(u32);

struct Post {
    u8 code;
    u32 word;
};

// The frames in order, the first failed one ending the run; the caller
// holds the library lock.
bool PostInOrder(std::initializer_list<Post> posts) {
    for (const Post& p : posts) {
        if (!McuPost(p.code, p.word)) return false;
    }
    return true;
}

// Opens the link, then posts the frames under the library lock.
Bool32 PostUnderLock(std::initializer_list<Post> posts) {
    if (!OpenCommandLink()) return kFalse;
    LibraryLockGuard lock;
    return PostInOrder(posts) ? kTrue : kFalse;
}

}  // namespace

Bool32 ClockSet(u32, u32 clock) { return PostUnderLock({{kClockCode, clock}}); }

Bool32 GenSetup(u32 generator, void* setup, u32 size) {
    if (!OpenCommandLink()) return kFalse;
    if (!setup || size < kSetupBytes) return kFalse;
    const u8* words = static_cast<const u8*>(setup);
    LibraryLockGuard lock;
    return PostInOrder({{kSelectGenerator, generator}}) && McuPostRange(words, words + kSetupBytes) ? kTrue : kFalse;
}

Bool32 GenPeriod(u32 generator, u32 period) {
    return PostUnderLock({{kSelectGenerator, generator}, {kPeriodCode, period}});
}

Bool32 PulseWidth(u32 pulse, u32 width) { return PostUnderLock({{kSelectPulse, pulse}, {kWidthCode, width}}); }

Bool32 PulseInvert(u32 value) { return PostUnderLock({{kInvertCode, value}}); }

Bool32 Start(u32 value) { return PostUnderLock({{kStartCode, value}}); }

Bool32 Stop(u32 value) { return PostUnderLock({{kStopCode, value}}); }

Bool32 SyncTimeBase(u32 generator) {
    return PostUnderLock({{kSelectGenerator, generator}, {kSyncTimeBaseCode, kNoPayload}});
}

Bool32 SyncUpdate(u32 generator) {
    return PostUnderLock({{kSelectGenerator, generator}, {kSyncUpdateCode, kNoPayload}});
}

}  // namespace hx::pwm
