#include "frame/platform_init.h"

#include <optional>

#include "dio/outputs_off.h"
#include "dio/routing.h"
#include "core/hw_access.h"
#include "core/library_lock.h"
#include "mcu/link.h"
#include "core/port_kind.h"

namespace hx {

const Dt2SourcePair kDt2MapA[] = {
    {0x10001, 0x1},       {0x10002, 0x2},       {0x10004, 0x4},       {0x10008, 0x8},
    {0x20001, 0x100},     {0x20002, 0x200},     {0x20004, 0x400},     {0x20008, 0x800},
    {0x20010, 0x1000},    {0x20020, 0x2000},    {0x20040, 0x4000},    {0x20080, 0x8000},
    {0x40001, 0x10000},   {0x40002, 0x20000},   {0x80001, 0x100000},  {0x100001, 0x1000000},
    {0x100002, 0x2000000}, {0x100004, 0x4000000}, {0x100008, 0x8000000}, {0x100010, 0x10000000},
    {0x100020, 0x20000000}, {0x200001, 0x400000}, {0, 0},
};

#define HX_DT2_MAP_B                                                                                  \
    {0x80001, 0x100000}, {0x10001, 0x1}, {0x10002, 0x2}, {0x10004, 0x4}, {0x10008, 0x8},             \
        {0x10010, 0x10}, {0x10020, 0x20}, {0x10040, 0x40}, {0x10080, 0x80},                           \
        {0x40000001, 0x10000000}, {0x40000002, 0x20000000}, {0x80000001, 0x40000000},                 \
        {0x80000002, 0x80000000}, {0x20001, 0x100}, {0x20002, 0x200}, {0x20004, 0x400},               \
        {0x20008, 0x800}, {0x20010, 0x1000}, {0x20020, 0x2000}, {0x20040, 0x4000},                    \
        {0x20080, 0x8000}, {0x20100, 0x10000}, {0x20200, 0x20000}, {0x20400, 0x40000},                \
        {0x20800, 0x80000}, {0x200001, 0x1000000}, {0x200002, 0x2000000},                             \
        {0x200004, 0x4000000}, {0x200008, 0x8000000}, { 0, 0 }

const Dt2SourcePair kDt2MapB[] = {HX_DT2_MAP_B};
const Dt2SourcePair kDt2MapBForI4[] = {HX_DT2_MAP_B};  // its own copy, same content
#undef HX_DT2_MAP_B

namespace {

// One row of the init table. An empty optional leaves the value as it is.
struct LinkSetting {
    std::optional<u32> portKind;
    std::optional<RxThreadKind> rxThread;
};

struct InitRow {
    std::optional<u8> poePortCount;
    LinkSetting mcu;
    LinkSetting can;
    std::optional<bool> dt2EventThread;
    std::optional<bool> sharingServer;
    std::optional<const Dt2SourcePair*> dt2Map;
    std::optional<VoidFn> dioHook;
    std::optional<VoidFn> triggerHook;
    std::optional<u32> dioSharedFlag;
    std::optional<u32> baudRateBoth;
};

template <typename T, typename V>
void StoreIf(std::atomic<T>& cell, const std::optional<V>& value) {
    if (value) cell.store(static_cast<T>(*value));
}

void ApplyLink(McuLink& link, const LinkSetting& s, const std::optional<u32>& baud) {
    StoreIf(link.portKind, s.portKind);
    StoreIf(link.rxThreadProc, s.rxThread);
    StoreIf(link.baudRate, baud);
}

void Apply(const InitRow& row) {
    StoreIf(Config.poePortCount, row.poePortCount);
    ApplyLink(serialPortMcu, row.mcu, row.baudRateBoth);
    ApplyLink(serialPortCan, row.can, row.baudRateBoth);
    StoreIf(Config.dt2EventThread, row.dt2EventThread);
    StoreIf(Config.sharingServer, row.sharingServer);
    StoreIf(Config.dt2SourceMap, row.dt2Map);
    StoreIf(Config.dioModeHook, row.dioHook);
    StoreIf(Config.triggerModeHook, row.triggerHook);
    StoreIf(Shared().dioSharedFlag, row.dioSharedFlag);
}

using RX = RxThreadKind;
constexpr VoidFn kNoHook = nullptr;
constexpr const Dt2SourcePair* kNoMap = nullptr;
constexpr u32 kNoPort = 0;
constexpr std::nullopt_t _ = std::nullopt;  // "-": the init does not write the value

}  // namespace

// clang-format off
//            PoE  MCU port kind         MCU rx thread       CAN port kind           CAN rx thread    DT2 ev  sharing  DT2 map         DioModeHook     TriggerModeHook     DioShared  baud
void InitI1()  { Apply({2, {kPortUart368, RX::McuEvents8},  {kPortHsuart0F0A, RX::CanReceiver}, true, _, kDt2MapA, RouteDioByPads, RouteTriggerByPads, _, _}); }
void InitI2()  { Apply({4, {_, _}, {_, _}, _, _, _, _, _, _, _}); }
void InitI3()  { Apply({8, {kPortUart2E8, RX::McuEvents16}, {kPortUsbFtdi6015, RX::CanReceiver}, true, true, kDt2MapB, kNoHook, kNoHook, 0, _}); }
void InitI4()  { Apply({0, {kPortUart2E8, RX::McuEvents16}, {kNoPort, RX::None}, true, true, kDt2MapBForI4, kNoHook, kNoHook, 0, _}); }
void InitI5()  { Apply({0, {kNoPort, RX::None}, {kNoPort, RX::None}, _, false, kNoMap, kNoHook, kNoHook, 1, _}); }
void InitI6()  { Apply({8, {kPortUart368, RX::McuEvents16}, {kPortUart2E0, RX::CanReceiver}, true, true, kDt2MapB, kNoHook, kNoHook, 0, _}); }
void InitI7()  { Apply({8, {kPortUart368, RX::McuEvents16}, {kPortUsbFtdi6015, RX::CanReceiver}, true, true, kDt2MapB, kNoHook, kNoHook, 0, _}); }
void InitI8()  { Apply({0, {kNoPort, RX::None}, {kNoPort, RX::None}, _, false, kNoMap, kNoHook, kNoHook, 1, _}); }
void InitI9()  { Apply({_, {kPortHsuart0F0A, _}, {_, _}, _, _, _, _, _, _, _}); }
void InitI10() { Apply({_, {kPortUart2E8, RX::McuEvents16}, {_, _}, _, true, _, _, _, _, _}); }
void InitI11() { Apply({2, {kPortUart368, RX::McuEvents16}, {kPortUart2E0, RX::CanReceiver}, _, true, kNoMap, kNoHook, kNoHook, _, kMcuLinkBaud}); }
void InitI12() { Apply({4, {kPortUart368, RX::McuEvents16}, {kPortUart2E0, RX::CanReceiver}, _, true, kNoMap, kNoHook, kNoHook, _, kMcuLinkBaud}); }
// clang-format on

void DeinitI1() {
    LibraryLockGuard lock;
    AllOutputsOff();
    HwSetPhysBits(kPadOutputGate, kPadLevelBit);
}

}  // namespace hx
