#include "sim/board_links.h"

#include <cstring>
#include <initializer_list>

#include "sim/virtual_board.h"

namespace hx::sim {
namespace {

constexpr u32 kNone = 0;

// Configuration word 08h of the chipset UART: class 07h (communication),
// subclass 00h (serial), interface 02h (16550-compatible), revision 11h.
constexpr u32 kClassRevisionWord = 2;
constexpr u32 kHsUartClassRevision = 0x07000211;

LinkHostStarter g_starter = nullptr;
LinkLockFn g_lock = nullptr;
LinkLockFn g_unlock = nullptr;
LinkLockFn g_kick = nullptr;

}  // namespace

u32 InventoryKind(const UartWiring& uart) {
    switch (uart.attach) {
        case UartAttach::None:
            return kNone;
        case UartAttach::Io16550:
            return uart.ioBase;
        case UartAttach::ChipsetPci:
            return PciConfigAddress(uart.pci.bus, uart.pci.device, uart.pci.function);
        case UartAttach::UsbSerial:
            return u32{uart.usbProduct} << 16 | uart.usbVendor;
    }
    return kNone;
}

const UartWiring& LinkUart(LinkRole role) {
    const BoardModel* model = FindBoardModel(TheBoardState().model);
    if (!model) return kNoUart;
    return role == LinkRole::Mcu ? model->mcu : model->can;
}

const UartWiring& McuUsbPort() {
    const BoardModel* model = FindBoardModel(TheBoardState().model);
    return model ? model->mcuUsb : kNoUart;
}

void PlaceLinkUarts(PciConfig& pci, const BoardModel& model) {
    for (const UartWiring* uart : {&model.mcu, &model.can}) {
        if (uart->attach != UartAttach::ChipsetPci) continue;
        const PciFunctionId& id = uart->pci;
        PciFunctionState* f = pci.Place(id.bus, id.device, id.function, u32{id.deviceId} << 16 | id.vendor);
        if (f) f->config[kClassRevisionWord] = kHsUartClassRevision;
    }
}

SerialLinkState& TheLinks() { return TheBoardState().links; }

void PublishLinks(const char* mcuPath, const char* canPath) {
    LinkPathState& p = TheLinks().paths;
    std::memset(p.kinds, 0, sizeof p.kinds);
    std::strncpy(p.path[static_cast<u32>(LinkRole::Mcu)], mcuPath, kLinkPathMax - 1);
    std::strncpy(p.path[static_cast<u32>(LinkRole::Can)], canPath, kLinkPathMax - 1);
    // The MCU's USB port leads to the same firmware as its UART.
    const PublishedLink candidates[] = {{InventoryKind(LinkUart(LinkRole::Mcu)), LinkRole::Mcu, McuPort::Uart},
                                        {InventoryKind(McuUsbPort()), LinkRole::Mcu, McuPort::Usb},
                                        {InventoryKind(LinkUart(LinkRole::Can)), LinkRole::Can, McuPort::Uart}};
    u32 published = 0;
    for (const PublishedLink& link : candidates) {
        if (link.portKind != kNone && p.path[static_cast<u32>(link.role)][0]) p.kinds[published++] = link;
    }
    p.hostUp = true;
}

void WithdrawLink(LinkRole role) { TheLinks().paths.path[static_cast<u32>(role)][0] = '\0'; }

void SetMcuPortPresent(McuPort port, bool present) {
    TheLinks().paths.mcuPortAbsent[static_cast<u32>(port)] = !present;
}

void SetLinkHostStarter(LinkHostStarter starter) { g_starter = starter; }

void SetLinkLock(LinkLockFn lock, LinkLockFn unlock) {
    g_lock = lock;
    g_unlock = unlock;
}

void SetLinkKick(LinkLockFn kick) { g_kick = kick; }

void KickLinks() {
    if (g_kick) g_kick();
}

LinksLock::LinksLock() {
    if (g_lock) g_lock();
}

LinksLock::~LinksLock() {
    if (g_unlock) g_unlock();
}

// The starter decides whether the links must be started (on a shared
// machine also when the process that ran them is gone).
bool FindBoardLinkPort(u32 portKind, os::PathChar* path) {
    if (g_starter) g_starter();
    const LinksLock hold;
    LinkPathState& p = TheLinks().paths;
    ++p.lookups;
    if (!p.hostUp) return false;
    for (const PublishedLink& link : p.kinds) {
        if (link.portKind == kNone || link.portKind != portKind) continue;
        if (link.role == LinkRole::Mcu && p.mcuPortAbsent[static_cast<u32>(link.port)]) continue;
        const char* device = p.path[static_cast<u32>(link.role)];
        const std::size_t length = std::strlen(device);
        if (length == 0 || length >= os::kPortPathChars) return false;
        for (std::size_t i = 0; i <= length; ++i) path[i] = static_cast<os::PathChar>(device[i]);
        return true;
    }
    return false;
}

}  // namespace hx::sim
