#include "features/qei.h"

#include "core/library_lock.h"
#include "mcu/frame.h"
#include "mcu/link.h"

namespace hx::qei {
namespace {

// Command codes of the encoder on serialPortMcu.
constexpr u8 kStopCode = 0xB0;
constexpr u8 kStartCode = 0xB1;
constexpr u8 kSelectChannelCode = 0xB2;  // the channel that B6h acts on
constexpr u8 kDirectionCode = 0xB3;
constexpr u8 kVelocityCode = 0xB4;
constexpr u8 kPositionCode = 0xB5;
constexpr u8 kSetPositionCode = 0xB6;
constexpr u8 kSetupFirstCode = 0xB9;  // setup word n at B9h + n

Bool32 Command(u8 code, u32 value) {
    if (!OpenCommandLink()) return kFalse;
    LibraryLockGuard lock;
    return McuCommand(code, value);
}

// The query carries the channel; the answer's word reaches `result` only
// when the answer came with the right code and checksum.
Bool32 Query(u8 code, u32 channel, u32* result) {
    if (!OpenCommandLink() || !result) return kFalse;
    u32 word = channel;
    {
        LibraryLockGuard lock;
        if (!McuQuery(code, &word)) return kFalse;
    }
    *result = word;
    return kTrue;
}

}  // namespace

Bool32 Start(u32 value) { return Command(kStartCode, value); }

Bool32 Stop(u32 value) { return Command(kStopCode, value); }

Bool32 Setup(u32, void* setup, u32 size) {
    if (!OpenCommandLink() || !setup) return kFalse;
    LibraryLockGuard lock;
    return McuCommandRange(kSetupFirstCode, setup, static_cast<const u8*>(setup) + size);
}

Bool32 GetDirection(u32 channel, u32* direction) { return Query(kDirectionCode, channel, direction); }

Bool32 GetVelocity(u32 channel, u32* velocity) { return Query(kVelocityCode, channel, velocity); }

Bool32 GetPosition(u32 channel, u32* position) { return Query(kPositionCode, channel, position); }

// One hold of the lock over both frames: no other exchange may fall between
// the channel selection and the position it is for.
Bool32 SetPosition(u32 channel, u32 position) {
    if (!OpenCommandLink()) return kFalse;
    LibraryLockGuard lock;
    return McuCommand(kSelectChannelCode, channel) && McuCommand(kSetPositionCode, position) ? kTrue : kFalse;
}

}  // namespace hx::qei
