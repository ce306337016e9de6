#include "poe/smbus.h"

#include "core/hw_access.h"
#include "core/library_lock.h"
#include "core/pci_config.h"

namespace hx::smbus {
namespace {

// The SMBus controller's PCI functions: bus 0, device 31, functions 0..5.
constexpr u32 kDevice31 = kPciConfigEnable | 31u << 11;
constexpr u32 kFunctionShift = 8;
constexpr u32 kFunctionsSearched = 6;
constexpr u32 kRegClassRevision = 0x08;  // class, subclass, interface, revision
constexpr u32 kRegIoBase = 0x20;         // I/O base address (bit 0: I/O space indicator)
constexpr u32 kClassSubclassMask = 0xFFFF0000;
constexpr u32 kClassSmbus = 0x0C050000;  // serial bus controller, SMBus
constexpr u32 kIoBaseMask = 0xFFFE;

// The PM variant: the base's high byte in power-management register 01h.
constexpr u16 kPmIndexPort = 0xCD6;
constexpr u16 kPmDataPort = 0xCD7;
constexpr u8 kPmRegSmbusBase = 0x01;
constexpr u32 kPmBaseShift = 8;
// Before a PM transaction: slave status bits 4..2 and host status bits 4..1
// written as ones (cleared); slave status bit 0 is the slave's busy bit.
constexpr u8 kPmSlaveClear = 0x1C;
constexpr u8 kPmHostClear = 0x1E;
constexpr u8 kSlaveBusy = 0x01;

constexpr auto kRelaxed = std::memory_order_relaxed;

u16 At(u16 base, u16 offset) { return static_cast<u16>(base + offset); }

// Up to kPolls times: sleep, read `port`; true as soon as `bits` read clear.
// The last value read goes to `last`.
bool WaitClear(u16 port, u8 bits, u8& last) {
    for (u32 poll = 0; poll < kPolls; ++poll) {
        os::SleepMs(kPollSleepMs);
        last = HwReadByte(port);
        if (!(last & bits)) return true;
    }
    return false;
}

// Clears byte done (with every other set status bit) and waits for it.
bool PreparePci(u16 base) {
    const u16 status = At(base, kStatus);
    HwWriteByte(status, static_cast<u8>(HwReadByte(status) | kByteDone));
    u8 last = 0;
    return WaitClear(status, kByteDone, last);
}

bool PreparePm(u16 base) {
    const u16 slave = At(base, kSlaveStatus);
    HwWriteByte(slave, static_cast<u8>(HwReadByte(slave) | kPmSlaveClear));
    HwWriteByte(At(base, kStatus), kPmHostClear);
    u8 last = 0;
    return WaitClear(slave, kSlaveBusy, last);
}

using Prepare = bool (*)(u16 base);

// Starts the byte-data protocol and waits for the host to finish; the final
// status goes to `last`.
bool Run(u16 base, u8& last) {
    HwWriteByte(At(base, kControl), kStartByteData);
    return WaitClear(At(base, kStatus), kHostBusy, last);
}

void Write(Prepare prepare, u8 addressByte, u8 command, u8 data) {
    LibraryLockGuard lock;
    const u16 base = HostBase.load(kRelaxed);
    if (!base || !prepare(base)) return;
    HwWriteByte(At(base, kAddress), addressByte);
    HwWriteByte(At(base, kCommand), command);
    HwWriteByte(At(base, kData), data);
    u8 last = 0;
    Run(base, last);  // a write checks neither the time-out nor the device error
}

u32 Read(Prepare prepare, u8 addressByte, u8 command) {
    LibraryLockGuard lock;
    const u16 base = HostBase.load(kRelaxed);
    if (!base || !prepare(base)) return 0;
    HwWriteByte(At(base, kAddress), static_cast<u8>(addressByte | kReadBit));
    HwWriteByte(At(base, kCommand), command);
    u8 last = 0;
    if (!Run(base, last) || (last & kDeviceError)) return 0;
    return HwReadByte(At(base, kData));
}

}  // namespace

void FindPciHost() {
    if (HostBase.load(kRelaxed)) return;
    LibraryLockGuard lock;
    for (u32 f = 0; f < kFunctionsSearched; ++f) {
        const u32 function = kDevice31 | f << kFunctionShift;
        if ((PciConfigRead32(function | kRegClassRevision) & kClassSubclassMask) != kClassSmbus) continue;
        HostBase.store(static_cast<u16>(PciConfigRead32(function | kRegIoBase) & kIoBaseMask), kRelaxed);
        return;
    }
}

void FindPmHost() {
    if (HostBase.load(kRelaxed)) return;
    LibraryLockGuard lock;
    HwWriteByte(kPmIndexPort, kPmRegSmbusBase);
    const u8 high = HwReadByte(kPmDataPort);
    if (high) HostBase.store(static_cast<u16>(high << kPmBaseShift), kRelaxed);
}

void PciWrite(u8 addressByte, u8 command, u8 data) { Write(&PreparePci, addressByte, command, data); }
u32 PciRead(u8 addressByte, u8 command) { return Read(&PreparePci, addressByte, command); }
void PmWrite(u8 addressByte, u8 command, u8 data) { Write(&PreparePm, addressByte, command, data); }
u32 PmRead(u8 addressByte, u8 command) { return Read(&PreparePm, addressByte, command); }

}  // namespace hx::smbus
