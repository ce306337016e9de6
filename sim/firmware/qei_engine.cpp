#include "sim/firmware/qei_engine.h"

#include "sim/firmware/mcu_firmware.h"

namespace hx::sim {
namespace {

using namespace fw;

constexpr u32 kLinesWord = 0;        // setup word 0: lines per revolution, low 16 bits
constexpr u32 kLinesMask = 0xFFFF;
constexpr u32 kSwapWord = 1;         // setup word 1: bit n swaps channel n's tracks
constexpr u32 kForward = 0;          // direction word: counting up
constexpr u32 kBackward = 1;         // counting down
constexpr std::int64_t kMsPerMinute = 60000;
constexpr std::int64_t kSecondsPerMinute = 60;

u32 ChannelMask(const McuFirmwareState& s) { return (1u << QeiChannels(s)) - 1; }

bool Exists(const McuFirmwareState& s, u32 channel) { return channel < QeiChannels(s); }

bool Running(const McuFirmwareState& s, u32 channel) { return Exists(s, channel) && (s.qei.running >> channel & 1u); }

// Counts per minute of `channel`, signed: positive counts up.
std::int64_t CountsPerMinute(const McuFirmwareState& s, u32 channel) {
    const std::int64_t cpm = std::int64_t{s.world.shaft.rpm} * kQeiCountsPerLine * QeiLinesPerRev(s);
    return (s.qei.setup[kSwapWord] >> channel & 1u) ? -cpm : cpm;
}

// Whole minutes count exactly (modulo 2^32, like the counter); the rest of
// the time adds to the fraction, whose whole counts move the position.
void Count(McuFirmwareState& s, u32 channel, u64 ms) {
    QeiEngineState& q = s.qei;
    const std::int64_t cpm = CountsPerMinute(s, channel);
    if (cpm == 0) return;
    const u32 minutes = static_cast<u32>(ms / kMsPerMinute);
    const std::int64_t turned = q.fraction[channel] + cpm * static_cast<std::int64_t>(ms % kMsPerMinute);
    const std::int64_t whole = turned / kMsPerMinute;
    q.fraction[channel] = turned - whole * kMsPerMinute;
    const u32 counts = static_cast<u32>(cpm) * minutes + static_cast<u32>(whole);
    if (minutes == 0 && whole == 0) return;
    q.position[channel] += counts;
    q.direction[channel] = cpm < 0 ? kBackward : kForward;
}

}  // namespace

u32 QeiChannels(const McuFirmwareState& s) {
    return s.functions.qeiChannels < kQeiChannelsMax ? s.functions.qeiChannels : kQeiChannelsMax;
}

u32 QeiLinesPerRev(const McuFirmwareState& s) {
    const u32 lines = s.qei.setup[kLinesWord] & kLinesMask;
    return lines ? lines : kQeiDefaultLines;
}

u32 QeiVelocity(const McuFirmwareState& s, u32 channel) {
    if (!Running(s, channel)) return 0;
    const std::int64_t cpm = CountsPerMinute(s, channel);
    return static_cast<u32>((cpm < 0 ? -cpm : cpm) / kSecondsPerMinute);
}

void QeiAdvance(McuFirmwareState& s, u64 ms) {
    for (u32 channel = 0; channel < QeiChannels(s); ++channel) {
        if (Running(s, channel)) Count(s, channel, ms);
    }
}

// Start and stop take a channel mask (bit n: channel n); bits of channels
// the board does not have are ignored, and so is a position set for one.
void QeiCommand(McuFirmwareState& s, u8 code, u32 word) {
    QeiEngineState& q = s.qei;
    switch (code) {
        case kQeiStop: q.running &= ~(word & ChannelMask(s)); return;
        case kQeiStart: q.running |= word & ChannelMask(s); return;
        case kQeiChannel: q.channel = word; return;
        case kQeiSetPosition:
            if (!Exists(s, q.channel)) return;
            q.position[q.channel] = word;
            q.fraction[q.channel] = 0;
            return;
        default: return;
    }
}

// The query's word names the channel; one the board lacks reads 0.
u32 QeiQuery(McuFirmwareState& s, u8 code, u32 channel) {
    if (!Exists(s, channel)) return 0;
    switch (code) {
        case kQeiDirection: return s.qei.direction[channel];
        case kQeiVelocity: return QeiVelocity(s, channel);
        case kQeiPosition: return s.qei.position[channel];
        default: return 0;
    }
}

}  // namespace hx::sim
