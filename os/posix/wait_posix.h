// Waiting helpers shared by the POSIX events and serial ports.
#pragma once

#include <poll.h>

#include <cstdint>

#include "os/os_types.h"

namespace hx::os {

using i64 = std::int64_t;

i64 MonotonicMs();

// poll() with a time-out in milliseconds (kInfinite: none) that survives
// signals; returns poll's result (-1 on error). Readiness reported here is
// ordered after the EventSet that caused it.
int PollFor(pollfd* fds, u32 count, u32 timeoutMs);

}  // namespace hx::os
