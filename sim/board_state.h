// Plain state of the virtual board: no pointers, no OS objects, so that it can
// live in static storage or in memory shared with another process (the
// simulated WinIo DLL under Wine shares it with the test driver on Linux).
#pragma once

#include <cstddef>

#include "frame/types.h"

namespace hx::sim {

enum class AccessKind : u8 { Open, Close, PortRead, PortWrite, PhysRead, PhysWrite };

// One HwAccess call as the board saw it.
struct Access {
    AccessKind kind;
    u8 size;      // 1, 2 or 4 (4 for physical words, 0 for open/close)
    bool ok;      // what the call returned
    u32 address;  // port or physical address
    u32 value;    // value written, or value returned by a read
};

inline constexpr std::size_t kAccessLogCapacity = 16384;

struct AccessLogState {
    u32 count;    // entries held
    u32 dropped;  // accesses that did not fit
    Access entries[kAccessLogCapacity];
};

inline constexpr std::size_t kMaxFaults = 16;

// A port or physical access that fails (returns false) while armed.
struct AccessFault {
    AccessKind kind;
    u32 address;
};

struct FaultState {
    bool openFails;  // HwOpen fails: hardware access cannot be opened
    u32 count;
    AccessFault faults[kMaxFaults];
};

inline constexpr std::size_t kSmbiosCapacity = 8192;

// What the platform inventory reports as the SMBIOS source.
struct SmbiosState {
    bool present;   // the source exists (registry key / sysfs file)
    bool isBinary;  // the value has the binary type
    u32 length;
    u8 bytes[kSmbiosCapacity];
};

inline constexpr std::size_t kPciFunctions = 16;
inline constexpr std::size_t kPciConfigWords = 64;  // 256-byte configuration space

struct PciFunctionState {
    bool present;
    u8 bus;
    u8 device;
    u8 function;
    u32 config[kPciConfigWords];
};

struct PciState {
    u32 address;  // last value written to CF8h
    PciFunctionState functions[kPciFunctions];
};

// Sparse 32-bit words backing physical addresses no chip model claims.
inline constexpr std::size_t kPhysWords = 512;

struct PhysWord {
    u32 address;
    u32 value;
};

struct PhysWordState {
    u32 count;
    PhysWord words[kPhysWords];
};

inline constexpr std::size_t kCauseMax = 48;

struct ResetState {
    u32 count;         // machine resets since the board was set up
    u64 lastAtMs;      // board time of the last reset
    char lastCause[kCauseMax];
};

inline constexpr std::size_t kModelNameMax = 32;

struct BoardState {
    char model[kModelNameMax];
    bool accessOpen;
    u64 nowMs;  // board clock, advanced explicitly by tests and tools
    FaultState faults;
    SmbiosState smbios;
    PciState pci;
    PhysWordState phys;
    ResetState reset;
    AccessLogState log;
};

}  // namespace hx::sim
