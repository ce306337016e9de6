// Unit tests of the Win32 back-end, run under Wine by the Wine stage: the
// message after a failed WinIo start, failures reported by the simulated
// WinIo64.dll, the service manager calls of RegisterWinIOService (recorded),
// and the serial transport: the registry's port search, time-out, partial
// read and stop on COM5 (the MCU firmware's pseudo-terminal), a failing
// write on COM6 (/dev/full). With the argument "share" it is instead the
// owner of COM5 and starts itself as a client ("share-client"), whose write
// and read its sharing server carries out. Exits with the number of failed
// tests. The
// board file of the simulated WinIo is named by HALVEX_WINIO_BOARD; this
// program maps it too, to arm faults and read the access log.
#include <process.h>
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "backends/win32/service_api.h"
#include "backends/win32/win32_ui.h"
#include "backends/win32/winio_backend.h"
#include "core/backend.h"
#include "core/hw_access.h"
#include "core/port_kind.h"
#include "core/state.h"
#include "mcu/frame.h"
#include "mcu/link.h"
#include "mcu/shared_link.h"
#include "os/os.h"
#include "sim/board.h"
#include "sim/winio/board_file.h"

namespace {

using namespace hx;
using namespace hx::os::win32;
using hx::sim::AccessKind;

int g_failed = 0, g_caseFailures = 0;

#define EXPECT(cond)                                                          \
    do {                                                                      \
        if (!(cond)) {                                                        \
            std::printf("  %s:%d: expected %s\n", __FILE__, __LINE__, #cond); \
            ++g_caseFailures;                                                 \
        }                                                                     \
    } while (0)

void Run(const char* name, void (*body)()) {
    g_caseFailures = 0;
    body();
    Ui() = DefaultUiHooks();
    Services() = DefaultServiceApi();
    g_failed += g_caseFailures ? 1 : 0;
    std::printf("%s: %s\n", g_caseFailures ? "FAILED" : "ok", name);
}

sim::BoardFile* g_board = nullptr;

sim::BoardFile* MapBoard() {
    char path[1024] = "Z:";
    if (!GetEnvironmentVariableA(sim::kBoardFileVariable, path + 2, sizeof path - 2)) return nullptr;
    for (char* p = path; *p; ++p) *p = *p == '/' ? '\\' : *p;
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 0, nullptr);
    CloseHandle(file);
    void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr;
    if (mapping) CloseHandle(mapping);
    return static_cast<sim::BoardFile*>(view);
}

// ---- what the library asks of the user and the system, recorded ---------------

char g_events[2048];  // the calls below, in order
int g_answer = IDOK;  // the user's answer to a message box
bool g_refuses, g_serviceExists, g_createFails;
wchar_t g_driverPath[MAX_PATH + 32];

void Note(const char* format, ...) {
    const std::size_t used = std::strlen(g_events);
    va_list args;
    va_start(args, format);
    std::vsnprintf(g_events + used, sizeof g_events - used, format, args);
    va_end(args);
}

void ExpectEvents(const char* want) {
    if (std::strcmp(g_events, want) != 0) std::printf("  events: %s\n", g_events);
    EXPECT(std::strcmp(g_events, want) == 0);
}

int WINAPI FakeMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
    Note("box(%ls|%ls|%u|%s) ", text, caption, style, owner ? "owner" : "no-owner");
    return g_answer;
}
bool FakeRestart() { return Note("restart "), true; }

void Record(int answer) {
    g_events[0] = '\0';
    g_answer = answer;
    Ui().messageBox = FakeMessageBox;
    Ui().requestRestart = FakeRestart;
}

BOOL WINAPI Wow64Yes(HANDLE, PBOOL wow64) { return *wow64 = TRUE, TRUE; }
BOOL WINAPI Wow64CallFails(HANDLE, PBOOL wow64) { return *wow64 = TRUE, FALSE; }  // says TRUE, but failed
IsWow64ProcessFn LookUpWow64Yes() { return Wow64Yes; }
IsWow64ProcessFn LookUpWow64CallFails() { return Wow64CallFails; }
IsWow64ProcessFn LookUpNothing() { return nullptr; }

// The one box of a failed start: the WOW64 text only when IsWow64Process
// exists, succeeds and says so; nothing when the start succeeds.
void FailedStartShowsTheBoxItsWow64AnswerChooses() {
    constexpr char kWow64[] = "box(No support WOW64, please install 64-bit driver library...|Corvane DIO/WDT|0|no-owner) ";
    constexpr char kFailed[] = "box(WinIO library initialization failed ...|Corvane DIO/WDT|0|no-owner) ";
    const struct {
        IsWow64ProcessFn (*lookUp)();
        bool openFails;
        const char* events;
    } rows[] = {
        {LookUpWow64Yes, true, kWow64},
        {LookUpNothing, true, kFailed},
        {LookUpWow64CallFails, true, kFailed},
        {LookUpIsWow64Process, true, kFailed},  // the real one: a 64-bit process is no WOW64 process
        {LookUpWow64Yes, false, ""},
    };
    for (const auto& row : rows) {
        g_board->state.faults.openFails = row.openFails;
        Record(IDOK);
        Ui().lookUpIsWow64Process = row.lookUp;
        EXPECT(WinIoBackend()->hw.open() == !row.openFails);
        ExpectEvents(row.events);
    }
    g_board->state.faults.openFails = false;
}

void FailedAccessesAreReportedAndLeaveTheValue() {
    const HwOps& winIo = WinIoBackend()->hw;
    EXPECT(winIo.open());
    sim::AddFault(g_board->state, AccessKind::PortRead, 0x2F);
    sim::AddFault(g_board->state, AccessKind::PhysRead, 0x00100004);
    u32 v = 0x1234;
    EXPECT(!winIo.readPort(0x2F, &v, 1) && !winIo.readPhys32(0x00100004, &v) && v == 0x1234);
    sim::ClearFaults(g_board->state);
    EXPECT(winIo.readPort(0x2F, &v, 1) && winIo.writePhys32(0x00100004, 1));
    winIo.close();
    EXPECT(!winIo.writePort(0x80, 1, 1) && !winIo.writePhys32(0x00100004, 1));  // after ShutdownWinIo
}

const auto kManager = reinterpret_cast<SC_HANDLE>(0x100);
const auto kOld = reinterpret_cast<SC_HANDLE>(0x200);
const auto kNew = reinterpret_cast<SC_HANDLE>(0x300);
const char* Name(SC_HANDLE h) { return h == kManager ? "manager" : h == kOld ? "old" : h == kNew ? "new" : "?"; }

SC_HANDLE WINAPI FakeOpenManager(LPCWSTR machine, LPCWSTR database, DWORD access) {
    Note("open-manager(%s,%s,%lX) ", machine ? "machine" : "local", database ? "database" : "default", access);
    return g_refuses ? nullptr : kManager;
}
SC_HANDLE WINAPI FakeOpenService(SC_HANDLE manager, LPCWSTR name, DWORD access) {
    Note("open-service(%s,%ls,%lX) ", Name(manager), name, access);
    return g_serviceExists ? kOld : nullptr;
}
BOOL WINAPI FakeControl(SC_HANDLE service, DWORD control, LPSERVICE_STATUS) {
    Note("control(%s,%lu) ", Name(service), control);
    return FALSE;  // a driver that is not running cannot be stopped
}
BOOL WINAPI FakeDelete(SC_HANDLE service) { return Note("delete(%s) ", Name(service)), TRUE; }
SC_HANDLE WINAPI FakeCreate(SC_HANDLE manager, LPCWSTR name, LPCWSTR display, DWORD access, DWORD type, DWORD start,
                            DWORD errorControl, LPCWSTR path, LPCWSTR group, LPDWORD tag, LPCWSTR dependencies,
                            LPCWSTR account, LPCWSTR password) {
    Note("create(%s,%ls,%ls,%lX,%lu,%lu,%lu,%s) ", Name(manager), name, display, access, type, start, errorControl,
         group || tag || dependencies || account || password ? "extras" : "no-extras");
    lstrcpynW(g_driverPath, path, MAX_PATH + 32);
    return g_createFails ? nullptr : kNew;
}
BOOL WINAPI FakeClose(SC_HANDLE handle) { return Note("close(%s) ", Name(handle)), TRUE; }
void FakePause(unsigned ms) { Note("sleep(%u) ", ms); }

// The pauses are recorded, not taken. The driver file is this build's: the
// 64-bit WinIo64.dll talks to winio64.sys, the 32-bit one to winio32.sys.
void ServiceManagerCallsFollowWhatTheManagerAnswers() {
#define HX_OPEN "open-manager(local,default,F003F) open-service(manager,WINIO,F01FF) "
#define HX_CREATE "create(manager,WINIO,WINIO,F01FF,1,1,1,no-extras) close(manager) "
#define HX_BOX "box(Successfully install the WinIo driver!\n\nClick OK to reboot your system to take effect.|Corvane DIO/WDT|1|no-owner) "
    const struct {
        bool refuses, exists, createFails;
        int answer;
        u32 result;
        const char* events;
    } rows[] = {
        {false, true, false, IDOK, 1,
         HX_OPEN "control(old,1) sleep(1000) delete(old) sleep(500) close(old) " HX_CREATE "close(new) " HX_BOX "restart "},
        {false, false, false, IDCANCEL, 1, HX_OPEN HX_CREATE "close(new) " HX_BOX},
        {true, true, false, IDOK, 0, "open-manager(local,default,F003F) "},
        {false, false, true, IDOK, 0, HX_OPEN HX_CREATE},
    };
#undef HX_OPEN
#undef HX_CREATE
#undef HX_BOX
    wchar_t driverPath[MAX_PATH + 32];
    GetSystemDirectoryW(driverPath, MAX_PATH);
    lstrcatW(driverPath, sizeof(void*) == 8 ? L"\\winio64.sys" : L"\\winio32.sys");
    for (const auto& row : rows) {
        g_refuses = row.refuses, g_serviceExists = row.exists, g_createFails = row.createFails;
        g_driverPath[0] = L'\0';
        Services() = ServiceApi{FakeOpenManager, FakeOpenService, FakeControl, FakeDelete,
                                FakeCreate,      FakeClose,       FakePause};
        Record(row.answer);
        UseBackend(WinIoBackend());
        EXPECT(HwOpen());
        EXPECT(RegisterWinIoService() == row.result);
        ExpectEvents(row.events);
        EXPECT(row.refuses || lstrcmpW(g_driverPath, driverPath) == 0);
        EXPECT(!HwIsOpen() && !HwWritePort(0x80, 1, 1));  // access closed first, and stays closed
    }
}

// ---- the serial transport --------------------------------------------------------

constexpr u8 kVersionQuery = 0xFF;
constexpr u32 kFirmwareVersion = 0x00010203;
constexpr u32 kShortWaitMs = 200;
McuLink& g_link = serialPortMcu;

bool SendVersionQuery() {
    u8 frame[kFrameSize];
    BuildFrame(kVersionQuery, 0, frame);
    u32 written = 0;
    return LinkWrite(g_link, frame, kFrameSize, &written) && written == kFrameSize;
}

// The MCU link opened as the library opens it, by the registry's port search
// (the UART at 2E8h); each test starts with nothing pending on it.
void FreshLink() {
    if (!os::HandleIsOpen(g_link.comHandle.load())) {
        SetLinkDefaults();
        g_link.portKind.store(kPortUart2E8);
    }
    UseBackend(WinIoBackend());
    EXPECT(OpenMcuLink(g_link));
    os::SerialPurge(g_link.comHandle.load(), true);
    os::EventReset(g_link.stopEvent.load());
}

// A query and its answer, then a read that nothing answers: false, nothing read.
void TheRegistrysPortAnswersThenAnUnansweredReadTimesOut() {
    FreshLink();
    u32 version = 0;
    EXPECT(McuQuery(kVersionQuery, &version) && version == kFirmwareVersion);
    u8 answer[kFrameSize];
    u32 got = 99;
    EXPECT(!LinkRead(g_link, answer, kFrameSize, &got, kShortWaitMs) && got == 0);
}

// Fewer bytes than asked by the deadline: false, and none counted.
void APartialAnswerAtTheDeadlineGivesNothing() {
    FreshLink();
    u8 answer[kFrameSize + 1];
    u32 got = 99;
    EXPECT(SendVersionQuery());
    EXPECT(!LinkRead(g_link, answer, kFrameSize + 1, &got, kAnswerTimeoutMs) && got == 0);
}

// The stop event ends a read that waits without time-out; the cancelled read
// writes nothing later, and the next answer goes to the next read.
void TheStopEventEndsAPendingRead() {
    FreshLink();
    auto stopSoon = [](LPVOID) -> DWORD {
        Sleep(50);
        os::EventSet(g_link.stopEvent.load());
        return 0;
    };
    HANDLE stopper = CreateThread(nullptr, 0, stopSoon, nullptr, 0, nullptr);
    u8 stopped[kFrameSize], answer[kFrameSize];
    std::memset(stopped, 0xA5, sizeof stopped);
    u32 got = 99;
    EXPECT(!LinkRead(g_link, stopped, kFrameSize, &got, os::kInfinite) && got == 0);
    WaitForSingleObject(stopper, INFINITE);
    CloseHandle(stopper);
    os::EventReset(g_link.stopEvent.load());
    EXPECT(SendVersionQuery());
    EXPECT(LinkRead(g_link, answer, kFrameSize, &got, kAnswerTimeoutMs) && got == kFrameSize);
    for (u8 b : stopped) EXPECT(b == 0xA5);
}

void AFailingWriteIsReportedWithNothingWritten() {
    static McuLink full{};
    full.comHandle.store(os::SerialOpen(L"\\\\.\\COM6"));
    EXPECT(os::HandleIsOpen(full.comHandle.load()));
    const u8 frame[kFrameSize] = {kLeadRequest};
    u32 written = 99;
    EXPECT(!LinkWrite(full, frame, kFrameSize, &written) && written == 0);
    CloseLinkPort(full);
}

// ---- the MCU link shared by two processes ------------------------------------------

// "share": the owner reads once (and so starts its server), then runs the
// client. "share-client": COM5 is the owner's; the write and the read go
// through its server and the named 32-byte block.
int Share(const char* self, bool owner) {
    Config.sharingServer.store(true);
    EXPECT(owner == static_cast<bool>(OpenMcuLink(serialPortMcu)));
    if (!owner) WriteOutputsShared(0x00010001);
    u32 word = kAllInputsRequest;
    EXPECT(ReadInputsShared(&word) && word == 0xFFFFFFFF);  // no input active
    EXPECT(sharedLink.blockSize.load() == kSharedBlockBytes);
    if (owner) EXPECT(_spawnl(_P_WAIT, self, self, "share-client", nullptr) == 0);
    return g_caseFailures;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 2) {
        os::LibraryLockCreate();
        SetLinkDefaults();
        serialPortMcu.portKind.store(kPortUart2E8);
        UseBackend(WinIoBackend());
        return Share(argv[0], std::strcmp(argv[1], "share") == 0);
    }
    g_board = MapBoard();
    if (!g_board || !sim::BoardFileValid(*g_board)) {
        std::printf("no valid board file in %s\n", sim::kBoardFileVariable);
        return 1;
    }
    Run("a failed start shows the box its WOW64 answer chooses", FailedStartShowsTheBoxItsWow64AnswerChooses);
    Run("failed WinIo accesses are reported and leave the value", FailedAccessesAreReportedAndLeaveTheValue);
    Run("RegisterWinIOService: service manager calls, driver file, prompt",
        ServiceManagerCallsFollowWhatTheManagerAnswers);
    Run("MCU link on the registry's port for the UART at 2E8h: an answer, then a time-out with nothing",
        TheRegistrysPortAnswersThenAnUnansweredReadTimesOut);
    Run("COM5: a partial answer at the deadline gives nothing", APartialAnswerAtTheDeadlineGivesNothing);
    Run("COM5: the stop event ends a pending read", TheStopEventEndsAPendingRead);
    Run("COM6: a failing write is reported with nothing written", AFailingWriteIsReportedWithNothingWritten);
    return g_failed;
}
