// The library side of the service access: loading on real hardware, what the
// loaded library detected, raw MCU frames and the Super I/O watchdog
// registers.
#include <cstring>

#include "backends/linux/linux_native.h"
#include "backends/service/attach.h"
#include "backends/service/catalog_groups.h"
#include "core/library_lock.h"
#include "core/state.h"
#include "frame/diagnostics.h"
#include "frame/lifecycle.h"
#include "frame/poe_map.h"
#include "halvex32_service.h"
#include "mcu/frame.h"
#include "mcu/link.h"
#include "mcu/receiver.h"

namespace hx::service {
namespace {

static_assert(kFrameBytes == hx::kFrameSize);

// The MCU feature groups, each carried by the MCU command link. (The DIO
// families on the MCU come only together with an MCU DICOS family.)
constexpr Group kMcuGroups[] = {kDicos, kTrigger, kIgn, kCan, kPwm, kMcu, kLed, kAdc, kQei, kDt2};

const char* g_board = "";

bool HasMcuLink(const SlotGroup* groups) {
    for (Group g : kMcuGroups) {
        if (*groups[g].family) return true;
    }
    return false;
}

}  // namespace

Load AttachTo(const Backend* backend, const char* board) {
    g_board = board;
    UseBackend(backend);
    return ProcessAttach() ? Load::Open : Load::NoAccess;
}

Load LoadOnHardware() { return AttachTo(os::LinuxNativeBackend(), ""); }

void Unload() {
    ProcessDetach();
    LeaveVirtualBoard();
}

Info GetInfo() {
    Info info{};
    const Backend* backend = CurrentBackend();
    info.backend = backend ? backend->name : "";
    info.board = g_board;
    info.accessOpen = IsLoaded();
    const PlatformOps* platform = CurrentPlatform.load();
    info.model = platform ? platform->modelKey : "";
    info.osMajor = OsMajorVersion.load();
    const ExpansionCardOps* card = CurrentCard.load();
    info.expansionCard = card ? card->name : "";
    FillGroups(platform ? *platform : PlatformOps{}, info.groups);
    info.mcuLink = HasMcuLink(info.groups);
    if (platform) {
        info.diLines = platform->dio.inputLines;
        info.doLines = platform->dio.outputLines;
        info.doPortWrites = platform->dio.DOWritePort != nullptr;
    }
    return info;
}

FrameExchange ExchangeFrame(FrameKind kind, uint8_t code, uint32_t word) {
    FrameExchange x{};
    LibraryLockGuard lock;
    if (!IsLoaded() || !OpenMcuLink(serialPortMcu)) {
        x.result = FrameResult::NoLink;
        return x;
    }
    BuildFrame(code, word, x.sent);
    if (kind == FrameKind::Post) {
        x.result = McuPost(code, word) ? FrameResult::Posted : FrameResult::WriteFailed;
        return x;
    }
    TransactBuffer answer = {};
    std::memcpy(answer, x.sent, kFrameSize);
    if (!McuTransact(answer)) {
        x.result = FrameResult::NoAnswer;
        return x;
    }
    std::memcpy(x.answer, answer, kFrameSize);
    x.result = FrameResult::Answered;
    x.word = FramePayload(answer);
    x.matches = kind == FrameKind::Command
                    ? std::memcmp(answer, x.sent, kFrameSize) == 0
                    : answer[kFrameCode] == code && answer[kFrameChecksum] == FrameChecksum(answer);
    return x;
}

WdtRegisters ReadWdtRegisters() {
    const SuperIoWatchdogSnapshot s = ReadSuperIoWatchdog();
    return {s.chipId, s.config, s.value, s.unitSeconds};
}

Watch StartEventWatch() {
    {
        LibraryLockGuard lock;
        if (!OpenMcuLink(serialPortMcu)) return Watch::NoLink;
    }
    if (!StartMcuReceiver()) return Watch::NoReceiver;
    StartDt2EventThread();  // only where the model has the DT2 event thread
    return Watch::Started;
}

void StopEventWatch() {
    StopDt2EventThread();
    StopLinkReceiver(serialPortMcu);
}

namespace {
PoeChannel ChannelOf(bool valid, const hx::PoePortChannel& ch) {
    return valid ? PoeChannel{true, ch.address, ch.channel} : PoeChannel{};
}
}  // namespace

uint32_t PoeLastPort() { return PlatformPoeLastPort(); }

PoeChannel PoePortChannel(uint32_t port) {
    hx::PoePortChannel ch{};
    return ChannelOf(port <= 0xFF && PlatformPoeChannel(static_cast<u8>(port), ch), ch);
}

uint32_t PoeCardIndexCount() { return CardIndexCount(); }
uint32_t PoeCardPortCount() { return CardPortCount(); }

PoeChannel PoeCardChannel(uint32_t card, uint32_t port) {
    hx::PoePortChannel ch{};
    return ChannelOf(CardPoeChannel(card, port, ch), ch);
}

}  // namespace hx::service
