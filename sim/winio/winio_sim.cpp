// The simulated WinIo library: the six functions of the real WinIo DLL,
// carried out on the virtual board's chip models instead of the hardware.
// The board lives in the file named by HALVEX_WINIO_BOARD, so a test program
// outside Wine can choose the model, place devices, arm faults (including an
// InitializeWinIo that fails) and read every access. Without that variable
// the board is a fresh one of this process.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "sim/board.h"
#include "sim/chips/dt2_pads.h"
#include "sim/chips/pci_config.h"
#include "sim/dio_board.h"
#include "sim/models.h"
#include "sim/poe_board.h"
#include "sim/watchdog_board.h"
#include "sim/winio/board_file.h"

namespace {

using hx::u16;
using hx::u32;
using hx::u8;
using hx::sim::Board;
using hx::sim::BoardFile;
using hx::sim::BoardState;
using hx::sim::PciConfig;

constexpr std::size_t kPathMax = 1024;
constexpr u32 kFnvOffset = 2166136261u, kFnvPrime = 16777619u;

// The chips of the board, wired onto its state for the model the state
// names (the default model when it names none). Process-local: only the
// state is shared; whoever creates the board file powers the chips on.
struct SimBoard {
    Board board;
    PciConfig pci;
    hx::sim::WatchdogChips watchdog;
    hx::sim::DioChips dio;
    hx::sim::PoeChips poe;
    hx::sim::StatusPads statusPads;
    explicit SimBoard(BoardState& state)
        : board(state), pci(state.pci), watchdog(board, state), dio(board, state), poe(board, state),
          statusPads(state.statusPads) {
        board.AttachPorts(hx::sim::kPciAddressPort, hx::sim::kPciLastPort, &pci);
        const hx::sim::BoardModel* model = hx::sim::FindBoardModel(state.model);
        if (!model) model = hx::sim::FindBoardModel(hx::sim::kDefaultModel);
        watchdog.Attach(*model);
        dio.Attach(*model);
        poe.Attach(*model);
        statusPads.Wire(model->statusPads);
        statusPads.Attach(board);
    }
};

BoardFile g_localFile{};  // the board when no file is named
std::optional<SimBoard> g_sim;

// "/tmp/x" -> "Z:\tmp\x"; other paths unchanged.
void ToWindowsPath(const char* in, wchar_t (&out)[kPathMax]) {
    std::size_t o = 0;
    if (in[0] == '/') {
        out[o++] = L'Z';
        out[o++] = L':';
    }
    for (std::size_t i = 0; in[i] && o + 1 < kPathMax; ++i) out[o++] = in[i] == '/' ? L'\\' : static_cast<wchar_t>(in[i]);
    out[o] = L'\0';
}

// Mapping name derived from the path, so that other Windows processes can
// open the same board by name.
void MappingName(const wchar_t* path, wchar_t (&name)[64]) {
    u32 h = kFnvOffset;
    for (const wchar_t* p = path; *p; ++p) h = (h ^ static_cast<u32>(*p)) * kFnvPrime;
    wsprintfW(name, L"Local\\HalvexSimBoard-%08X", h);
}

BoardFile* MapBoardFile(const char* unixOrWindowsPath) {
    wchar_t path[kPathMax];
    ToWindowsPath(unixOrWindowsPath, path);
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    wchar_t name[64];
    MappingName(path, name);
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, sizeof(BoardFile), name);
    CloseHandle(file);  // the mapping keeps the file open
    if (!mapping) return nullptr;
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(BoardFile));
    CloseHandle(mapping);  // the view keeps the mapping alive for the process
    auto* board = static_cast<BoardFile*>(view);
    if (board && !hx::sim::BoardFileValid(*board)) {
        UnmapViewOfFile(view);
        return nullptr;
    }
    return board;
}

// The board of this process, set up on first use; none when a board file is
// named but cannot be mapped.
Board* TheBoard() {
    if (g_sim) return &g_sim->board;
    const char* path = std::getenv(hx::sim::kBoardFileVariable);
    BoardFile* file = &g_localFile;
    if (path && *path) {
        file = MapBoardFile(path);
        if (!file) return nullptr;
        g_sim.emplace(file->state);
        return &g_sim->board;
    }
    g_localFile.magic = hx::sim::kBoardFileMagic;
    g_localFile.stateSize = sizeof(BoardState);
    std::strncpy(g_localFile.state.model, hx::sim::kDefaultModel, hx::sim::kModelNameMax - 1);
    g_sim.emplace(g_localFile.state);
    g_sim->watchdog.PowerOn(*hx::sim::FindBoardModel(hx::sim::kDefaultModel));
    g_sim->dio.PowerOn(*hx::sim::FindBoardModel(hx::sim::kDefaultModel));
    g_sim->statusPads.PowerOn();
    return &g_sim->board;
}

}  // namespace

extern "C" {

bool WINAPI InitializeWinIo() {
    Board* b = TheBoard();
    return b && b->Open();
}

bool WINAPI ShutdownWinIo() {
    if (Board* b = TheBoard()) b->Close();
    return true;
}

bool WINAPI GetPortVal(WORD port, PDWORD value, BYTE size) {
    Board* b = TheBoard();
    if (!b || !value) return false;
    u32 v = 0;
    if (!b->ReadPort(port, &v, size)) return false;
    *value = v;
    return true;
}

bool WINAPI SetPortVal(WORD port, DWORD value, BYTE size) {
    Board* b = TheBoard();
    return b && b->WritePort(port, value, size);
}

// Physical addresses arrive in a pointer-sized argument; the board has a
// 32-bit physical address space.
bool WINAPI GetPhysLong(std::uintptr_t address, PDWORD value) {
    Board* b = TheBoard();
    if (!b || !value || address > UINT32_MAX) return false;
    u32 v = 0;
    if (!b->ReadPhys32(static_cast<u32>(address), &v)) return false;
    *value = v;
    return true;
}

bool WINAPI SetPhysLong(std::uintptr_t address, DWORD value) {
    Board* b = TheBoard();
    return b && address <= UINT32_MAX && b->WritePhys32(static_cast<u32>(address), value);
}

}  // extern "C"
