#include "poe/pse.h"

#include "core/library_lock.h"
#include "core/state.h"

namespace hx::pse {
namespace {

// Mode/enable layout. Operating mode: two bits per channel (channel c at
// bits 2c+1..2c), 11b = automatic: the channel detects, classifies and
// powers a device. Detect/class enable: channel c's detection at bit c, its
// classification at bit c + 4.
constexpr u8 kRegMode = 0x12;
constexpr u8 kRegEnable = 0x14;
constexpr u32 kModeAuto = 0x3;
constexpr u32 kModeBitsPerChannel = 2;
constexpr u32 kClassEnableShift = 4;

// Control/status layout: writing 00h to a channel's control register turns
// it on, 10h turns it off; bits 2..0 of its status register are nonzero
// while it delivers power.
constexpr u8 kRegControl0 = 0x18;
constexpr u8 kRegStatus0 = 0x28;
constexpr u8 kControlOn = 0x00;
constexpr u8 kControlOff = 0x10;
constexpr u32 kStatusPower = 0x07;

// Expansion cards.
constexpr u8 kCardAddress0 = 0x42;   // 7-bit 21h
constexpr u32 kCardAddressStep = 4;  // 7-bit step of 2

using Channel = PortChannel;

u8 ReadOf(u8 address) { return static_cast<u8>(address | smbus::kReadBit); }
u32 ModeBits(u8 c) { return kModeAuto << (kModeBitsPerChannel * c); }
u32 EnableBits(u8 c) { return 1u << c | 1u << (c + kClassEnableShift); }

u32 PortCount() { return Config.poePortCount.load(std::memory_order_relaxed); }

u8 ModeStatus(const smbus::Host& host, Channel ch) {
    const u32 mode = host.read(ReadOf(ch.address), kRegMode);
    return ((mode >> (kModeBitsPerChannel * ch.channel)) & kModeAuto) == kModeAuto ? 1 : 0;
}

// A failed read counts as 00h; the writes go out regardless.
void ModeSwitch(const smbus::Host& host, Channel ch, bool on) {
    const u32 mode = host.read(ReadOf(ch.address), kRegMode);
    const u32 enable = host.read(ReadOf(ch.address), kRegEnable);  // read by the disable too, not used there
    if (on) {
        host.write(ch.address, kRegMode, static_cast<u8>(mode | ModeBits(ch.channel)));
        host.write(ch.address, kRegEnable, static_cast<u8>(enable | EnableBits(ch.channel)));
    } else {
        host.write(ch.address, kRegMode, static_cast<u8>(mode & ~ModeBits(ch.channel)));
    }
}

u8 ControlStatus(const smbus::Host& host, Channel ch) {
    return (host.read(ReadOf(ch.address), static_cast<u8>(kRegStatus0 + ch.channel)) & kStatusPower) ? 1 : 0;
}

void ControlSwitch(const smbus::Host& host, Channel ch, bool on) {
    host.write(ch.address, static_cast<u8>(kRegControl0 + ch.channel), on ? kControlOn : kControlOff);
}

}  // namespace

bool FindChannel(const Family& family, u8 port, PortChannel& out) {
    if (family.upToPortCount && u32{port} - 1 >= PortCount()) return false;
    for (const PortGroup& g : family.groups) {
        if (port < g.first || port > g.last) continue;
        out = {g.address, g.channels[port - g.first]};
        return true;
    }
    return false;
}

u8 LastPort(const Family& family) {
    u8 last = 0;
    for (const PortGroup& g : family.groups) last = g.last > last ? g.last : last;
    if (family.upToPortCount && PortCount() < last) last = static_cast<u8>(PortCount());
    return last;
}

bool FindCardChannel(u32 card, u32 port, PortChannel& out) {
    if (card >= kCardCount || port < 1 || port > kCardPorts) return false;
    out = {static_cast<u8>(kCardAddress0 + kCardAddressStep * card), static_cast<u8>(port - 1)};
    return true;
}

u8 Status(const Family& family, u8 port) {
    Channel ch{};
    if (!FindChannel(family, port, ch)) return 0;
    family.host->find();
    return family.layout == Layout::ModeEnable ? ModeStatus(*family.host, ch) : ControlStatus(*family.host, ch);
}

Bool32 Switch(const Family& family, u8 port, bool on) {
    Channel ch{};
    if (!FindChannel(family, port, ch)) return kFalse;
    LibraryLockGuard lock;
    family.host->find();
    if (family.layout == Layout::ModeEnable) {
        ModeSwitch(*family.host, ch, on);
    } else {
        ControlSwitch(*family.host, ch, on);
    }
    return kTrue;
}

u8 CardGetStatusPoEPort(u32 card, u32 port) {
    Channel ch{};
    if (!FindCardChannel(card, port, ch)) return 0;
    smbus::FindPciHost();
    return ModeStatus(smbus::kPciHost, ch);
}

Bool32 CardEnablePoEPort(u32 card, u32 port) {
    Channel ch{};
    if (!FindCardChannel(card, port, ch)) return kFalse;
    LibraryLockGuard lock;
    smbus::FindPciHost();
    ModeSwitch(smbus::kPciHost, ch, true);
    return kTrue;
}

Bool32 CardDisablePoEPort(u32 card, u32 port) {
    Channel ch{};
    if (!FindCardChannel(card, port, ch)) return kFalse;
    LibraryLockGuard lock;
    smbus::FindPciHost();
    ModeSwitch(smbus::kPciHost, ch, false);
    return kTrue;
}

}  // namespace hx::pse
