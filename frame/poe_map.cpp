#include "frame/poe_map.h"

#include <cstring>

#include "core/state.h"
#include "poe/poe_families.h"

namespace hx {
namespace {

struct FamilyOf {
    const PoeOps* ops;
    const pse::Family* family;
};
constexpr FamilyOf kFamilies[] = {
    {&P1, &pse::kP1}, {&P2, &pse::kP2}, {&P3, &pse::kP3}, {&P4, &pse::kP4}, {&P5, &pse::kP5}, {&P6, &pse::kP6},
};

const pse::Family* SelectedFamily() {
    const PlatformOps* platform = CurrentPlatform.load();
    if (!platform) return nullptr;
    for (const FamilyOf& f : kFamilies) {
        if (platform->poe.family && std::strcmp(platform->poe.family, f.ops->family) == 0) return f.family;
    }
    return nullptr;
}

PoePortChannel Seven(const pse::PortChannel& ch) { return {static_cast<u8>(ch.address >> 1), ch.channel}; }

}  // namespace

u8 PlatformPoeLastPort() {
    const pse::Family* family = SelectedFamily();
    return family ? pse::LastPort(*family) : 0;
}

bool PlatformPoeChannel(u8 port, PoePortChannel& out) {
    const pse::Family* family = SelectedFamily();
    pse::PortChannel ch{};
    if (!family || !pse::FindChannel(*family, port, ch)) return false;
    out = Seven(ch);
    return true;
}

u32 CardIndexCount() { return pse::kCardCount; }
u32 CardPortCount() { return pse::kCardPorts; }

bool CardPoeChannel(u32 card, u32 port, PoePortChannel& out) {
    pse::PortChannel ch{};
    if (!pse::FindCardChannel(card, port, ch)) return false;
    out = Seven(ch);
    return true;
}

}  // namespace hx
