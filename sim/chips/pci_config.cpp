#include "sim/chips/pci_config.h"

namespace hx::sim {
namespace {

constexpr u32 kBusMask = 0xFF, kDeviceMask = 0x1F, kFunctionMask = 0x7, kRegisterMask = 0xFC;
constexpr u32 kAllOnes = 0xFFFFFFFF;
constexpr u32 kIdWord = 0;  // vendor and device ID: read-only

u32 Mask(u8 size) { return size >= 4 ? kAllOnes : ((1u << (8u * size)) - 1u); }

}  // namespace

PciFunctionState* PciConfig::Find(u8 bus, u8 device, u8 function) {
    for (PciFunctionState& f : state_.functions) {
        if (f.present && f.bus == bus && f.device == device && f.function == function) return &f;
    }
    return nullptr;
}

PciFunctionState* PciConfig::Place(u8 bus, u8 device, u8 function, u32 id) {
    PciFunctionState* slot = Find(bus, device, function);
    for (std::size_t i = 0; !slot && i < kPciFunctions; ++i) {
        if (!state_.functions[i].present) slot = &state_.functions[i];
    }
    if (!slot) return nullptr;
    *slot = PciFunctionState{};
    slot->present = true;
    slot->bus = bus;
    slot->device = device & kDeviceMask;
    slot->function = function & kFunctionMask;
    slot->config[kIdWord] = id;
    return slot;
}

PciFunctionState* PciConfig::Selected(u32* byteOffset) {
    const u32 a = state_.address;
    if (!(a & kPciConfigEnable)) return nullptr;
    *byteOffset = a & kRegisterMask;
    return Find(static_cast<u8>((a >> kPciBusShift) & kBusMask), static_cast<u8>((a >> kPciDeviceShift) & kDeviceMask),
                static_cast<u8>((a >> kPciFunctionShift) & kFunctionMask));
}

u32 PciConfig::ReadPort(u16 port, u8 size) {
    if (port < kPciDataPort) return port == kPciAddressPort && size == 4 ? state_.address : kAllOnes;
    u32 offset = 0;
    const PciFunctionState* f = Selected(&offset);
    if (!f) return kAllOnes;
    const u32 lane = port - kPciDataPort;
    return (f->config[offset / 4] >> (8 * lane)) & Mask(size);
}

void PciConfig::WritePort(u16 port, u32 value, u8 size) {
    if (port == kPciAddressPort && size == 4) {
        state_.address = value;
        return;
    }
    if (port < kPciDataPort) return;  // byte writes to CF8h..CFBh are other mechanisms
    u32 offset = 0;
    PciFunctionState* f = Selected(&offset);
    if (!f || offset / 4 == kIdWord) return;
    const u32 shift = 8 * (port - kPciDataPort);
    const u32 mask = Mask(size) << shift;
    u32& word = f->config[offset / 4];
    word = (word & ~mask) | ((value << shift) & mask);
}

}  // namespace hx::sim
