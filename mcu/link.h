// McuLink: the record of one serial link. serialPortMcu is the MCU command
// link (115200 baud), serialPortCan the CAN data link (921600 baud).
#pragma once

#include <atomic>

#include "frame/types.h"
#include "os/os.h"

namespace hx {

// Receive-thread body chosen for a link by the platform init or a feature.
enum class RxThreadKind : u8 {
    None,
    McuEvents8,   // McuReceiverThread, 8-bit DI event variant
    McuEvents16,  // McuReceiverThread, 16-bit DI event variant
    CanReceiver,  // CanReceiverThread
    DicosPort,    // DicosPortReceiverThread (3-byte DI messages)
};

inline constexpr u32 kMcuLinkBaud = 115200;
inline constexpr u32 kCanLinkBaud = 921600;

struct McuLink {
    std::atomic<os::Handle> comHandle;
    std::atomic<os::Handle> rxThread;
    std::atomic<os::Handle> stopEvent;
    std::atomic<os::Handle> ioEvent;
    std::atomic<RxThreadKind> rxThreadProc;
    std::atomic<u32> portKind;
    std::atomic<u32> baudRate;
    std::atomic<u32> rxRunning;
    std::atomic<os::Handle> answerEvent;
    std::atomic<u32> heldCount;
    u8 frameBuf[16];
};

extern McuLink serialPortMcu;
extern McuLink serialPortCan;

// Process-attach presets: every field 0, then the two baud rates.
void SetLinkDefaults();
// Stops the link's receive thread and releases its events; comHandle stays.
void StopLinkReceiver(McuLink& link);
// Unload step after the unload sequence: releases both links.
void CloseMcuLinks();

}  // namespace hx
