// The PoE power-sourcing (PSE) controllers on the chipset's SMBus: the port
// maps of the on-board families P1..P6, the two register layouts, and the
// operations of the PCI expansion cards. Every operation checks its port
// first (no bus access for a rejected one); an enable or disable holds the
// library lock from its first transaction to its last, so that concurrent
// changes to channels of one controller never lose each other's update.
#pragma once

#include <span>

#include "core/types.h"
#include "poe/smbus.h"

namespace hx::pse {

inline constexpr u8 kChannels = 4;

// How a controller switches its channels.
enum class Layout : u8 {
    ModeEnable,     // operating mode register 12h, detect/class enable register 14h
    ControlStatus,  // per-channel control 18h + c and status 28h + c
};

// Ports `first`..`last` on one controller (write address byte: the 7-bit
// address shifted left by one); port first + i is on channel channels[i].
struct PortGroup {
    u8 first, last;
    u8 address;
    u8 channels[kChannels];
};

struct Family {
    const smbus::Host* host;
    Layout layout;
    bool upToPortCount;  // ports beyond the platform's PoePortCount are rejected
    std::span<const PortGroup> groups;
};

// clang-format off
inline constexpr PortGroup kP1Ports[] = {{1, 4, 0x40, {0, 1, 2, 3}}};
inline constexpr PortGroup kP2Ports[] = {{1, 4, 0x00, {0, 1, 2, 3}}};
inline constexpr PortGroup kP3Ports[] = {
    {1,  4,  0x40, {0, 1, 2, 3}},
    {5,  8,  0x42, {0, 1, 2, 3}},
    {9,  12, 0x44, {0, 1, 2, 3}},
    {13, 16, 0x46, {0, 1, 2, 3}},
};
inline constexpr PortGroup kP4Ports[] = {
    {1, 4, 0x40, {0, 1, 2, 3}},
    {5, 8, 0x44, {0, 1, 2, 3}},
};
inline constexpr PortGroup kP5Ports[] = {
    {1, 4, 0x42, {1, 0, 3, 2}},
    {5, 8, 0x40, {0, 1, 2, 3}},
};
inline constexpr PortGroup kP6Ports[] = {{1, 4, 0x40, {0, 1, 2, 3}}};

//                                 host              layout                  up to PoePortCount  ports
inline constexpr Family kP1{&smbus::kPciHost, Layout::ModeEnable,    true,  kP1Ports};
inline constexpr Family kP2{&smbus::kPciHost, Layout::ControlStatus, false, kP2Ports};
inline constexpr Family kP3{&smbus::kPciHost, Layout::ModeEnable,    false, kP3Ports};
inline constexpr Family kP4{&smbus::kPciHost, Layout::ModeEnable,    false, kP4Ports};
inline constexpr Family kP5{&smbus::kPciHost, Layout::ModeEnable,    false, kP5Ports};
inline constexpr Family kP6{&smbus::kPmHost,  Layout::ModeEnable,    false, kP6Ports};
// clang-format on

// Where a port's power is switched: controller (write address byte) and channel.
struct PortChannel {
    u8 address;
    u8 channel;
};

// The port's channel; false for a port outside the family's map.
bool FindChannel(const Family& family, u8 port, PortChannel& out);
// The highest port the family accepts now (ports start at 1; 0: none).
u8 LastPort(const Family& family);

u8 Status(const Family& family, u8 port);
Bool32 Switch(const Family& family, u8 port, bool on);

template <const Family& F>
u8 GetStatusPoEPort(u8 port) {
    return Status(F, port);
}
template <const Family& F>
Bool32 EnablePoEPort(u8 port) {
    return Switch(F, port, true);
}
template <const Family& F>
Bool32 DisablePoEPort(u8 port) {
    return Switch(F, port, false);
}

// The expansion cards: card index 0..7 selects the controller at 7-bit
// address 21h + 2 x index; ports 1..4 are its channels 0..3.
inline constexpr u32 kCardCount = 8;
inline constexpr u32 kCardPorts = 4;
bool FindCardChannel(u32 card, u32 port, PortChannel& out);
u8 CardGetStatusPoEPort(u32 card, u32 port);
Bool32 CardEnablePoEPort(u32 card, u32 port);
Bool32 CardDisablePoEPort(u32 card, u32 port);

}  // namespace hx::pse
