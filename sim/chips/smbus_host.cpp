#include "sim/chips/smbus_host.h"

#include "sim/chips/pse.h"

namespace hx::sim {
namespace {

constexpr u8 kStatus = 0, kSlaveStatus = 1, kControl = 2, kCommand = 3, kAddress = 4, kData = 5;

constexpr u8 kHostBusy = 0x01;
constexpr u8 kInterrupt = 0x02;
constexpr u8 kDeviceError = 0x04;
constexpr u8 kByteDone = 0x80;
constexpr u8 kWriteOneToClear = 0xFE;

constexpr u8 kStart = 0x40;
constexpr u8 kProtocolShift = 2, kProtocolMask = 0x7;
constexpr u8 kProtocolByteData = 0x2;
constexpr u8 kReadBit = 0x01;

constexpr u8 kBusyStatusReads = 1;  // status reads that see a started transaction still running
constexpr u8 kPmRegSmbusBase = 0x01;
constexpr u8 kFloating = 0xFF;

}  // namespace

void SmbusHost::Install(u16 base, bool pmVariant) {
    state_.present = true;
    state_.pmVariant = pmVariant;
    state_.base = base;
    for (u8& r : state_.regs) r = 0;
    state_.running = false;
}

PseControllerState* SmbusHost::Controller(u8 address) {
    for (PseControllerState& c : state_.controllers) {
        if (c.present && c.address == address) return &c;
    }
    return nullptr;
}

PseControllerState* SmbusHost::AddController(u8 address, PseLayout layout) {
    PseControllerState* slot = Controller(address);
    for (std::size_t i = 0; !slot && i < kPseControllers; ++i) {
        if (!state_.controllers[i].present) slot = &state_.controllers[i];
    }
    if (slot) PseController(*slot).Install(address, layout);
    return slot;
}

void SmbusHost::Record(const SmbusTransfer& t) {
    if (state_.logCount < kSmbusLogCapacity) state_.log[state_.logCount++] = t;
}

void SmbusHost::Start() {
    state_.running = true;
    state_.busyReads = kBusyStatusReads;
    state_.regs[kStatus] |= kHostBusy;
}

// The transaction on the bus: the address byte, the command, one data byte.
void SmbusHost::Finish() {
    state_.running = false;
    u8& status = state_.regs[kStatus];
    status &= static_cast<u8>(~kHostBusy);
    const u8 addressByte = state_.regs[kAddress];
    const u8 address = addressByte >> 1;
    const bool read = addressByte & kReadBit;
    PseControllerState* device = Controller(address);
    const bool byteData = ((state_.regs[kControl] >> kProtocolShift) & kProtocolMask) == kProtocolByteData;
    if (!byteData || !device || (state_.nakArmed && state_.nakAddress == address)) {
        status |= kDeviceError | kInterrupt;
        Record({addressByte, state_.regs[kCommand], read ? u8{0} : state_.regs[kData], false});
        return;
    }
    PseController pse(*device);
    if (read) {
        state_.regs[kData] = pse.Read(state_.regs[kCommand]);
    } else {
        pse.Write(state_.regs[kCommand], state_.regs[kData]);
    }
    status |= kInterrupt | kByteDone;
    Record({addressByte, state_.regs[kCommand], state_.regs[kData], true});
}

u8 SmbusHost::ReadByte(u16 port) {
    if (port == kPmIndexPort) return state_.pmIndex;
    if (port == kPmDataPort) return state_.pmIndex == kPmRegSmbusBase ? static_cast<u8>(state_.base >> 8) : 0;
    const u16 offset = static_cast<u16>(port - state_.base);
    if (offset >= kSmbusPorts) return kFloating;
    if (offset == kStatus) {
        if (state_.running && !state_.stuckBusy) {
            if (state_.busyReads) {
                --state_.busyReads;
            } else {
                Finish();
            }
        }
        u8 status = state_.regs[kStatus];
        if (state_.stuckBusy) status |= kHostBusy;
        if (state_.stuckByteDone) status |= kByteDone;
        return status;
    }
    if (offset == kControl) return static_cast<u8>(state_.regs[kControl] & ~kStart);
    return state_.regs[offset];
}

void SmbusHost::WriteByte(u16 port, u8 value) {
    if (port == kPmIndexPort) {
        state_.pmIndex = value;
        return;
    }
    const u16 offset = static_cast<u16>(port - state_.base);
    if (offset >= kSmbusPorts || port == kPmDataPort) return;
    if (offset == kStatus || offset == kSlaveStatus) {
        state_.regs[offset] &= static_cast<u8>(~(value & kWriteOneToClear));
        return;
    }
    state_.regs[offset] = offset == kControl ? static_cast<u8>(value & ~kStart) : value;
    if (offset == kControl && (value & kStart) && !state_.running) Start();
}

u32 SmbusHost::ReadPort(u16 port, u8 size) {
    u32 value = 0;
    for (u8 i = 0; i < size; ++i) value |= u32{ReadByte(static_cast<u16>(port + i))} << (8 * i);
    return value;
}

void SmbusHost::WritePort(u16 port, u32 value, u8 size) {
    for (u8 i = 0; i < size; ++i) WriteByte(static_cast<u16>(port + i), static_cast<u8>(value >> (8 * i)));
}

}  // namespace hx::sim
