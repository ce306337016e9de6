// The raw side of the link benchmarks: the pseudo-terminal under a link,
// read and written directly while the link's receive thread is stopped (it
// would otherwise take the bytes).
#pragma once

#include <poll.h>
#include <unistd.h>

#include "mcu/link.h"
#include "mcu/receiver.h"

namespace hx::bench {

inline constexpr int kRawWaitMs = 1000;

// The descriptor behind a link's handle (the POSIX transport keeps fd + 1).
inline int LinkFd(const McuLink& link) { return static_cast<int>(link.comHandle.load() - 1); }

// The link's receive thread runs (a start returns once the thread has taken
// over the reads) or is stopped.
inline bool ReceiverRunning(McuLink& link, bool on) {
    if (!on) {
        StopLinkReceiver(link);
        return true;
    }
    const Bool32 started = &link == &serialPortCan ? StartCanReceiver() : StartMcuReceiver();
    return started && link.rxRunning.load() != 0;
}

// Exactly `count` bytes from the link's terminal; false once kRawWaitMs pass
// without any.
inline bool ReadRaw(const McuLink& link, u8* bytes, u32 count) {
    u32 got = 0;
    while (got < count) {
        pollfd p{LinkFd(link), POLLIN, 0};
        if (poll(&p, 1, kRawWaitMs) <= 0) return false;
        const ssize_t n = read(LinkFd(link), bytes + got, count - got);
        if (n > 0) got += static_cast<u32>(n);
    }
    return true;
}

}  // namespace hx::bench
