// Test program run under Wine: loads the 64-bit Halvex32.dll beside it (which
// loads the simulated WinIo64.dll), calls exports by ordinal and by name, and
// reports what the host-side driver checks. The library's internal state is
// read at the addresses that the link map gives (passed in as RVAs).
//
//   probe exports                     77 exports by name = by ordinal; defaults
//   probe state PLATFORM CARD OS      prints platform=KEY card=ID os=N
//   probe refused                     LoadLibrary fails with ERROR_DLL_INIT_FAILED
//   probe shared SHARED               a second process sees the shared words
//   probe service-clear | service | service-existing
//
// Exit code 0 when every check of the command held; the lines printed say
// what failed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "halvex32.h"
#include "probe_exports.h"  // kExportNames, generated from frame/exports.list

namespace {

constexpr wchar_t kLibrary[] = L"Halvex32.dll";
constexpr DWORD kMagic = 0x5AFE0001;
constexpr DWORD kChildSaw = 0x5AFE0002;

int g_failures = 0;

void Check(bool ok, const char* what) {
    if (ok) return;
    std::printf("check failed: %s\n", what);
    ++g_failures;
}

HMODULE Load() {
    HMODULE h = LoadLibraryW(kLibrary);
    if (!h) std::printf("LoadLibrary(Halvex32.dll) failed, error %lu\n", GetLastError());
    return h;
}

template <typename Fn>
Fn* ByName(HMODULE h, const char* name) {
    return reinterpret_cast<Fn*>(reinterpret_cast<void*>(GetProcAddress(h, name)));
}

template <typename Fn>
Fn* ByOrdinal(HMODULE h, WORD ordinal) {
    return reinterpret_cast<Fn*>(reinterpret_cast<void*>(GetProcAddress(h, MAKEINTRESOURCEA(ordinal))));
}

template <typename T>
T* At(HMODULE h, const char* rvaText) {
    return reinterpret_cast<T*>(reinterpret_cast<char*>(h) + std::strtoull(rvaText, nullptr, 16));
}

void HX_CALLBACK DicosCallbackStub(DiEventRecord*) {}
void HX_CALLBACK CanReceivedStub(CanMessage*, uint32_t) {}

// Every name resolves, to the address of the ordinal at its place in the
// list; then a few calls by ordinal and by name on a board without platform.
int Exports() {
    HMODULE h = Load();
    if (!h) return 1;
    for (WORD i = 0; i < kExportCount; ++i) {
        void* byName = reinterpret_cast<void*>(GetProcAddress(h, kExportNames[i]));
        void* byOrdinal = reinterpret_cast<void*>(GetProcAddress(h, MAKEINTRESOURCEA(i + 1)));
        if (!byName || byName != byOrdinal) {
            std::printf("export %s: by name %p, ordinal %u %p\n", kExportNames[i], byName, i + 1, byOrdinal);
            ++g_failures;
        }
    }
    Check(GetProcAddress(h, MAKEINTRESOURCEA(kExportCount + 1)) == nullptr, "no ordinal past the last export");

    Check(ByOrdinal<decltype(RegisterCallbackDICOS)>(h, 15)(DicosCallbackStub) == 1, "RegisterCallbackDICOS (15) returns 1");
    Check(ByName<decltype(CAN_RegisterReceived)>(h, "CAN_RegisterReceived")(1, CanReceivedStub) == 0,
          "CAN_RegisterReceived(1, f) returns 0");
    Check(ByOrdinal<decltype(CAN_RegisterReceived)>(h, 31)(0, CanReceivedStub) == 1, "CAN_RegisterReceived (31) (0, f) returns 1");
    Check(ByName<decltype(SetWDT)>(h, "SetWDT")(10, 1) == 0, "SetWDT(10, 1) without platform returns 0");
    Check(ByOrdinal<decltype(GetStatusPoEPort)>(h, 16)(1) == 0, "GetStatusPoEPort (16) without platform returns 0");
    Check(ByOrdinal<decltype(InitDIO)>(h, 5)() == 0, "InitDIO (5) without platform returns 0");
    Check(ByName<decltype(DIReadPort)>(h, "DIReadPort")() == 0, "DIReadPort without platform returns 0");
    ByOrdinal<decltype(DOWriteLine)>(h, 3)(0, 1);
    Check(ByOrdinal<decltype(DT2_StPull)>(h, 73)(nullptr) == 0, "DT2_StPull (73) (null) returns 0");
    Check(ByName<decltype(GetUnitDTIO)>(h, "GetUnitDTIO")() == 0, "GetUnitDTIO returns 0");
    Check(ByOrdinal<decltype(PCI_GetStatusPoEPort)>(h, 63)(0, 1) == 0, "PCI_GetStatusPoEPort (63) without card returns 0");
    Check(ByOrdinal<decltype(StopDIO)>(h, 77)() == 1, "StopDIO (77) returns 1");
    FreeLibrary(h);
    return g_failures == 0 ? 0 : 1;
}

int State(const char* platformRva, const char* cardRva, const char* osRva) {
    HMODULE h = Load();
    if (!h) return 2;
    const auto* const* platform = At<const char* const*>(h, platformRva);  // first field: model key
    const auto* const* card = At<const char*>(h, cardRva);
    const DWORD os = *At<DWORD>(h, osRva);
    if (*platform) std::printf("platform=%s\n", **platform); else std::printf("platform=none\n");
    // ExpansionCardOps: name, then the PCI identification.
    if (*card) std::printf("card=%08lX\n", *reinterpret_cast<const DWORD*>(*card + sizeof(const char*)));
    else std::printf("card=none\n");
    std::printf("os=%lu\n", os);
    FreeLibrary(h);
    return 0;
}

int Refused() {
    const DWORD start = GetTickCount();
    HMODULE h = LoadLibraryW(kLibrary);
    const DWORD error = GetLastError();
    const DWORD elapsed = GetTickCount() - start;
    std::printf("load: %s, error %lu, %lu ms\n", h ? "loaded" : "refused", error, elapsed);
    Check(h == nullptr, "LoadLibrary returns NULL");
    Check(error == ERROR_DLL_INIT_FAILED, "last error is ERROR_DLL_INIT_FAILED");
    if (h) FreeLibrary(h);
    return g_failures == 0 ? 0 : 1;
}

// The parent writes a mark into the shared words and starts a second process
// of this program that loads the library, finds the mark and answers in the
// same words; then a process started after both have unloaded sees zeros.
int SharedChild(const char* rva) {
    HMODULE h = Load();
    if (!h) return 2;
    DWORD* words = At<DWORD>(h, rva);
    const bool sawMark = words[1] == kMagic;
    words[2] = kChildSaw;
    // Without a platform InitDIO clears DioSharedFlag (word 0) for everyone.
    ByName<decltype(InitDIO)>(h, "InitDIO")();
    FreeLibrary(h);
    return sawMark ? 0 : 3;
}

bool RunSelf(const wchar_t* arguments, DWORD* exitCode) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t line[2 * MAX_PATH];
    swprintf(line, sizeof line / sizeof line[0], L"\"%ls\" %ls", self, arguments);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    WaitForSingleObject(pi.hProcess, 30000);
    GetExitCodeProcess(pi.hProcess, exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

int Shared(const char* rva) {
    HMODULE h = Load();
    if (!h) return 2;
    DWORD* words = At<DWORD>(h, rva);
    Check(words[1] == 0 && words[2] == 0, "the shared words start at zero");
    words[0] = 1;  // DioSharedFlag, as a DIO initialisation elsewhere leaves it
    words[1] = kMagic;
    wchar_t arguments[64];
    swprintf(arguments, 64, L"shared-child %hs", rva);
    DWORD childExit = 99;
    Check(RunSelf(arguments, &childExit), "second process started");
    std::printf("second process exit code %lu\n", childExit);
    Check(childExit == 0, "second process saw the mark");
    Check(words[2] == kChildSaw, "the second process's answer is seen here");
    Check(words[0] == 0, "the second process's InitDIO without platform cleared DioSharedFlag here");
    FreeLibrary(h);
    return g_failures == 0 ? 0 : 1;
}

int SharedFresh(const char* rva) {
    HMODULE h = Load();
    if (!h) return 2;
    const DWORD* words = At<DWORD>(h, rva);
    Check(words[0] == 0 && words[1] == 0 && words[2] == 0 && words[3] == 0,
          "the shared words are zero again once no process had the library loaded");
    FreeLibrary(h);
    return g_failures == 0 ? 0 : 1;
}

// ---- RegisterWinIOService ---------------------------------------------------

constexpr wchar_t kService[] = L"WINIO";

void DeleteWinIoService() {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return;
    if (SC_HANDLE s = OpenServiceW(manager, kService, SERVICE_ALL_ACCESS)) {
        DeleteService(s);
        CloseServiceHandle(s);
    }
    CloseServiceHandle(manager);
}

// A "WINIO" from an older installation: another path, started on demand.
bool CreateOldService() {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return false;
    SC_HANDLE s = CreateServiceW(manager, kService, L"Old WinIo", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                 SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, L"C:\\old\\winio32.sys", nullptr,
                                 nullptr, nullptr, nullptr, nullptr);
    if (s) CloseServiceHandle(s);
    CloseServiceHandle(manager);
    return s != nullptr;
}

void CheckInstalledService() {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE s = manager ? OpenServiceW(manager, kService, SERVICE_QUERY_CONFIG) : nullptr;
    Check(s != nullptr, "service WINIO exists");
    if (s) {
        alignas(QUERY_SERVICE_CONFIGW) BYTE buffer[8192];
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
        DWORD needed = 0;
        Check(QueryServiceConfigW(s, config, sizeof buffer, &needed), "QueryServiceConfig");
        wchar_t expected[1100];
        GetSystemDirectoryW(expected, 1024);
        lstrcatW(expected, L"\\winio32.sys");
        std::printf("type %lu start %lu error %lu path %ls display %ls\n", config->dwServiceType,
                    config->dwStartType, config->dwErrorControl, config->lpBinaryPathName, config->lpDisplayName);
        Check(config->dwServiceType == SERVICE_KERNEL_DRIVER, "kernel driver");
        Check(config->dwStartType == SERVICE_SYSTEM_START, "system start");
        Check(config->dwErrorControl == SERVICE_ERROR_NORMAL, "normal error control");
        Check(lstrcmpiW(config->lpBinaryPathName, expected) == 0, "binary path = system directory + \\winio32.sys");
        Check(lstrcmpW(config->lpDisplayName, L"WINIO") == 0, "display name WINIO");
        CloseServiceHandle(s);
    }
    if (manager) CloseServiceHandle(manager);
}

int Service(bool existing) {
    DeleteWinIoService();
    if (existing) Check(CreateOldService(), "old WINIO service created");
    HMODULE h = Load();
    if (!h) return 2;
    const DWORD start = GetTickCount();
    const uint32_t result = ByOrdinal<decltype(RegisterWinIOService)>(h, 7)();
    const DWORD elapsed = GetTickCount() - start;
    std::printf("RegisterWinIOService = %u after %lu ms\n", result, elapsed);
    Check(result == 1, "RegisterWinIOService returns 1");
    // Replacing an installed service pauses 1000 ms after the stop and 500 ms
    // after the deletion; a fresh installation does not pause.
    if (existing) Check(elapsed >= 1450, "the stop and delete pauses were taken");
    else Check(elapsed < 1000, "no pauses without an installed service");
    CheckInstalledService();
    FreeLibrary(h);
    return g_failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const char* cmd = argc > 1 ? argv[1] : "";
    if (!std::strcmp(cmd, "exports")) return Exports();
    if (!std::strcmp(cmd, "state") && argc == 5) return State(argv[2], argv[3], argv[4]);
    if (!std::strcmp(cmd, "refused")) return Refused();
    if (!std::strcmp(cmd, "shared") && argc == 3) return Shared(argv[2]);
    if (!std::strcmp(cmd, "shared-child") && argc == 3) return SharedChild(argv[2]);
    if (!std::strcmp(cmd, "shared-fresh") && argc == 3) return SharedFresh(argv[2]);
    if (!std::strcmp(cmd, "service-clear")) return DeleteWinIoService(), 0;
    if (!std::strcmp(cmd, "service")) return Service(false);
    if (!std::strcmp(cmd, "service-existing")) return Service(true);
    std::printf("usage: probe exports|state P C O|refused|shared RVA|shared-fresh RVA|service[-existing]|service-clear\n");
    return 64;
}
