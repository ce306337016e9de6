// Unit tests of the Win32 back-end, run under Wine: the message choice after
// a failed WinIo start (with IsWow64Process answered by the test), the WinIo
// calls on the simulated WinIo64.dll, the registry SMBIOS read, the library
// lock, and the prompt and restart request of RegisterWinIOService. The board
// file of the simulated WinIo is named by HALVEX_WINIO_BOARD; this program
// maps it too, to arm faults and read the access log.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "core/backend.h"
#include "core/hw_access.h"
#include "os/os.h"
#include "backends/win32/registry_inventory.h"
#include "backends/win32/service_api.h"
#include "backends/win32/win32_ui.h"
#include "backends/win32/winio_backend.h"
#include "sim/board.h"
#include "sim/winio/board_file.h"

namespace {

using namespace hx;
using namespace hx::os::win32;
using hx::sim::AccessKind;

int g_passed = 0, g_failed = 0;
int g_caseFailures = 0;

#define EXPECT(cond)                                                      \
    do {                                                                  \
        if (!(cond)) {                                                    \
            std::printf("  %s:%d: expected %s\n", __FILE__, __LINE__, #cond); \
            ++g_caseFailures;                                             \
        }                                                                 \
    } while (0)

void Run(const char* name, void (*body)()) {
    g_caseFailures = 0;
    Ui() = DefaultUiHooks();
    Services() = DefaultServiceApi();
    body();
    Ui() = DefaultUiHooks();
    Services() = DefaultServiceApi();
    if (g_caseFailures == 0) {
        ++g_passed;
        std::printf("ok: %s\n", name);
    } else {
        ++g_failed;
        std::printf("FAILED: %s\n", name);
    }
}

// ---- answers in place of the user and the system ---------------------------

struct Shown {
    int count;
    wchar_t text[256];
    wchar_t caption[64];
    UINT style;
    HWND owner;
    int answer;
};
Shown g_shown{};

int WINAPI RecordMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
    ++g_shown.count;
    lstrcpynW(g_shown.text, text, 256);
    lstrcpynW(g_shown.caption, caption, 64);
    g_shown.style = style;
    g_shown.owner = owner;
    return g_shown.answer;
}

void ResetShown(int answer) {
    g_shown = Shown{};
    g_shown.answer = answer;
}

BOOL WINAPI Wow64Yes(HANDLE, PBOOL wow64) { return *wow64 = TRUE, TRUE; }
BOOL WINAPI Wow64No(HANDLE, PBOOL wow64) { return *wow64 = FALSE, TRUE; }
BOOL WINAPI Wow64CallFails(HANDLE, PBOOL wow64) { return *wow64 = TRUE, FALSE; }  // says TRUE, but failed
IsWow64ProcessFn LookUpWow64Yes() { return Wow64Yes; }
IsWow64ProcessFn LookUpNothing() { return nullptr; }

int g_restarts = 0;
bool RecordRestart() { return ++g_restarts, true; }

// ---- the board of the simulated WinIo --------------------------------------

sim::BoardFile* g_board = nullptr;

sim::BoardFile* MapBoard() {
    char path[1024];
    if (!GetEnvironmentVariableA(sim::kBoardFileVariable, path, sizeof path)) return nullptr;
    char windowsPath[1100] = "Z:";
    std::strcat(windowsPath, path);
    for (char* p = windowsPath; *p; ++p) if (*p == '/') *p = '\\';
    HANDLE file = CreateFileA(windowsPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 0, nullptr);
    CloseHandle(file);
    if (!mapping) return nullptr;
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    CloseHandle(mapping);
    return static_cast<sim::BoardFile*>(view);
}

const HwOps& WinIo() { return WinIoBackend()->hw; }

// ---- the message after a failed start ----------------------------------------

void MessageChoiceFollowsTheWow64Answer() {
    EXPECT(OpenFailureMessage(Wow64Yes) == kWow64Message);
    EXPECT(OpenFailureMessage(Wow64No) == kInitFailedMessage);
    EXPECT(OpenFailureMessage(Wow64CallFails) == kInitFailedMessage);
    EXPECT(OpenFailureMessage(nullptr) == kInitFailedMessage);
    // A 64-bit process never runs under WOW64.
    EXPECT(LookUpIsWow64Process() != nullptr);
    EXPECT(OpenFailureMessage(LookUpIsWow64Process()) == kInitFailedMessage);
}

void FailedStartUnderWow64ShowsOnlyTheWow64Box() {
    g_board->state.faults.openFails = true;
    ResetShown(IDOK);
    Ui().messageBox = RecordMessageBox;
    Ui().lookUpIsWow64Process = LookUpWow64Yes;
    EXPECT(!WinIo().open());
    EXPECT(g_shown.count == 1);
    EXPECT(lstrcmpW(g_shown.text, L"No support WOW64, please install 64-bit driver library...") == 0);
    EXPECT(lstrcmpW(g_shown.caption, L"Corvane DIO/WDT") == 0);
    EXPECT(g_shown.style == MB_OK);
    EXPECT(g_shown.owner == nullptr);
}

void FailedStartWithoutIsWow64ProcessShowsTheGenericBox() {
    g_board->state.faults.openFails = true;
    ResetShown(IDOK);
    Ui().messageBox = RecordMessageBox;
    Ui().lookUpIsWow64Process = LookUpNothing;
    EXPECT(!WinIo().open());
    EXPECT(g_shown.count == 1);
    EXPECT(lstrcmpW(g_shown.text, L"WinIO library initialization failed ...") == 0);
    EXPECT(lstrcmpW(g_shown.caption, L"Corvane DIO/WDT") == 0);
    EXPECT(g_shown.style == MB_OK);
}

void SuccessfulStartShowsNothingEvenUnderWow64() {
    g_board->state.faults.openFails = false;
    ResetShown(IDOK);
    Ui().messageBox = RecordMessageBox;
    Ui().lookUpIsWow64Process = LookUpWow64Yes;
    EXPECT(WinIo().open());
    EXPECT(g_shown.count == 0);
}

// ---- the WinIo calls -----------------------------------------------------------

void AccessesReachTheSimulatedWinIoAndReportItsResults() {
    g_board->state.faults.openFails = false;
    EXPECT(WinIo().open());
    sim::ClearAccessLog(g_board->state);
    u32 v = 0;
    EXPECT(WinIo().writePort(0xCF8, 0x80000000, 4));
    EXPECT(WinIo().readPort(0xCFC, &v, 4));
    EXPECT(v == 0xFFFFFFFF);  // nothing on bus 0, device 0
    EXPECT(WinIo().writePhys32(0x00100000, 0xDEADBEEF));
    v = 0;
    EXPECT(WinIo().readPhys32(0x00100000, &v));
    EXPECT(v == 0xDEADBEEF);
    // A failing access returns false and leaves the value alone.
    sim::AddFault(g_board->state, AccessKind::PortRead, 0x2F);
    sim::AddFault(g_board->state, AccessKind::PhysWrite, 0x00100004);
    v = 0x1234;
    EXPECT(!WinIo().readPort(0x2F, &v, 1));
    EXPECT(v == 0x1234);
    EXPECT(!WinIo().writePhys32(0x00100004, 1));
    sim::ClearFaults(g_board->state);

    const sim::AccessLogState& log = g_board->state.log;
    EXPECT(log.count == 6);
    if (log.count == 6) {
        EXPECT(log.entries[0].kind == AccessKind::PortWrite && log.entries[0].address == 0xCF8 &&
               log.entries[0].value == 0x80000000 && log.entries[0].size == 4);
        EXPECT(log.entries[1].kind == AccessKind::PortRead && log.entries[1].address == 0xCFC);
        EXPECT(log.entries[2].kind == AccessKind::PhysWrite && log.entries[2].address == 0x00100000);
        EXPECT(log.entries[4].kind == AccessKind::PortRead && !log.entries[4].ok && log.entries[4].size == 1);
    }
    WinIo().close();
    EXPECT(!WinIo().writePort(0x80, 1, 1));  // after ShutdownWinIo every access fails
}

// ---- SMBIOS from the registry ----------------------------------------------------

constexpr wchar_t kSmbiosKey[] = L"SYSTEM\\CurrentControlSet\\Services\\mssmbios\\Data";

bool SetSmbiosValue(DWORD type, const BYTE* data, DWORD length) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSmbiosKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
        return false;
    const bool ok = RegSetValueExW(key, L"SMBiosData", 0, type, data, length) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

BYTE g_pattern[6000];
BYTE g_readBack[4096];

void SmbiosValueIsReadUpToTheCapacity() {
    for (DWORD i = 0; i < sizeof g_pattern; ++i) g_pattern[i] = static_cast<BYTE>(i * 7 + 3);
    // A short value: delivered whole.
    EXPECT(SetSmbiosValue(REG_BINARY, g_pattern, 300));
    std::memset(g_readBack, 0xEE, sizeof g_readBack);
    SmbiosRead r = ReadRegistrySmbios(g_readBack, 4095);
    EXPECT(r.found && r.isBinary && r.reportedLength == 300 && r.writtenLength == 300);
    EXPECT(std::memcmp(g_readBack, g_pattern, 300) == 0);
    EXPECT(g_readBack[300] == 0xEE);
    // Longer than the buffer: the first 4095 bytes, the whole length reported.
    EXPECT(SetSmbiosValue(REG_BINARY, g_pattern, sizeof g_pattern));
    std::memset(g_readBack, 0xEE, sizeof g_readBack);
    r = ReadRegistrySmbios(g_readBack, 4095);
    EXPECT(r.found && r.isBinary && r.reportedLength == sizeof g_pattern && r.writtenLength == 4095);
    EXPECT(std::memcmp(g_readBack, g_pattern, 4095) == 0);
    EXPECT(g_readBack[4095] == 0xEE);
    // Another type is reported as such.
    EXPECT(SetSmbiosValue(REG_SZ, reinterpret_cast<const BYTE*>(L"Trelo-05"), 18));
    r = ReadRegistrySmbios(g_readBack, 4095);
    EXPECT(r.found && !r.isBinary);
    // No key: nothing found.
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSmbiosKey);
    r = ReadRegistrySmbios(g_readBack, 4095);
    EXPECT(!r.found && r.writtenLength == 0);
}

void OsMajorVersionComesFromRtlGetVersion() {
    const u32 major = RtlMajorVersion();
    std::printf("  RtlGetVersion major %u\n", major);
    EXPECT(major >= 6);
}

// ---- the library lock --------------------------------------------------------------

HANDLE g_entered = nullptr;

DWORD WINAPI EnterFromOtherThread(LPVOID) {
    os::LibraryLockEnter();
    SetEvent(g_entered);
    os::LibraryLockLeave();
    return 0;
}

void LibraryLockIsRecursiveAndExcludesOtherThreads() {
    os::LibraryLockCreate();
    g_entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    os::LibraryLockEnter();
    os::LibraryLockEnter();  // the owner enters again without blocking
    HANDLE other = CreateThread(nullptr, 0, EnterFromOtherThread, nullptr, 0, nullptr);
    EXPECT(WaitForSingleObject(g_entered, 100) == WAIT_TIMEOUT);
    os::LibraryLockLeave();
    EXPECT(WaitForSingleObject(g_entered, 100) == WAIT_TIMEOUT);  // still held once
    os::LibraryLockLeave();
    EXPECT(WaitForSingleObject(g_entered, 2000) == WAIT_OBJECT_0);
    WaitForSingleObject(other, 2000);
    CloseHandle(other);
    CloseHandle(g_entered);
    os::LibraryLockDelete();
}

// ---- RegisterWinIOService's prompt ---------------------------------------------------

void InstalledServiceOffersARestartAndOkRequestsIt() {
    UseBackend(WinIoBackend());
    g_board->state.faults.openFails = false;
    EXPECT(HwOpen());
    sim::ClearAccessLog(g_board->state);
    ResetShown(IDOK);
    g_restarts = 0;
    Ui().messageBox = RecordMessageBox;
    Ui().requestRestart = RecordRestart;
    EXPECT(os::win32::RegisterWinIoService() == 1);
    EXPECT(g_shown.count == 1);
    EXPECT(lstrcmpW(g_shown.text,
                    L"Successfully install the WinIo driver!\n\nClick OK to reboot your system to take effect.") == 0);
    EXPECT(lstrcmpW(g_shown.caption, L"Corvane DIO/WDT") == 0);
    EXPECT(g_shown.style == MB_OKCANCEL);
    EXPECT(g_restarts == 1);
    // Hardware access was closed first and stays closed.
    const sim::AccessLogState& log = g_board->state.log;
    EXPECT(log.count >= 1 && log.entries[0].kind == AccessKind::Close);
    EXPECT(!HwIsOpen());
    EXPECT(!HwWritePort(0x80, 1, 1));
}

void CancelRequestsNoRestart() {
    UseBackend(WinIoBackend());
    ResetShown(IDCANCEL);
    g_restarts = 0;
    Ui().messageBox = RecordMessageBox;
    Ui().requestRestart = RecordRestart;
    EXPECT(os::win32::RegisterWinIoService() == 1);
    EXPECT(g_shown.count == 1);
    EXPECT(g_restarts == 0);
}

// ---- RegisterWinIOService's calls, recorded ------------------------------------

// A service manager that records every call; what it answers is set per test.
struct FakeScm {
    bool refuses;        // OpenSCManager fails
    bool serviceExists;  // "WINIO" is installed
    bool createFails;
    char calls[1024];
};
FakeScm g_scm{};
const auto kManager = reinterpret_cast<SC_HANDLE>(0x100);
const auto kOldService = reinterpret_cast<SC_HANDLE>(0x200);
const auto kNewService = reinterpret_cast<SC_HANDLE>(0x300);

void Call(const char* text) {
    if (g_scm.calls[0]) std::strcat(g_scm.calls, " ");
    std::strcat(g_scm.calls, text);
}

const char* HandleName(SC_HANDLE h) {
    return h == kManager ? "manager" : h == kOldService ? "old" : h == kNewService ? "new" : "?";
}

SC_HANDLE WINAPI FakeOpenManager(LPCWSTR machine, LPCWSTR database, DWORD access) {
    char text[64];
    std::snprintf(text, sizeof text, "open-manager(%s,%s,%lX)", machine ? "machine" : "local",
                  database ? "database" : "default", access);
    Call(text);
    return g_scm.refuses ? nullptr : kManager;
}

SC_HANDLE WINAPI FakeOpenService(SC_HANDLE manager, LPCWSTR name, DWORD access) {
    char text[64];
    std::snprintf(text, sizeof text, "open-service(%s,%ls,%lX)", HandleName(manager), name, access);
    Call(text);
    return g_scm.serviceExists ? kOldService : nullptr;
}

BOOL WINAPI FakeControl(SC_HANDLE service, DWORD control, LPSERVICE_STATUS) {
    char text[64];
    std::snprintf(text, sizeof text, "control(%s,%lu)", HandleName(service), control);
    Call(text);
    return FALSE;  // a driver that is not running cannot be stopped
}

BOOL WINAPI FakeDelete(SC_HANDLE service) {
    char text[64];
    std::snprintf(text, sizeof text, "delete(%s)", HandleName(service));
    Call(text);
    return TRUE;
}

wchar_t g_createdPath[1100];

SC_HANDLE WINAPI FakeCreate(SC_HANDLE manager, LPCWSTR name, LPCWSTR displayName, DWORD access, DWORD type,
                            DWORD start, DWORD errorControl, LPCWSTR binaryPath, LPCWSTR group, LPDWORD tag,
                            LPCWSTR dependencies, LPCWSTR account, LPCWSTR password) {
    char text[128];
    std::snprintf(text, sizeof text, "create(%s,%ls,%ls,%lX,%lu,%lu,%lu,%s)", HandleName(manager), name,
                  displayName, access, type, start, errorControl,
                  group || tag || dependencies || account || password ? "extras" : "no-extras");
    Call(text);
    lstrcpynW(g_createdPath, binaryPath, 1100);
    return g_scm.createFails ? nullptr : kNewService;
}

BOOL WINAPI FakeClose(SC_HANDLE handle) {
    char text[32];
    std::snprintf(text, sizeof text, "close(%s)", HandleName(handle));
    Call(text);
    return TRUE;
}

void FakeSleep(unsigned ms) {
    char text[32];
    std::snprintf(text, sizeof text, "sleep(%u)", ms);
    Call(text);
}

void UseFakeScm(bool refuses, bool serviceExists, bool createFails) {
    g_scm = FakeScm{refuses, serviceExists, createFails, {}};
    Services() = ServiceApi{FakeOpenManager, FakeOpenService, FakeControl, FakeDelete,
                            FakeCreate,      FakeClose,       FakeSleep};
    ResetShown(IDCANCEL);
    Ui().messageBox = RecordMessageBox;
    g_restarts = 0;
    Ui().requestRestart = RecordRestart;
    UseBackend(WinIoBackend());
    g_board->state.faults.openFails = false;
    HwOpen();
    sim::ClearAccessLog(g_board->state);
}

void ExistingServiceIsStoppedAndDeletedWithThePausesBeforeCreation() {
    UseFakeScm(false, true, false);
    EXPECT(os::win32::RegisterWinIoService() == 1);
    const char* expected =
        "open-manager(local,default,F003F) open-service(manager,WINIO,F01FF) control(old,1) sleep(1000) "
        "delete(old) sleep(500) close(old) create(manager,WINIO,WINIO,F01FF,1,1,1,no-extras) close(manager) "
        "close(new)";
    EXPECT(std::strcmp(g_scm.calls, expected) == 0);
    if (std::strcmp(g_scm.calls, expected) != 0) std::printf("  calls: %s\n", g_scm.calls);
    wchar_t path[1100];
    GetSystemDirectoryW(path, 1024);
    lstrcatW(path, L"\\winio32.sys");
    EXPECT(lstrcmpW(g_createdPath, path) == 0);
    EXPECT(g_shown.count == 1 && g_shown.style == MB_OKCANCEL);
    EXPECT(g_board->state.log.count >= 1 && g_board->state.log.entries[0].kind == AccessKind::Close);
}

void FreshInstallationCreatesWithoutPauses() {
    UseFakeScm(false, false, false);
    EXPECT(os::win32::RegisterWinIoService() == 1);
    EXPECT(std::strcmp(g_scm.calls,
                       "open-manager(local,default,F003F) open-service(manager,WINIO,F01FF) "
                       "create(manager,WINIO,WINIO,F01FF,1,1,1,no-extras) close(manager) close(new)") == 0);
    EXPECT(g_shown.count == 1);
}

void RefusingManagerGivesZeroWithoutMessageAndAccessClosed() {
    UseFakeScm(true, true, false);
    EXPECT(os::win32::RegisterWinIoService() == 0);
    EXPECT(std::strcmp(g_scm.calls, "open-manager(local,default,F003F)") == 0);
    EXPECT(g_shown.count == 0);
    EXPECT(!HwIsOpen());
    EXPECT(g_board->state.log.count >= 1 && g_board->state.log.entries[0].kind == AccessKind::Close);
}

void FailedCreationGivesZeroWithoutMessage() {
    UseFakeScm(false, false, true);
    EXPECT(os::win32::RegisterWinIoService() == 0);
    EXPECT(std::strcmp(g_scm.calls,
                       "open-manager(local,default,F003F) open-service(manager,WINIO,F01FF) "
                       "create(manager,WINIO,WINIO,F01FF,1,1,1,no-extras) close(manager)") == 0);
    EXPECT(g_shown.count == 0 && g_restarts == 0);
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    g_board = MapBoard();
    if (!g_board || !sim::BoardFileValid(*g_board)) {
        std::printf("no valid board file in %s\n0 passed, 1 failed\n", sim::kBoardFileVariable);
        return 1;
    }
    Run("message choice follows the WOW64 answer", MessageChoiceFollowsTheWow64Answer);
    Run("failed start under WOW64 shows only the WOW64 box", FailedStartUnderWow64ShowsOnlyTheWow64Box);
    Run("failed start without IsWow64Process shows the generic box", FailedStartWithoutIsWow64ProcessShowsTheGenericBox);
    Run("successful start shows nothing, even under WOW64", SuccessfulStartShowsNothingEvenUnderWow64);
    Run("accesses reach the simulated WinIo and report its results", AccessesReachTheSimulatedWinIoAndReportItsResults);
    Run("SMBIOS value is read up to the capacity", SmbiosValueIsReadUpToTheCapacity);
    Run("OS major version comes from RtlGetVersion", OsMajorVersionComesFromRtlGetVersion);
    Run("library lock is recursive and excludes other threads", LibraryLockIsRecursiveAndExcludesOtherThreads);
    Run("installed service offers a restart; OK requests it", InstalledServiceOffersARestartAndOkRequestsIt);
    Run("Cancel requests no restart", CancelRequestsNoRestart);
    Run("an installed WINIO is stopped and deleted, with the pauses, before creation",
        ExistingServiceIsStoppedAndDeletedWithThePausesBeforeCreation);
    Run("a fresh installation creates without pauses", FreshInstallationCreatesWithoutPauses);
    Run("a refusing service manager: 0, no message, access closed", RefusingManagerGivesZeroWithoutMessageAndAccessClosed);
    Run("a failed creation: 0, no message", FailedCreationGivesZeroWithoutMessage);
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
