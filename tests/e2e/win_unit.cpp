// Unit tests of the Win32 back-end, run under Wine by the Wine stage: the
// message after a failed WinIo start, failures reported by the simulated
// WinIo64.dll, the registry SMBIOS read, the library lock, the service
// manager calls of RegisterWinIOService (recorded), and the serial transport
// on COM5 (the MCU firmware's pseudo-terminal) and COM6 (/dev/full). The
// board file of the simulated WinIo is named by HALVEX_WINIO_BOARD; this
// program maps it too, to arm faults and read the access log.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "backends/win32/registry_inventory.h"
#include "backends/win32/service_api.h"
#include "backends/win32/win32_ui.h"
#include "backends/win32/winio_backend.h"
#include "core/backend.h"
#include "core/hw_access.h"
#include "core/port_kind.h"
#include "mcu/frame.h"
#include "mcu/link.h"
#include "os/os.h"
#include "sim/board.h"
#include "sim/winio/board_file.h"

namespace {

using namespace hx;
using namespace hx::os::win32;
using hx::sim::AccessKind;

int g_passed = 0, g_failed = 0, g_caseFailures = 0;

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
    ++(g_caseFailures ? g_failed : g_passed);
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

// ---- message boxes and the restart, answered here ---------------------------

struct Shown {
    int count;
    wchar_t text[256];
    wchar_t caption[64];
    UINT style;
    HWND owner;
    int answer;
};
Shown g_shown{};
int g_restarts = 0;

int WINAPI RecordMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
    ++g_shown.count;
    lstrcpynW(g_shown.text, text, 256);
    lstrcpynW(g_shown.caption, caption, 64);
    g_shown.style = style;
    g_shown.owner = owner;
    return g_shown.answer;
}
bool RecordRestart() { return ++g_restarts, true; }

void Answer(int answer) {
    g_shown = Shown{};
    g_shown.answer = answer;
    g_restarts = 0;
    Ui().messageBox = RecordMessageBox;
    Ui().requestRestart = RecordRestart;
}

BOOL WINAPI Wow64Yes(HANDLE, PBOOL wow64) { return *wow64 = TRUE, TRUE; }
BOOL WINAPI Wow64CallFails(HANDLE, PBOOL wow64) { return *wow64 = TRUE, FALSE; }  // says TRUE, but failed
IsWow64ProcessFn LookUpWow64Yes() { return Wow64Yes; }
IsWow64ProcessFn LookUpWow64CallFails() { return Wow64CallFails; }
IsWow64ProcessFn LookUpNothing() { return nullptr; }

// The one box of a failed start: the WOW64 text only when IsWow64Process
// exists, succeeds and says so; nothing when the start succeeds.
void FailedStartShowsTheBoxItsWow64AnswerChooses() {
    const struct {
        IsWow64ProcessFn (*lookUp)();
        bool openFails;
        const wchar_t* text;
    } rows[] = {
        {LookUpWow64Yes, true, kWow64Message},
        {LookUpNothing, true, kInitFailedMessage},
        {LookUpWow64CallFails, true, kInitFailedMessage},
        {LookUpIsWow64Process, true, kInitFailedMessage},  // the real one: a 64-bit process is no WOW64 process
        {LookUpWow64Yes, false, nullptr},
    };
    for (const auto& row : rows) {
        g_board->state.faults.openFails = row.openFails;
        Answer(IDOK);
        Ui().lookUpIsWow64Process = row.lookUp;
        EXPECT(WinIoBackend()->hw.open() == !row.openFails);
        EXPECT(g_shown.count == (row.text ? 1 : 0));
        if (!row.text) continue;
        EXPECT(lstrcmpW(g_shown.text, row.text) == 0 && lstrcmpW(g_shown.caption, L"Corvane DIO/WDT") == 0);
        EXPECT(g_shown.style == MB_OK && g_shown.owner == nullptr);
    }
    g_board->state.faults.openFails = false;
}

// ---- WinIo failures and the registry --------------------------------------------

void FailedAccessesAreReportedAndLeaveTheValue() {
    const HwOps& winIo = WinIoBackend()->hw;
    EXPECT(winIo.open());
    sim::AddFault(g_board->state, AccessKind::PortRead, 0x2F);
    sim::AddFault(g_board->state, AccessKind::PhysRead, 0x00100004);
    sim::AddFault(g_board->state, AccessKind::PhysWrite, 0x00100004);
    u32 v = 0x1234;
    EXPECT(!winIo.readPort(0x2F, &v, 1) && !winIo.readPhys32(0x00100004, &v) && v == 0x1234);
    EXPECT(!winIo.writePhys32(0x00100004, 1));
    sim::ClearFaults(g_board->state);
    EXPECT(winIo.readPort(0x2F, &v, 1));
    winIo.close();
    EXPECT(!winIo.writePort(0x80, 1, 1));  // after ShutdownWinIo every access fails
}

bool SetSmbiosValue(DWORD type, const BYTE* data, DWORD length) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\mssmbios\\Data", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr))
        return false;
    const bool ok = RegSetValueExW(key, L"SMBiosData", 0, type, data, length) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

// A value longer than the buffer: its first bytes and its whole length.
void SmbiosValueIsReadUpToTheCapacity() {
    static BYTE pattern[6000], readBack[4096];
    for (DWORD i = 0; i < sizeof pattern; ++i) pattern[i] = static_cast<BYTE>(i * 7 + 3);
    for (const DWORD length : {300ul, 6000ul}) {
        EXPECT(SetSmbiosValue(REG_BINARY, pattern, length));
        std::memset(readBack, 0xEE, sizeof readBack);
        const SmbiosRead r = ReadRegistrySmbios(readBack, 4095);
        const u32 kept = length < 4095 ? length : 4095;
        EXPECT(r.found && r.isBinary && r.reportedLength == length && r.writtenLength == kept);
        EXPECT(std::memcmp(readBack, pattern, kept) == 0 && readBack[kept] == 0xEE);
    }
    EXPECT(SetSmbiosValue(REG_SZ, reinterpret_cast<const BYTE*>(L"Trelo-05"), 18));
    EXPECT(!ReadRegistrySmbios(readBack, 4095).isBinary);
}

// ---- the library lock --------------------------------------------------------

HANDLE g_entered = nullptr;

void LibraryLockIsRecursiveAndExcludesOtherThreads() {
    os::LibraryLockCreate();
    g_entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    os::LibraryLockEnter();
    os::LibraryLockEnter();  // the owner enters again without blocking
    auto enter = [](LPVOID) -> DWORD {
        os::LibraryLockEnter();
        SetEvent(g_entered);
        os::LibraryLockLeave();
        return 0;
    };
    HANDLE other = CreateThread(nullptr, 0, enter, nullptr, 0, nullptr);
    os::LibraryLockLeave();
    EXPECT(WaitForSingleObject(g_entered, 100) == WAIT_TIMEOUT);  // still held once
    os::LibraryLockLeave();
    EXPECT(WaitForSingleObject(g_entered, 5000) == WAIT_OBJECT_0);
    WaitForSingleObject(other, 5000);
    CloseHandle(other);
    CloseHandle(g_entered);
    os::LibraryLockDelete();
}

// ---- RegisterWinIOService's service manager calls, recorded --------------------

struct FakeScm {
    bool refuses, serviceExists, createFails;
    char calls[1024];
    wchar_t driverPath[MAX_PATH + 32];
};
FakeScm g_scm{};
const auto kManager = reinterpret_cast<SC_HANDLE>(0x100);
const auto kOld = reinterpret_cast<SC_HANDLE>(0x200);
const auto kNew = reinterpret_cast<SC_HANDLE>(0x300);

void Note(const char* format, ...) {
    const std::size_t used = std::strlen(g_scm.calls);
    va_list args;
    va_start(args, format);
    std::vsnprintf(g_scm.calls + used, sizeof g_scm.calls - used, format, args);
    va_end(args);
}
const char* Name(SC_HANDLE h) { return h == kManager ? "manager" : h == kOld ? "old" : h == kNew ? "new" : "?"; }

SC_HANDLE WINAPI FakeOpenManager(LPCWSTR machine, LPCWSTR database, DWORD access) {
    Note("open-manager(%s,%s,%lX) ", machine ? "machine" : "local", database ? "database" : "default", access);
    return g_scm.refuses ? nullptr : kManager;
}
SC_HANDLE WINAPI FakeOpenService(SC_HANDLE manager, LPCWSTR name, DWORD access) {
    Note("open-service(%s,%ls,%lX) ", Name(manager), name, access);
    return g_scm.serviceExists ? kOld : nullptr;
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
    lstrcpynW(g_scm.driverPath, path, MAX_PATH + 32);
    return g_scm.createFails ? nullptr : kNew;
}
BOOL WINAPI FakeClose(SC_HANDLE handle) { return Note("close(%s) ", Name(handle)), TRUE; }
void FakePause(unsigned ms) { Note("sleep(%u) ", ms); }

// The pauses are recorded, not taken; the driver file is this build's: the
// 64-bit WinIo64.dll talks to winio64.sys, the 32-bit one to winio32.sys.
void ServiceManagerCallsFollowWhatTheManagerAnswers() {
    const struct {
        bool refuses, exists, createFails;
        int answer;
        u32 result;
        const char* calls;
        int boxes, restarts;
    } rows[] = {
        {false, true, false, IDOK, 1,
         "open-manager(local,default,F003F) open-service(manager,WINIO,F01FF) control(old,1) sleep(1000) delete(old) "
         "sleep(500) close(old) create(manager,WINIO,WINIO,F01FF,1,1,1,no-extras) close(manager) close(new) ",
         1, 1},
        {false, false, false, IDCANCEL, 1,
         "open-manager(local,default,F003F) open-service(manager,WINIO,F01FF) "
         "create(manager,WINIO,WINIO,F01FF,1,1,1,no-extras) close(manager) close(new) ",
         1, 0},
        {true, true, false, IDOK, 0, "open-manager(local,default,F003F) ", 0, 0},
        {false, false, true, IDOK, 0,
         "open-manager(local,default,F003F) open-service(manager,WINIO,F01FF) "
         "create(manager,WINIO,WINIO,F01FF,1,1,1,no-extras) close(manager) ",
         0, 0},
    };
    wchar_t driverPath[MAX_PATH + 32];
    GetSystemDirectoryW(driverPath, MAX_PATH);
    lstrcatW(driverPath, sizeof(void*) == 8 ? L"\\winio64.sys" : L"\\winio32.sys");
    for (const auto& row : rows) {
        g_scm = FakeScm{row.refuses, row.exists, row.createFails, {}, {}};
        Services() = ServiceApi{FakeOpenManager, FakeOpenService, FakeControl, FakeDelete, FakeCreate,
                                FakeClose, FakePause};
        Answer(row.answer);
        UseBackend(WinIoBackend());
        EXPECT(HwOpen());
        EXPECT(RegisterWinIoService() == row.result);
        if (std::strcmp(g_scm.calls, row.calls) != 0) std::printf("  calls: %s\n", g_scm.calls);
        EXPECT(std::strcmp(g_scm.calls, row.calls) == 0);
        EXPECT(row.refuses || lstrcmpW(g_scm.driverPath, driverPath) == 0);
        EXPECT(g_shown.count == row.boxes && g_restarts == row.restarts);
        EXPECT(!row.boxes || (g_shown.style == MB_OKCANCEL &&
                              lstrcmpW(g_shown.text, L"Successfully install the WinIo driver!\n\nClick OK to "
                                                     L"reboot your system to take effect.") == 0));
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

void TheRegistrysPortAnswersTheVersionQuery() {
    FreshLink();
    u32 version = 0;
    EXPECT(McuQuery(kVersionQuery, &version) && version == kFirmwareVersion);
}

void ReadsTheAnswerWholeOrTimesOutWithNothing() {
    FreshLink();
    u8 answer[kFrameSize] = {};
    u32 got = 99;
    EXPECT(!LinkRead(g_link, answer, kFrameSize, &got, kShortWaitMs) && got == 0);
    EXPECT(SendVersionQuery());
    EXPECT(LinkRead(g_link, answer, kFrameSize, &got, kAnswerTimeoutMs) && got == kFrameSize);
    EXPECT(answer[kFrameLead] == kLeadRequest && answer[kFrameCode] == kVersionQuery &&
           answer[kFrameChecksum] == FrameChecksum(answer));
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

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    g_board = MapBoard();
    if (!g_board || !sim::BoardFileValid(*g_board)) {
        std::printf("no valid board file in %s\n0 passed, 1 failed\n", sim::kBoardFileVariable);
        return 1;
    }
    Run("a failed start shows the box its WOW64 answer chooses", FailedStartShowsTheBoxItsWow64AnswerChooses);
    Run("failed WinIo accesses are reported and leave the value", FailedAccessesAreReportedAndLeaveTheValue);
    Run("SMBIOS value is read up to the capacity", SmbiosValueIsReadUpToTheCapacity);
    Run("library lock is recursive and excludes other threads", LibraryLockIsRecursiveAndExcludesOtherThreads);
    Run("RegisterWinIOService: service manager calls, driver file, prompt",
        ServiceManagerCallsFollowWhatTheManagerAnswers);
    Run("MCU link: the registry's port for the UART at 2E8h answers the version query",
        TheRegistrysPortAnswersTheVersionQuery);
    Run("COM5: the answer is read whole; no answer times out with nothing", ReadsTheAnswerWholeOrTimesOutWithNothing);
    Run("COM5: a partial answer at the deadline gives nothing", APartialAnswerAtTheDeadlineGivesNothing);
    Run("COM5: the stop event ends a pending read", TheStopEventEndsAPendingRead);
    Run("COM6: a failing write is reported with nothing written", AFailingWriteIsReportedWithNothingWritten);
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
