#include "os/posix/shared_segment_posix.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include "os/os_types.h"

namespace hx::os {
namespace {

constexpr u32 kRecordMagic = 0x47535848;  // "HXSG"
constexpr mode_t kModeBits = 0777;
constexpr mode_t kOtherUsersBits = 0077;
constexpr u32 kFnvBasis = 2166136261u;
constexpr u32 kFnvPrime = 16777619u;
constexpr u32 kKeyBits = 0x7FFFFFFF;  // a positive key, never IPC_PRIVATE

// The bytes of the named object.
struct Record {
    u32 magic;
    std::int32_t id;
    u64 bytes;
};

bool Matches(int id, std::size_t bytes, mode_t mode) {
    shmid_ds ds{};
    // A segment open to other users may be another user's; an owner-only one
    // must be ours.
    const bool otherUsers = (mode & kOtherUsersBits) != 0;
    return id >= 0 && shmctl(id, IPC_STAT, &ds) == 0 && ds.shm_segsz == bytes &&
           (otherUsers || ds.shm_perm.uid == geteuid()) && (ds.shm_perm.mode & kModeBits) == mode;
}

}  // namespace

int RecordedSegment(int fd, std::size_t bytes, mode_t mode) {
    Record r{};
    if (pread(fd, &r, sizeof r, 0) != static_cast<ssize_t>(sizeof r) || r.magic != kRecordMagic || r.bytes != bytes) {
        return -1;
    }
    return Matches(r.id, bytes, mode) ? r.id : -1;
}

int NewRecordedSegment(int fd, std::size_t bytes, mode_t mode) {
    const int id = shmget(IPC_PRIVATE, bytes, static_cast<int>(IPC_CREAT | mode));
    if (id < 0) return -1;
    const Record r{kRecordMagic, id, bytes};
    if (ftruncate(fd, 0) != 0 || pwrite(fd, &r, sizeof r, 0) != static_cast<ssize_t>(sizeof r)) {
        shmctl(id, IPC_RMID, nullptr);
        return -1;
    }
    return id;
}

void* AttachSegment(int id, void* at) {
    void* base = shmat(id, at, at ? SHM_REMAP : 0);
    return base == reinterpret_cast<void*>(-1) ? nullptr : base;
}

void DetachSegment(void* base) {
    if (base) shmdt(base);
}

void RemoveSegmentWhenUnused(int id) {
    if (id >= 0) shmctl(id, IPC_RMID, nullptr);
}

int KeyOfName(const char* name) {
    u32 h = kFnvBasis;
    for (const char* c = name; *c; ++c) h = (h ^ static_cast<unsigned char>(*c)) * kFnvPrime;
    const int key = static_cast<int>(h & kKeyBits);
    return key == IPC_PRIVATE ? 1 : key;
}

int KeyedSegment(int key, std::size_t bytes, mode_t mode) {
    const int id = shmget(key, 0, 0);
    return Matches(id, bytes, mode) ? id : -1;
}

int NewKeyedSegment(int key, std::size_t bytes, mode_t mode) {
    RemoveKeyedSegment(key);
    return shmget(key, bytes, static_cast<int>(IPC_CREAT | IPC_EXCL | mode));
}

void RemoveKeyedSegment(int key) {
    shmid_ds ds{};
    const int id = shmget(key, 0, 0);
    if (id >= 0 && shmctl(id, IPC_STAT, &ds) == 0 && ds.shm_perm.uid == geteuid()) shmctl(id, IPC_RMID, nullptr);
}

void RemoveRecordedSegment(int fd, std::size_t bytes, mode_t mode) { RemoveSegmentWhenUnused(RecordedSegment(fd, bytes, mode)); }

}  // namespace hx::os
