#include "sim/poe_board.h"

#include "sim/chips/pci_config.h"
#include "sim/chips/pse.h"
#include "sim/virtual_board.h"

namespace hx::sim {
namespace {

constexpr u8 kChipsetDevice = 31;
constexpr u8 kLpcFunction = 0;
constexpr u32 kIntelLpcBridge = 0x1E558086;
constexpr u32 kIntelSmbus = 0x1E228086;
constexpr u32 kPlxSwitch = 0x860810B5;

// Configuration words (register / 4).
constexpr std::size_t kClassWord = 0x08 / 4;
constexpr std::size_t kHeaderWord = 0x0C / 4;
constexpr std::size_t kIoBaseWord = 0x20 / 4;
constexpr std::size_t kBusNumbersWord = 0x18 / 4;  // primary, secondary, subordinate

constexpr u32 kClassIsaBridge = 0x06010000;
constexpr u32 kClassSmbus = 0x0C050004;  // class 0Ch, subclass 05h, revision 04h
constexpr u32 kClassPciBridge = 0x06040000;
constexpr u32 kClassEthernet = 0x02000001;
constexpr u32 kHeaderTypeBridge = 0x00010000;
constexpr u32 kIoSpace = 0x1;

constexpr u8 kCardAddress0 = 0x21;
constexpr u8 kCardAddressStep = 2;

void PlacePciHost(PciState& pciState, const SmbusWiring& w) {
    PciConfig pci{pciState};
    if (!pci.Find(0, kChipsetDevice, kLpcFunction)) {
        if (PciFunctionState* lpc = pci.Place(0, kChipsetDevice, kLpcFunction, kIntelLpcBridge)) {
            lpc->config[kClassWord] = kClassIsaBridge;
        }
    }
    if (PciFunctionState* f = pci.Place(0, kChipsetDevice, w.function, kIntelSmbus)) {
        f->config[kClassWord] = kClassSmbus;
        f->config[kIoBaseWord] = w.base | kIoSpace;
    }
}

PoePortView ViewOf(const BoardState& state, u8 address, u8 channel) {
    for (const PseControllerState& c : state.smbus.controllers) {
        if (!c.present || c.address != address) continue;
        return {true, PseChannelPowered(c, channel), address, channel};
    }
    return {true, false, address, channel};
}

}  // namespace

static PoeChips& ProcessChips() {
    static PoeChips chips{TheBoard(), TheBoardState()};
    return chips;
}

void PoeChips::PowerOn(const BoardModel& model) {
    const PoeWiring& w = *model.poe;
    host_.Install(w.smbus.base, w.smbus.attach == SmbusAttach::PmIndex);
    if (w.smbus.attach == SmbusAttach::PciFunction) PlacePciHost(state_.pci, w.smbus);
    for (u8 p = 0; p < w.portCount; ++p) {
        if (!host_.Controller(w.ports[p].controller)) host_.AddController(w.ports[p].controller, w.layout);
    }
}

void PoeChips::Attach(const BoardModel& model) {
    const SmbusWiring& w = model.poe->smbus;
    board_.AttachPorts(w.base, static_cast<u16>(w.base + kSmbusPorts - 1), &host_);
    if (w.attach == SmbusAttach::PmIndex) board_.AttachPorts(kPmIndexPort, kPmDataPort, &host_);
}

SmbusHost& TheSmbusHost() { return ProcessChips().Host(); }

void WirePoeChips(const BoardModel& model, bool powerOn) {
    if (powerOn) ProcessChips().PowerOn(model);
    ProcessChips().Attach(model);
}

bool PlaceExpansionCard(BoardState& state, u32 nicId, u8 bridgeBus, u8 index) {
    if (index >= kCardIndexes || bridgeBus == 0xFF) return false;
    PciConfig pci{state.pci};
    const u8 secondary = static_cast<u8>(bridgeBus + 1);
    PciFunctionState* bridge = pci.Place(bridgeBus, 0, 0, kPlxSwitch);
    PciFunctionState* nic = bridge ? pci.Place(secondary, 0, 0, nicId) : nullptr;
    if (!nic) return false;
    bridge->config[kClassWord] = kClassPciBridge;
    bridge->config[kHeaderWord] = kHeaderTypeBridge;
    bridge->config[kBusNumbersWord] = u32{bridgeBus} | u32{secondary} << 8 | u32{secondary} << 16;
    nic->config[kClassWord] = kClassEthernet;
    const u8 address = static_cast<u8>(kCardAddress0 + kCardAddressStep * index);
    return SmbusHost(state.smbus).AddController(address, PseLayout::ModeEnable) != nullptr;
}

PoePortView BoardPoePort(const BoardState& state, u8 port) {
    const BoardModel* model = FindBoardModel(state.model);
    if (!model || port < 1 || port > model->poe->portCount) return {};
    const PoePortWiring& w = model->poe->ports[port - 1];
    return ViewOf(state, w.controller, w.channel);
}

PoePortView CardPoePort(const BoardState& state, u8 index, u8 port) {
    if (index >= kCardIndexes || port < 1 || port > kCardPorts) return {};
    const u8 address = static_cast<u8>(kCardAddress0 + kCardAddressStep * index);
    for (const PseControllerState& c : state.smbus.controllers) {
        if (c.present && c.address == address) return ViewOf(state, address, static_cast<u8>(port - 1));
    }
    return {};
}

}  // namespace hx::sim
