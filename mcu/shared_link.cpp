#include "mcu/shared_link.h"

#include "core/library_lock.h"
#include "core/state.h"
#include "mcu/frame.h"
#include "mcu/link.h"

namespace hx {

SharedLink sharedLink{};

namespace {

constexpr char kGlobalBlockName[] = "Global\\Qdx_Sm";
constexpr char kLocalBlockName[] = "Qdx_Sm";  // when the global namespace is out of reach

constexpr u8 kDiReadCommand = 0x35;
constexpr u8 kDoWriteCommand = 0x37;
constexpr u32 kWriteMaskShift = 16;  // a DoRequestWord's high half names the outputs to change
constexpr u32 kNoRequest = 0;        // request numbers start at 1

struct NamedObject {
    std::atomic<os::Handle> SharedLink::*field;
    const char* name;
    bool mutex;
};
// In the order they are opened.
constexpr NamedObject kNamedObjects[] = {
    {&SharedLink::requestEvent, "Global\\Qdx_Tx", false},
    {&SharedLink::replyEvent, "Global\\Qdx_Rx", false},
    {&SharedLink::clientMutex, "Global\\Qdx_Ux", true},
    {&SharedLink::blockMutex, "Global\\Qdx_Wx", true},
};

std::atomic<u32>* Fallback() { return Shared().linkFallback; }

std::atomic<u32>& Word(SharedLink& s, u32 index) { return s.blockView.load()[index]; }

bool Numbered(const SharedLink& s) { return os::SharedBlockNumbered() && s.blockSize.load() >= kNumberedBlockBytes; }

// A holder of the block mutex died: its half-written request must not be
// carried out, and no client may take its words for an answer.
void RestoreBlockWords() {
    SharedLink& s = sharedLink;
    if (s.blockSize.load() == 0) return;
    Word(s, kBlockRequestWord).store(0);
    Word(s, kBlockAnswerWord).store(kAllInputsRequest);
    if (Numbered(s)) Word(s, kBlockAnswerNumber).store(kNoRequest);
}

// A client died during its request: the events it may have left set belong
// to nobody now.
void ResetLinkEvents() {
    os::NamedEventReset(sharedLink.replyEvent.load());
    os::NamedEventReset(sharedLink.requestEvent.load());
}

// Scoped holds of the two mutexes. A mutex whose holder died counts as
// acquired; one that cannot be waited for is not held, and the request goes
// on without it.
class NamedLock {
public:
    NamedLock(os::Handle mutex, void (*repair)()) : mutex_(mutex) {
        held_ = os::NamedMutexLock(mutex, repair) != os::MutexWait::Failed;
    }
    ~NamedLock() {
        if (held_) os::NamedMutexUnlock(mutex_);
    }
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

private:
    os::Handle mutex_;
    bool held_;
};

class BlockLock : public NamedLock {
public:
    explicit BlockLock(SharedLink& s) : NamedLock(s.blockMutex.load(), RestoreBlockWords) {}
};

class ClientLock : public NamedLock {
public:
    explicit ClientLock(SharedLink& s) : NamedLock(s.clientMutex.load(), ResetLinkEvents) {}
};

Bool32 UseFallbackBlock(SharedLink& s) {
    s.blockMapping.store(os::kNoHandle);
    s.blockView.store(Fallback());
    s.blockName.store(nullptr);
    s.blockSize.store(kFallbackBlockBytes);
    return kFalse;
}

// ---- owner --------------------------------------------------------------------

struct Request {
    u32 word;
    u32 number;  // kNoRequest where the block carries no numbers
};

Request TakeRequest(SharedLink& s) {
    BlockLock lock(s);
    if (s.blockSize.load() == 0) return {};
    return {Word(s, kBlockRequestWord).load(), Numbered(s) ? Word(s, kBlockRequestNumber).load() : kNoRequest};
}

u32 LatestRequestNumber(SharedLink& s) {
    BlockLock lock(s);
    return Word(s, kBlockRequestNumber).load();
}

// The MCU exchange of one request, under the library lock; the answer word
// (and the number) go back into the block.
void CarryOut(SharedLink& s, const Request& r) {
    LibraryLockGuard library;
    const bool write = (r.word >> kWriteMaskShift) != 0;
    u32 answer = kAllInputsRequest;  // stays so when the MCU does not answer
    if (write) McuCommand(kDoWriteCommand, r.word);  // the client does not learn the outcome
    else McuQuery(kDiReadCommand, &answer);
    BlockLock lock(s);
    if (!write && s.blockSize.load() > sizeof(u32)) Word(s, kBlockAnswerWord).store(answer);
    if (Numbered(s)) Word(s, kBlockAnswerNumber).store(r.number);
}

// Carries out what the request event announced. With numbered requests a
// request already carried out is not repeated, and one that came while the
// last was carried out is taken at once: resetting the request event may
// have wiped its announcement.
void ServeRequests(SharedLink& s, u32& served) {
    for (;;) {
        const Request r = TakeRequest(s);
        const bool fresh = !Numbered(s) || r.number != served;
        if (fresh) {
            CarryOut(s, r);
            served = r.number;
            os::NamedEventSet(s.replyEvent.load());
        }
        os::NamedEventReset(s.requestEvent.load());
        if (!Numbered(s) || LatestRequestNumber(s) == served) return;
    }
}

// ---- client -------------------------------------------------------------------

// True when the reply in the block answers this client's request.
bool ReplyIsOurs(SharedLink& s) {
    BlockLock lock(s);
    return Word(s, kBlockAnswerNumber).load() == s.requestNumber.load();
}

// True when this process could open the port: its owner is gone (a killed
// owner's port closes with it), and no reply will come.
bool OwnerGone() { return OpenMcuLink(serialPortMcu) != kFalse; }

// Waits for the reply event until the deadline, in slices of kOwnerProbeMs
// between which it looks whether the owner is gone. On a numbered block a
// reply to an earlier request is reset and waited past.
bool AwaitReply(SharedLink& s) {
    const os::Handle reply = s.replyEvent.load();
    const u64 deadline = os::NowMs() + kSharedReplyTimeoutMs;
    for (;;) {
        const u64 now = os::NowMs();
        const u32 slice = now < deadline ? static_cast<u32>(deadline - now) : 0;
        if (!os::NamedEventWait(reply, slice < kOwnerProbeMs ? slice : kOwnerProbeMs)) {
            if (slice <= kOwnerProbeMs || OwnerGone()) return false;
            continue;
        }
        if (!Numbered(s) || ReplyIsOurs(s)) return true;
        os::NamedEventReset(reply);
        // The owner writes the number before it sets the event: a reply that
        // came just before the reset is seen here.
        if (ReplyIsOurs(s)) return true;
    }
}

void PostRequest(SharedLink& s, u32 word) {
    if (s.blockSize.load() == 0) return;
    BlockLock lock(s);
    Word(s, kBlockRequestWord).store(word);
    if (!Numbered(s)) return;
    u32 number = Word(s, kBlockRequestNumber).load() + 1;
    if (number == kNoRequest) ++number;
    s.requestNumber.store(number);
    Word(s, kBlockRequestNumber).store(number);
}

// The way of one operation: true when this process holds the port and
// serves the others; otherwise the shared objects are open (if they can be).
bool DirectWay() {
    if (OpenMcuLink(serialPortMcu) && StartSharedLinkServer()) return true;
    OpenSharedLinkObjects();
    return false;
}

}  // namespace

Bool32 EnableGlobalCreatePrivilege() { return os::EnableGlobalCreatePrivilege() ? kTrue : kFalse; }

Bool32 MapSharedBlock(const char* name) {
    SharedLink& s = sharedLink;
    if (s.blockView.load()) return kTrue;
    os::Handle mapping = s.blockMapping.load();
    if (!os::HandleIsOpen(mapping)) {
        mapping = os::SharedMappingOpen(name, kSharedBlockBytes);
        if (!os::HandleIsOpen(mapping)) return UseFallbackBlock(s);
        s.blockMapping.store(mapping);
    }
    void* view = os::SharedMappingView(mapping, kSharedBlockBytes);
    if (!view) {
        os::SharedMappingClose(mapping, nullptr);
        return UseFallbackBlock(s);
    }
    s.blockView.store(static_cast<std::atomic<u32>*>(view));
    s.blockName.store(name);
    s.blockSize.store(kSharedBlockBytes);
    return kTrue;
}

Bool32 OpenSharedLinkObjects() {
    SharedLink& s = sharedLink;
    for (const NamedObject& o : kNamedObjects) {
        std::atomic<os::Handle>& field = s.*o.field;
        if (os::HandleIsOpen(field.load())) continue;
        const os::Handle h = o.mutex ? os::NamedMutexOpen(o.name) : os::NamedEventOpen(o.name);
        if (!os::HandleIsOpen(h)) return kFalse;
        field.store(h);
    }
    // The block is set up once; the fallback is not retried later.
    if (s.blockSize.load() == 0) MapSharedBlock(EnableGlobalCreatePrivilege() ? kGlobalBlockName : kLocalBlockName);
    return kTrue;
}

Bool32 StartSharedLinkServer() {
    SharedLink& s = sharedLink;
    if (os::HandleIsOpen(s.serverThread.load())) return kTrue;
    if (!Config.sharingServer.load()) return kFalse;
    if (!OpenSharedLinkObjects()) return kFalse;
    // Set before the thread starts, so that a stop right after the start is
    // never missed by the thread.
    s.serverRunning.store(1);
    const os::Handle thread = os::ThreadStart(SharedLinkServerThread, &s);
    if (!os::HandleIsOpen(thread)) {
        s.serverRunning.store(0);
        return kFalse;
    }
    s.serverThread.store(thread);
    return kTrue;
}

void SharedLinkServerThread(void* link) {
    SharedLink& s = *static_cast<SharedLink*>(link);
    // What an earlier owner carried out is not repeated.
    u32 served = Numbered(s) ? Word(s, kBlockAnswerNumber).load() : kNoRequest;
    while (s.serverRunning.load()) {
        if (!os::NamedEventWait(s.requestEvent.load(), os::kInfinite)) continue;
        if (!s.serverRunning.load()) break;
        ServeRequests(s, served);
    }
}

// Where no thread can be ended from outside, the server finishes its request
// (bounded by the MCU's time-outs): it must not run on in an unloaded library.
void StopSharedLinkServer() {
    StopThread(sharedLink.serverRunning, sharedLink.serverThread,
               [] { os::NamedEventSet(sharedLink.requestEvent.load()); }, true);
}

Bool32 SignalSharedRequest() {
    SharedLink& s = sharedLink;
    os::NamedEventSet(s.requestEvent.load());
    const bool answered = AwaitReply(s);
    os::NamedEventReset(s.replyEvent.load());
    os::NamedEventReset(s.requestEvent.load());
    if (!answered) return kFalse;
    // Gives the owner time to reset the request event before the next
    // client sets it. With numbered requests the owner looks for a request
    // that its reset may have wiped, and the pause would only cost time.
    if (!Numbered(s)) os::SleepMs(kSharedAnsweredPauseMs);
    return kTrue;
}

Bool32 SharedWriteOutputs(u32 doRequestWord) {
    SharedLink& s = sharedLink;
    ClientLock client(s);
    PostRequest(s, doRequestWord);
    return SignalSharedRequest();
}

Bool32 SharedReadInputs(u32* inputWord) {
    SharedLink& s = sharedLink;
    ClientLock client(s);
    PostRequest(s, 0);
    if (!SignalSharedRequest()) return kFalse;
    if (s.blockSize.load() > sizeof(u32)) {
        BlockLock lock(s);
        *inputWord = Word(s, kBlockAnswerWord).load();
    }
    return kTrue;
}

Bool32 CloseSharedLink() {
    SharedLink& s = sharedLink;
    StopSharedLinkServer();
    std::atomic<u32>* view = s.blockView.exchange(nullptr);
    const os::Handle mapping = s.blockMapping.exchange(os::kNoHandle);
    if (view != Fallback()) os::SharedMappingClose(mapping, view);
    s.blockName.store(nullptr);
    s.blockSize.store(0);
    for (const NamedObject& o : kNamedObjects) os::NamedObjectClose((s.*o.field).exchange(os::kNoHandle));
    return kTrue;
}

Bool32 ReadInputsShared(u32* diRequestWord) {
    LibraryLockGuard lock;
    if (DirectWay()) return McuQuery(kDiReadCommand, diRequestWord);
    if (SharedReadInputs(diRequestWord)) return kTrue;
    // The owner died during the request: the port is this process's now.
    return DirectWay() ? McuQuery(kDiReadCommand, diRequestWord) : kFalse;
}

void WriteOutputsShared(u32 doRequestWord) {
    LibraryLockGuard lock;
    if (DirectWay()) McuCommand(kDoWriteCommand, doRequestWord);
    // Writing the outputs twice (an owner that died after its write) is harmless.
    else if (!SharedWriteOutputs(doRequestWord) && DirectWay()) McuCommand(kDoWriteCommand, doRequestWord);
}

}  // namespace hx
