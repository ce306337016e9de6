// The receive threads. While CAN, DI change-of-state or DT2 events run, the
// MCU and the CAN controller send on their own, and one thread per link owns
// all reading of it: it reassembles the frames, hands answer frames to the
// exchange that waits for them, and calls the application's callbacks for
// event frames and CAN messages. A further small thread carries the DT2
// indexed event to its callback, outside the MCU receive thread, so that
// this callback may exchange frames with the MCU itself.
//
// The threads run at the top of the normal priority range and take no lock.
// A callback delays all further reception of its link while it runs; an MCU
// exchange started from a callback on the MCU receive thread cannot be
// answered and fails after its time-out.
#pragma once

#include <atomic>

#include "core/types.h"
#include "mcu/link.h"
#include "os/os.h"

namespace hx {

// 1 when a receive thread exists afterwards (also one that was there); 0 when
// the link has no receive-thread body, or its events or thread cannot be
// made. The thread sets rxRunning itself once it runs; until then the
// exchanges still read the link directly. Stopped with StopLinkReceiver.
Bool32 StartMcuReceiver();  // serialPortMcu
Bool32 StartCanReceiver();  // serialPortCan

// The bodies, with the link record as argument. McuReceiverThread in its two
// variants differs only in how a DI change event fills the DiEventRecord.
void McuReceiverThread8(void* link);
void McuReceiverThread16(void* link);
// The body of the boards whose MCU reports DI changes as 3-byte messages
// (lead, value, sum); the input state of the record is read from the GPIO
// block's input byte.
void DicosPortReceiverThread(void* link);
// Opens serialPortCan first and ends at once when it cannot.
void CanReceiverThread(void* link);

// The DT2 indexed event, carried from the MCU receive thread to the DT2
// event thread. One value, not a queue: a value that arrives before the
// previous one was delivered overwrites it.
struct Dt2EventRecord {
    std::atomic<os::Handle> event;  // manual-reset; set for each value and to stop
    std::atomic<os::Handle> thread;
    std::atomic<u32> running;
    std::atomic<u32> value;  // the last DT2 indexed value
};

extern Dt2EventRecord dt2EventRecord;

// The body, present only on platforms that have the DT2 event thread.
os::ThreadBody Dt2EventThreadBody();
void Dt2EventThread(void* record);

// 1 when the DT2 event thread exists afterwards; 0 without a body or when
// the event or the thread cannot be made.
Bool32 StartDt2EventThread();
// Afterwards the thread has ended (or was terminated where the OS allows
// it). The event stays until CloseDt2Event.
void StopDt2EventThread();
// Unload, after StopDt2EventThread and once no receive thread can signal
// it any more: releases the event.
void CloseDt2Event();

}  // namespace hx
