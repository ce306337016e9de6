#include "core/hw_access.h"

#include <atomic>

#include "core/backend.h"

namespace hx {
namespace {

std::atomic<const Backend*> g_backend{nullptr};
std::atomic<bool> g_open{false};

bool ValidSize(u8 size) { return size == 1 || size == 2 || size == 4; }

u32 SizeMask(u8 size) { return size == 4 ? 0xFFFFFFFFu : ((1u << (8u * size)) - 1u); }

const HwOps* Ops() {
    const Backend* b = g_backend.load(std::memory_order_acquire);
    return b ? &b->hw : nullptr;
}

}  // namespace

void UseBackend(const Backend* backend) { g_backend.store(backend, std::memory_order_release); }
const Backend* CurrentBackend() { return g_backend.load(std::memory_order_acquire); }

bool HwOpen() {
    const HwOps* ops = Ops();
    bool ok = ops && ops->open && ops->open();
    g_open.store(ok, std::memory_order_release);
    return ok;
}

void HwClose() {
    const HwOps* ops = Ops();
    if (ops && ops->close) ops->close();
    g_open.store(false, std::memory_order_release);
}

bool HwIsOpen() { return g_open.load(std::memory_order_acquire); }

bool HwReadPort(u16 port, u32* value, u8 size) {
    const HwOps* ops = Ops();
    if (!ops || !value || !ValidSize(size)) return false;
    u32 raw = 0;
    if (!ops->readPort(port, &raw, size)) return false;
    *value = raw & SizeMask(size);  // zero-extended to 32 bits
    return true;
}

bool HwWritePort(u16 port, u32 value, u8 size) {
    const HwOps* ops = Ops();
    if (!ops || !ValidSize(size)) return false;
    return ops->writePort(port, value & SizeMask(size), size);
}

bool HwReadPhys32(u32 address, u32* value) {
    const HwOps* ops = Ops();
    if (!ops || !value) return false;
    return ops->readPhys32(address, value);
}

bool HwWritePhys32(u32 address, u32 value) {
    const HwOps* ops = Ops();
    if (!ops) return false;
    return ops->writePhys32(address, value);
}

namespace {

u32 ReadPhysOrZero(u32 address) {
    u32 word = 0;
    HwReadPhys32(address, &word);
    return word;
}

}  // namespace

void HwSetPortBits(u16 port, u8 bits) { HwWriteByte(port, HwReadByte(port) | bits); }
void HwClearPortBits(u16 port, u8 bits) { HwWriteByte(port, HwReadByte(port) & static_cast<u8>(~bits)); }
void HwSetPhysBits(u32 address, u32 bits) { HwWritePhys32(address, ReadPhysOrZero(address) | bits); }
void HwClearPhysBits(u32 address, u32 bits) { HwWritePhys32(address, ReadPhysOrZero(address) & ~bits); }

}  // namespace hx
