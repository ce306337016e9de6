// Plain state of the virtual board: no pointers, no OS objects, so that it can
// live in static storage or in memory shared with another process (the
// simulated WinIo DLL under Wine shares it with the test driver on Linux).
#pragma once

#include <cstddef>

#include "core/types.h"
#include "sim/firmware/link_state.h"

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

inline constexpr std::size_t kCauseMax = 80;

struct ResetState {
    u32 count;         // machine resets since the board was set up
    u64 lastAtMs;      // board time of the last reset
    char lastCause[kCauseMax];
};

// IT87-series Super I/O (sim/chips/it87.h): the configuration state
// machine, the global registers, logical device 7 and its watchdog counter.
inline constexpr std::size_t kSioGlobalRegs = 0x30;
inline constexpr std::size_t kSioDeviceRegs = 0x100;

struct It87State {
    bool present;
    bool configMode;   // entry key seen, exit not yet written
    u8 keyStep;        // entry key bytes matched so far
    u8 index;          // register selected through the index port
    u8 global[kSioGlobalRegs];
    u8 gpio[kSioDeviceRegs];  // logical device 7 (30h..FFh used)
    u16 wdtCounter;    // units left; 0 = not counting
    u32 wdtPhaseMs;    // time already spent in the current unit
    u32 wdtExpiries;
};

// ICH/PCH TCO timer, SMI_EN and GCS (sim/chips/ich_tco.h).
inline constexpr std::size_t kTcoRegs = 0x20;

struct IchTcoState {
    bool present;
    u8 regs[kTcoRegs];  // the TCO block at 460h..47Fh
    u16 counter;        // ticks left
    u32 phaseMs;        // time already spent in the current tick
    u32 smiEn;          // SMI_EN at 430h
    u32 gcs;            // GCS at FED1F410h
    u32 smiCount;       // SMIs raised by a first time-out
};

// A block of byte registers that carries DIO lines (the GPIO block at
// 600h..605h, the pair at 29Eh/29Fh): the value last written to each, and
// the read-back lag after a write.
inline constexpr std::size_t kDioBlockRegs = 6;

struct DioRegsState {
    u8 latch[kDioBlockRegs];
    u8 stale[kDioBlockRegs];       // what a lagging read still returns
    u8 staleReads[kDioBlockRegs];  // lagging reads left
};

// ICH GPIO registers at 500h..50Fh (use-select, direction, level).
inline constexpr std::size_t kIchGpioRegs = 0x10;

struct IchGpioState {
    bool present;
    u8 regs[kIchGpioRegs];
};

// The field side of a port-mapped isolated DI/DO connector (the MCU keeps
// its own lines in its firmware state), and the output faults a test sets.
struct DioFieldState {
    u32 inputsActive;  // line n at bit n: current flows in input n
    u32 lagReads;      // after a write, an output register reads its old value this many times
    u32 stuckLines;    // output lines whose driver is stuck ...
    u32 stuckLevels;   // ... at this level (line n at bit n), in the field and in the read-back
    DioRegsState block;
    DioRegsState pair;
    IchGpioState ichGpio;
};

// The SMBus (sim/chips/smbus_host.h) and the PoE power-sourcing controllers
// on it (sim/chips/pse.h): the host's registers, its faults, the devices
// that answer, and every transaction it ran.
inline constexpr std::size_t kPseControllers = 16;  // on the board and on expansion cards
inline constexpr std::size_t kPseRegs = 0x40;

enum class PseLayout : u8 {
    ModeEnable,     // operating mode 12h, detect/class enable 14h
    ControlStatus,  // per-channel control 18h..1Bh, status 28h..2Bh
};

struct PseControllerState {
    bool present;
    u8 address;  // 7-bit SMBus address
    PseLayout layout;
    u8 regs[kPseRegs];
};

// One SMBus transaction as the host ran it.
struct SmbusTransfer {
    u8 addressByte;  // as written to the address register, bit 0 = read
    u8 command;
    u8 data;         // written, or read (0 when no device answered)
    bool acked;
};

inline constexpr std::size_t kSmbusLogCapacity = 512;

struct SmbusState {
    bool present;
    bool pmVariant;  // found through the PM index pair CD6h/CD7h, not on PCI
    u16 base;
    u8 regs[8];      // host status, slave status, control, command, address, data 0
    bool running;    // a transaction has been started and is not finished
    u8 busyReads;    // status reads that still show it running
    u8 pmIndex;      // last index written to CD6h
    bool stuckBusy;      // fault: host busy never clears
    bool stuckByteDone;  // fault: byte done cannot be cleared
    bool nakArmed;       // fault: the device at nakAddress does not acknowledge
    u8 nakAddress;
    PseControllerState controllers[kPseControllers];
    u32 logCount;
    SmbusTransfer log[kSmbusLogCapacity];
};

// The DT2 status lines (sim/chips/dt2_pads.h): each line's pad word as last
// written (read-only input bits left out), and what devices outside do to
// the lines.
inline constexpr std::size_t kMaxStatusLines = 17;

struct StatusPadState {
    u32 words[kMaxStatusLines];
    u32 driven;      // line n at bit n: a device outside drives the line
    u32 drivenHigh;  // ... high
};

inline constexpr std::size_t kModelNameMax = 32;

struct BoardState {
    char model[kModelNameMax];
    u64 nowMs;  // board clock: advanced by tests and tools, and on a shared machine by real time
    FaultState faults;
    SmbiosState smbios;
    PciState pci;
    PhysWordState phys;
    ResetState reset;
    It87State superIo;
    IchTcoState tco;
    DioFieldState dioField;
    SmbusState smbus;
    StatusPadState statusPads;
    SerialLinkState links;  // MCU firmware, CAN controller, transport faults, device paths
    AccessLogState log;
};

}  // namespace hx::sim
