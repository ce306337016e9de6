#pragma once

#include "os/os.h"

namespace hx {

// Scoped hold of LibraryLock, the recursive process-wide lock that drivers
// keep for a whole hardware or MCU exchange.
class LibraryLockGuard {
public:
    LibraryLockGuard() { os::LibraryLockEnter(); }
    ~LibraryLockGuard() { os::LibraryLockLeave(); }
    LibraryLockGuard(const LibraryLockGuard&) = delete;
    LibraryLockGuard& operator=(const LibraryLockGuard&) = delete;
};

}  // namespace hx
