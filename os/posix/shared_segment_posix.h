// Memory that the processes opening one name share and that none of them
// can shrink under the others. A named shared-memory object that is mapped
// directly turns every access into SIGBUS once any process with write access
// truncates it; a System V segment has a fixed size for its whole life. So
// the segment holds the data, and the named object is only the rendezvous:
// its flock tells who is alone, and its few bytes name the segment. Garbage
// or a truncation there costs a new process the way to the segment (it gets
// a fresh one); processes already attached go on with theirs.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace hx::os {

// The segment that the object behind `fd` names, when it is `bytes` long,
// belongs to this user and has `mode`; -1 when the record is missing, cut
// short, garbage or names a segment that is gone.
int RecordedSegment(int fd, std::size_t bytes, mode_t mode);
// A new zeroed segment of `bytes` with `mode`, recorded in the object behind
// `fd`; -1 on failure (nothing recorded).
int NewRecordedSegment(int fd, std::size_t bytes, mode_t mode);
// Attaches segment `id` (at `at` in place of what is mapped there, when not
// nullptr); nullptr on failure.
void* AttachSegment(int id, void* at = nullptr);
void DetachSegment(void* base);
// Marks `id` for removal: it goes once the last process detaches (Linux lets
// processes attach it until then).
void RemoveSegmentWhenUnused(int id);
// Removes the segment that the object behind `fd` records, if any.
void RemoveRecordedSegment(int fd, std::size_t bytes, mode_t mode);

// Segments found by a key made from a name instead (one that must outlive
// every process, so it cannot go with the last one attached): a truncation
// or garbage in the named object cannot lose it.
int KeyOfName(const char* name);
// The segment under `key` when it is `bytes` long, ours and of `mode`; -1 otherwise.
int KeyedSegment(int key, std::size_t bytes, mode_t mode);
// A new zeroed segment under `key`; whatever was under it before is marked
// for removal (processes attached to it keep it). -1 on failure.
int NewKeyedSegment(int key, std::size_t bytes, mode_t mode);
// Marks whatever this user has under `key` for removal.
void RemoveKeyedSegment(int key);

}  // namespace hx::os
