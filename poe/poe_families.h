// PoE families P1..P6 (power-sourcing controllers on the chipset SMBus) and
// the PoE operations of the PCI expansion cards.
#pragma once

#include "core/platform_ops.h"
#include "poe/pse.h"

namespace hx {

// A family's three operations on its port map and controller layout.
template <const pse::Family& F>
constexpr PoeOps PoeFamily(const char* name) {
    return {name, &pse::GetStatusPoEPort<F>, &pse::EnablePoEPort<F>, &pse::DisablePoEPort<F>};
}

inline constexpr PoeOps P1 = PoeFamily<pse::kP1>("P1");
inline constexpr PoeOps P2 = PoeFamily<pse::kP2>("P2");
inline constexpr PoeOps P3 = PoeFamily<pse::kP3>("P3");
inline constexpr PoeOps P4 = PoeFamily<pse::kP4>("P4");
inline constexpr PoeOps P5 = PoeFamily<pse::kP5>("P5");
inline constexpr PoeOps P6 = PoeFamily<pse::kP6>("P6");

// PCI identification (device << 16 | vendor) of the supported cards.
inline constexpr u32 kCardIntel1521 = 0x15218086;
inline constexpr u32 kCardIntel1563 = 0x15638086;

// Both cards carry the same three operations; init and deinit stay empty.
inline constexpr ExpansionCardOps kCard1521{"8086:1521", kCardIntel1521, nullptr, nullptr, &pse::CardGetStatusPoEPort,
                                            &pse::CardEnablePoEPort, &pse::CardDisablePoEPort};
inline constexpr ExpansionCardOps kCard1563{"8086:1563", kCardIntel1563, nullptr, nullptr, &pse::CardGetStatusPoEPort,
                                            &pse::CardEnablePoEPort, &pse::CardDisablePoEPort};

}  // namespace hx
