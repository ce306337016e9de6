// PoE families P1..P6 (power-sourcing controllers on the chipset SMBus) and
// the PoE operations of the PCI expansion cards.
#pragma once

#include "core/platform_ops.h"

namespace hx {

inline constexpr PoeOps P1{"P1"};
inline constexpr PoeOps P2{"P2"};
inline constexpr PoeOps P3{"P3"};
inline constexpr PoeOps P4{"P4"};
inline constexpr PoeOps P5{"P5"};
inline constexpr PoeOps P6{"P6"};

// PCI identification (device << 16 | vendor) of the supported cards.
inline constexpr u32 kCardIntel1521 = 0x15218086;
inline constexpr u32 kCardIntel1563 = 0x15638086;

// Both cards carry the same three operations; init and deinit stay empty.
inline constexpr ExpansionCardOps kCard1521{"8086:1521", kCardIntel1521};
inline constexpr ExpansionCardOps kCard1563{"8086:1563", kCardIntel1563};

}  // namespace hx
