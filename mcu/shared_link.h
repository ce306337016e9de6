// Sharing of the MCU link between processes. The COM port of the MCU opens
// without sharing, so one process (the owner) holds serialPortMcu; it runs a
// server thread that carries out two requests for every other process (a
// client): read the input word, write an output word. A client takes the
// client mutex, writes its request into the shared block under the block
// mutex, sets the request event and waits up to 1000 ms for the reply event.
// A process is owner or client per operation, by the outcome of OpenMcuLink.
#pragma once

#include <atomic>

#include "core/types.h"
#include "os/os.h"

namespace hx {

// The shared block: 32 bytes mapped by name, or the 8-byte fallback in the
// shared data section. Word indices:
inline constexpr u32 kBlockRequestWord = 0;  // 0 (or a zero high half): read; else a DoRequestWord to write
inline constexpr u32 kBlockAnswerWord = 1;   // the input word of the last read
// Where the block is the library's own (os::SharedBlockNumbered): the number
// of the last request written and of the last request carried out, so that a
// late reply to a request that timed out is never taken for the next one.
inline constexpr u32 kBlockRequestNumber = 2;
inline constexpr u32 kBlockAnswerNumber = 3;

inline constexpr u32 kSharedBlockBytes = 32;
inline constexpr u32 kFallbackBlockBytes = 8;
inline constexpr u32 kNumberedBlockBytes = 16;

inline constexpr u32 kSharedReplyTimeoutMs = 1000;  // a client's wait for the owner
inline constexpr u32 kSharedAnsweredPauseMs = 1;    // lets the owner reset the request event
// While it waits, a client looks this often whether the port has come free:
// an owner that died holds it no longer, and its reply will never come.
inline constexpr u32 kOwnerProbeMs = 100;

// The DiRequestWord of all sixteen inputs, which the owner queries for every
// read; also the answer word when the owner could not get the MCU's answer.
inline constexpr u32 kAllInputsRequest = 0xFFFF0000u;

// Per process, static.
struct SharedLink {
    std::atomic<os::Handle> requestEvent;  // "Global\Qdx_Tx"
    std::atomic<os::Handle> replyEvent;    // "Global\Qdx_Rx"
    std::atomic<os::Handle> clientMutex;   // "Global\Qdx_Ux"
    std::atomic<os::Handle> blockMutex;    // "Global\Qdx_Wx"
    std::atomic<os::Handle> serverThread;
    std::atomic<u32> serverRunning;
    std::atomic<std::atomic<u32>*> blockView;
    std::atomic<os::Handle> blockMapping;  // 0 with the fallback
    std::atomic<const char*> blockName;    // nullptr with the fallback
    std::atomic<u32> blockSize;            // 32, 8 with the fallback, 0 before the first set-up
    std::atomic<u32> requestNumber;        // this client's request (numbered blocks)
};

extern SharedLink sharedLink;

// 1 when the four named events and mutexes exist in this process; sets up
// the shared block as a side effect.
Bool32 OpenSharedLinkObjects();
Bool32 EnableGlobalCreatePrivilege();
// 1 with the named 32-byte block, 0 with the fallback.
Bool32 MapSharedBlock(const char* name);
// 1 when this process has a server thread afterwards (never without the
// server body of the platform init).
Bool32 StartSharedLinkServer();
void StopSharedLinkServer();
void SharedLinkServerThread(void* link);  // a SharedLink
// Client side. 1 when the owner answered within 1000 ms; 0 early when the
// port came free during the wait (this process holds it then).
Bool32 SignalSharedRequest();
// 1 when the owner answered.
Bool32 SharedWriteOutputs(u32 doRequestWord);
// 1 with the owner's answer word in *inputWord; 0 on a time-out, *inputWord
// unchanged.
Bool32 SharedReadInputs(u32* inputWord);
// The unload step: stops the server, releases the block and the objects.
Bool32 CloseSharedLink();

// The two DIO exchanges of the MCU, by whichever way this process has to
// the MCU now: direct when it holds the port and serves the others, else
// through the owner. Take the library lock for the whole exchange.
// `diRequestWord` becomes the answer word on success.
Bool32 ReadInputsShared(u32* diRequestWord);
void WriteOutputsShared(u32 doRequestWord);

}  // namespace hx
