#include "sim/virtual_board.h"

#include <algorithm>
#include <cstring>

#include "sim/board_links.h"
#include "sim/dio_board.h"
#include "sim/dt2_board.h"
#include "sim/mcu_board.h"
#include "sim/poe_board.h"
#include "sim/watchdog_board.h"

namespace hx::sim {
namespace {

constexpr char kBiosVendor[] = "Corvane BIOS";
constexpr char kManufacturer[] = "Corvane";
constexpr u32 kDefaultOsMajor = 10;

// Constant-initialised: the virtual library's constructor may run before any
// dynamic initialiser of this file. Page-aligned and a whole number of pages
// long (alignas rounds the size up), so that a shared mapping can replace it.
struct alignas(kImagePageBytes) Image {
    u8 header[kImageHeaderBytes];
    BoardState state;
};
constinit Image g_image{};
BoardState& g_state = g_image.state;
constinit Board g_board{g_image.state};
constinit PciConfig g_pci{g_image.state.pci};
u32 g_osMajor = kDefaultOsMajor;

void WireChips() {
    g_board.DetachAll();
    g_board.AttachPorts(kPciAddressPort, kPciLastPort, &g_pci);
}

// A library thread may reach the board beside the application's (the
// receive thread of the boards with 3-byte DI messages reads the GPIO
// block's inputs): each access runs under the lock of the board's links,
// which the field side holds too when it drives an input.
bool Open() { return g_board.Open(); }
void Close() { g_board.Close(); }
bool ReadPort(u16 port, u32* value, u8 size) {
    const LinksLock hold;
    return g_board.ReadPort(port, value, size);
}
bool WritePort(u16 port, u32 value, u8 size) {
    const LinksLock hold;
    return g_board.WritePort(port, value, size);
}
bool ReadPhys32(u32 address, u32* value) {
    const LinksLock hold;
    return g_board.ReadPhys32(address, value);
}
bool WritePhys32(u32 address, u32 value) {
    const LinksLock hold;
    return g_board.WritePhys32(address, value);
}

SmbiosRead ReadSmbios(u8* buffer, u32 capacity) {
    const SmbiosState& s = g_state.smbios;
    SmbiosRead r;
    if (!s.present) return r;
    r.found = true;
    r.isBinary = s.isBinary;
    r.reportedLength = s.length;
    r.writtenLength = std::min(s.length, capacity);
    std::memcpy(buffer, s.bytes, r.writtenLength);
    return r;
}

u32 OsMajor() { return g_osMajor; }

constexpr Backend kVirtual{
    "virtual",
    {Open, Close, ReadPort, WritePort, ReadPhys32, WritePhys32},
    {ReadSmbios, OsMajor, FindBoardLinkPort},
};

}  // namespace

BoardState& TheBoardState() { return g_state; }
Board& TheBoard() { return g_board; }
PciConfig& ThePci() { return g_pci; }

SmbiosIdentity IdentityFor(const BoardModel& model) {
    return SmbiosIdentity{kBiosVendor,  "5.12",         "03/14/2024",       kManufacturer,        model.systemProduct,
                          "1.0",        "HX0000001234", kManufacturer,      model.boardProduct,   "1.0"};
}

BoardImage TheBoardImage() { return {&g_image, sizeof g_image}; }

bool SetUpBoard(const char* name) {
    const BoardModel* model = FindBoardModel(name);
    if (!model) return false;
    g_board.ResetAccess();
    BuildBoard(*model, true);
    return true;
}

// Each chip group is powered on and attached in turn: a group's power-on
// writes reach the devices attached before it.
void BuildBoard(const BoardModel& model, bool powerOn) {
    g_osMajor = kDefaultOsMajor;
    if (powerOn) {
        std::memset(&g_state, 0, sizeof g_state);
        std::strncpy(g_state.model, model.name, kModelNameMax - 1);
        g_state.smbios.present = true;
        g_state.smbios.isBinary = true;
        g_state.smbios.length = BuildSmbiosTable(IdentityFor(model), g_state.smbios.bytes, kSmbiosCapacity);
    }
    WireChips();
    if (powerOn) PlaceLinkUarts(g_pci, model);
    WireWatchdogChips(model, powerOn);
    WireDioChips(model, powerOn);
    WirePoeChips(model, powerOn);
    WireDt2Pads(model, powerOn);
    WireMcuFunctions(model, powerOn);
}

void SetSmbiosBlob(const u8* bytes, u32 length, bool isBinary) {
    SmbiosState& s = g_state.smbios;
    s.present = true;
    s.isBinary = isBinary;
    s.length = std::min<u32>(length, kSmbiosCapacity);
    if (bytes && s.length) std::memcpy(s.bytes, bytes, s.length);
}

void RemoveSmbios() { g_state.smbios.present = false; }

void SetOsMajorVersion(u32 major) { g_osMajor = major; }

const Backend* VirtualBackend() { return &kVirtual; }

}  // namespace hx::sim
