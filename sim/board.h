// The virtual board: a port space and a physical-memory space to which chip
// models attach by address range, the PCI configuration mechanism, an access
// log, fault controls and a board clock. All state lives in a BoardState.
#pragma once

#include <cstddef>

#include "core/types.h"
#include "sim/board_state.h"

namespace hx::sim {

// A chip model's view of the port space.
class PortDevice {
public:
    virtual u32 ReadPort(u16 port, u8 size) = 0;
    virtual void WritePort(u16 port, u32 value, u8 size) = 0;

protected:
    ~PortDevice() = default;
};

// A chip model's view of physical memory (aligned 32-bit words).
class PhysDevice {
public:
    virtual u32 ReadPhys(u32 address) = 0;
    virtual void WritePhys(u32 address, u32 value) = 0;

protected:
    ~PhysDevice() = default;
};

// A chip model that runs on the board clock.
class ClockedDevice {
public:
    // Time moves from `fromMs` to `toMs` (board time, milliseconds).
    virtual void Advance(u64 fromMs, u64 toMs) = 0;

protected:
    ~ClockedDevice() = default;
};

class Board {
public:
    constexpr explicit Board(BoardState& state) : state_(state) {}

    BoardState& State() { return state_; }

    // Attachments are process-local; the state they act on is in BoardState.
    bool AttachPorts(u16 first, u16 last, PortDevice* device);
    bool AttachPhys(u32 first, u32 last, PhysDevice* device);
    bool AttachClock(ClockedDevice* device);
    void DetachAll();

    // The HwAccess operations as the back-end calls them: checked against the
    // fault controls, carried out, and logged. Whether access is open is
    // this process's own (as a driver handle is), not the board's.
    bool Open();
    void Close();
    bool ReadPort(u16 port, u32* value, u8 size);
    bool WritePort(u16 port, u32 value, u8 size);
    bool ReadPhys32(u32 address, u32* value);
    bool WritePhys32(u32 address, u32 value);

    // Raw bus access for chip models and tests: not logged, no faults.
    u32 BusReadPort(u16 port, u8 size);
    void BusWritePort(u16 port, u32 value, u8 size);
    u32 BusReadPhys(u32 address);
    void BusWritePhys(u32 address, u32 value);

    bool AccessOpen() const { return accessOpen_; }
    // This process cannot open access (as without the driver); false after ResetAccess.
    void RefuseOpen(bool refuse) { refuseOpen_ = refuse; }
    void ResetAccess() { accessOpen_ = refuseOpen_ = false; }

    void AdvanceClock(u64 ms);
    u64 NowMs() const { return state_.nowMs; }

    // A chip resets the machine (a watchdog expiring, for example).
    void ResetMachine(const char* cause);
    // The same at a given board time within the advance in progress, for
    // chips that know exactly when their event fell.
    void ResetMachineAt(u64 atMs, const char* cause);

private:
    struct PortRange {
        u16 first, last;
        PortDevice* device;
    };
    struct PhysRange {
        u32 first, last;
        PhysDevice* device;
    };
    static constexpr std::size_t kMaxRanges = 32;

    PortDevice* PortOwner(u16 port) const;
    PhysDevice* PhysOwner(u32 address) const;
    bool Faulted(AccessKind kind, u32 address) const;
    void Log(AccessKind kind, u8 size, bool ok, u32 address, u32 value);

    BoardState& state_;
    bool accessOpen_ = false;
    bool refuseOpen_ = false;
    PortRange ports_[kMaxRanges]{};
    std::size_t portCount_ = 0;
    PhysRange phys_[kMaxRanges]{};
    std::size_t physCount_ = 0;
    ClockedDevice* clocked_[kMaxRanges]{};
    std::size_t clockedCount_ = 0;
};

// Fault controls and log access for tests and tools.
void ClearAccessLog(BoardState& state);
bool AddFault(BoardState& state, AccessKind kind, u32 address);
void ClearFaults(BoardState& state);

}  // namespace hx::sim
