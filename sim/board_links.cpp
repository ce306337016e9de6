#include "sim/board_links.h"

#include <cstring>

#include "frame/catalog.h"
#include "core/port_kind.h"
#include "sim/virtual_board.h"

namespace hx::sim {
namespace {

struct InitLinks {
    const char* init;  // the platform init family
    LinkKinds kinds;
};

constexpr u32 kNone = 0;
constexpr u32 kUnsetMcuKind = kPortUart2E8;  // a link kind of 0 opens as 2E8h

constexpr InitLinks kInitLinks[] = {
    {"I1", {kPortUart368, kPortHsuart0F0A}},   {"I3", {kPortUart2E8, kPortUsbFtdi6015}},
    {"I4", {kPortUart2E8, kNone}},             {"I6", {kPortUart368, kPortUart2E0}},
    {"I7", {kPortUart368, kPortUsbFtdi6015}},  {"I9", {kPortHsuart0F0A, kNone}},
    {"I10", {kPortUart2E8, kNone}},            {"I11", {kPortUart368, kPortUart2E0}},
    {"I12", {kPortUart368, kPortUart2E0}},
};

LinkHostStarter g_starter = nullptr;

}  // namespace

LinkKinds LinkKindsForModel(const char* model) {
    const PlatformOps* p = FindPlatformByKey(model);
    const char* init = p ? p->init.family : nullptr;
    for (const InitLinks& row : kInitLinks) {
        if (init && std::strcmp(init, row.init) == 0) return row.kinds;
    }
    return {kUnsetMcuKind, kNone};
}

SerialLinkState& TheLinks() { return TheBoardState().links; }

void PublishLinks(const char* mcuPath, const char* canPath) {
    LinkPathState& p = TheLinks().paths;
    const LinkKinds kinds = LinkKindsForModel(TheBoardState().model);
    std::memset(p.kinds, 0, sizeof p.kinds);
    std::strncpy(p.path[static_cast<u32>(LinkRole::Mcu)], mcuPath, kLinkPathMax - 1);
    std::strncpy(p.path[static_cast<u32>(LinkRole::Can)], canPath, kLinkPathMax - 1);
    p.kinds[0] = {kinds.mcu, LinkRole::Mcu};
    if (kinds.can != kNone && canPath[0]) p.kinds[1] = {kinds.can, LinkRole::Can};
    p.hostUp = true;
}

void WithdrawLink(LinkRole role) { TheLinks().paths.path[static_cast<u32>(role)][0] = '\0'; }

void SetLinkHostStarter(LinkHostStarter starter) { g_starter = starter; }

bool FindBoardLinkPort(u32 portKind, os::PathChar* path) {
    LinkPathState& p = TheLinks().paths;
    ++p.lookups;
    if (!p.hostUp && g_starter) g_starter();
    if (!p.hostUp) return false;
    for (const PublishedLink& link : p.kinds) {
        if (link.portKind == kNone || link.portKind != portKind) continue;
        const char* device = p.path[static_cast<u32>(link.role)];
        const std::size_t length = std::strlen(device);
        if (length == 0 || length >= os::kPortPathChars) return false;
        for (std::size_t i = 0; i <= length; ++i) path[i] = static_cast<os::PathChar>(device[i]);
        return true;
    }
    return false;
}

}  // namespace hx::sim
