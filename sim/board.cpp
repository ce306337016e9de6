#include "sim/board.h"

#include <cstring>

namespace hx::sim {
namespace {

constexpr u32 kFloatingBus = 0xFFFFFFFF;  // nothing drives the data lines

u32 SizeMask(u8 size) { return size >= 4 ? 0xFFFFFFFFu : ((1u << (8u * size)) - 1u); }
bool ValidSize(u8 size) { return size == 1 || size == 2 || size == 4; }

PhysWord* FindWord(PhysWordState& phys, u32 address) {
    for (u32 i = 0; i < phys.count; ++i) {
        if (phys.words[i].address == address) return &phys.words[i];
    }
    return nullptr;
}

}  // namespace

bool Board::AttachPorts(u16 first, u16 last, PortDevice* device) {
    if (portCount_ == kMaxRanges || first > last || !device) return false;
    ports_[portCount_++] = {first, last, device};
    return true;
}

bool Board::AttachPhys(u32 first, u32 last, PhysDevice* device) {
    if (physCount_ == kMaxRanges || first > last || !device) return false;
    phys_[physCount_++] = {first, last, device};
    return true;
}

bool Board::AttachClock(ClockedDevice* device) {
    if (clockedCount_ == kMaxRanges || !device) return false;
    clocked_[clockedCount_++] = device;
    return true;
}

void Board::DetachAll() {
    portCount_ = physCount_ = clockedCount_ = 0;
}

PortDevice* Board::PortOwner(u16 port) const {
    for (std::size_t i = 0; i < portCount_; ++i) {
        if (port >= ports_[i].first && port <= ports_[i].last) return ports_[i].device;
    }
    return nullptr;
}

PhysDevice* Board::PhysOwner(u32 address) const {
    for (std::size_t i = 0; i < physCount_; ++i) {
        if (address >= phys_[i].first && address <= phys_[i].last) return phys_[i].device;
    }
    return nullptr;
}

bool Board::Faulted(AccessKind kind, u32 address) const {
    const FaultState& f = state_.faults;
    for (u32 i = 0; i < f.count && i < kMaxFaults; ++i) {
        if (f.faults[i].kind == kind && f.faults[i].address == address) return true;
    }
    return false;
}

void Board::Log(AccessKind kind, u8 size, bool ok, u32 address, u32 value) {
    AccessLogState& log = state_.log;
    if (log.count >= kAccessLogCapacity) {
        ++log.dropped;
        return;
    }
    log.entries[log.count++] = {kind, size, ok, address, value};
}

bool Board::Open() {
    const bool ok = !state_.faults.openFails && !refuseOpen_;
    accessOpen_ = ok;
    Log(AccessKind::Open, 0, ok, 0, 0);
    return ok;
}

void Board::Close() {
    accessOpen_ = false;
    Log(AccessKind::Close, 0, true, 0, 0);
}

bool Board::ReadPort(u16 port, u32* value, u8 size) {
    const bool ok = accessOpen_ && ValidSize(size) && !Faulted(AccessKind::PortRead, port);
    const u32 v = ok ? BusReadPort(port, size) : 0;
    if (ok) *value = v;
    Log(AccessKind::PortRead, size, ok, port, v);
    return ok;
}

bool Board::WritePort(u16 port, u32 value, u8 size) {
    const bool ok = accessOpen_ && ValidSize(size) && !Faulted(AccessKind::PortWrite, port);
    if (ok) BusWritePort(port, value & SizeMask(size), size);
    Log(AccessKind::PortWrite, size, ok, port, value & SizeMask(size));
    return ok;
}

bool Board::ReadPhys32(u32 address, u32* value) {
    const bool ok = accessOpen_ && (address & 3u) == 0 && !Faulted(AccessKind::PhysRead, address);
    const u32 v = ok ? BusReadPhys(address) : 0;
    if (ok) *value = v;
    Log(AccessKind::PhysRead, 4, ok, address, v);
    return ok;
}

bool Board::WritePhys32(u32 address, u32 value) {
    const bool ok = accessOpen_ && (address & 3u) == 0 && !Faulted(AccessKind::PhysWrite, address);
    if (ok) BusWritePhys(address, value);
    Log(AccessKind::PhysWrite, 4, ok, address, value);
    return ok;
}

u32 Board::BusReadPort(u16 port, u8 size) {
    PortDevice* d = PortOwner(port);
    return (d ? d->ReadPort(port, size) : kFloatingBus) & SizeMask(size);
}

void Board::BusWritePort(u16 port, u32 value, u8 size) {
    if (PortDevice* d = PortOwner(port)) d->WritePort(port, value & SizeMask(size), size);
}

u32 Board::BusReadPhys(u32 address) {
    if (PhysDevice* d = PhysOwner(address)) return d->ReadPhys(address);
    const PhysWord* w = FindWord(state_.phys, address);
    return w ? w->value : 0;
}

void Board::BusWritePhys(u32 address, u32 value) {
    if (PhysDevice* d = PhysOwner(address)) return d->WritePhys(address, value);
    PhysWordState& phys = state_.phys;
    if (PhysWord* w = FindWord(phys, address)) {
        w->value = value;
    } else if (phys.count < kPhysWords) {
        phys.words[phys.count++] = {address, value};
    }
}

void Board::AdvanceClock(u64 ms) {
    const u64 from = state_.nowMs;
    const u64 to = from + ms;
    state_.nowMs = to;
    for (std::size_t i = 0; i < clockedCount_; ++i) clocked_[i]->Advance(from, to);
}

void Board::ResetMachine(const char* cause) { ResetMachineAt(state_.nowMs, cause); }

void Board::ResetMachineAt(u64 atMs, const char* cause) {
    ResetState& r = state_.reset;
    ++r.count;
    r.lastAtMs = atMs;
    std::strncpy(r.lastCause, cause ? cause : "", kCauseMax - 1);
    r.lastCause[kCauseMax - 1] = '\0';
}

void ClearAccessLog(BoardState& state) {
    state.log.count = 0;
    state.log.dropped = 0;
}

bool AddFault(BoardState& state, AccessKind kind, u32 address) {
    FaultState& f = state.faults;
    if (f.count >= kMaxFaults) return false;
    f.faults[f.count++] = {kind, address};
    return true;
}

void ClearFaults(BoardState& state) {
    state.faults.openFails = false;
    state.faults.count = 0;
}

}  // namespace hx::sim
