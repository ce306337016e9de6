// RegisterWinIOService: installs the WinIo kernel driver, which must already
// be in the system directory, as the service "WINIO", then offers a restart.
#include <windows.h>

#include "core/hw_access.h"
#include "os/os.h"
#include "backends/win32/service_api.h"
#include "backends/win32/win32_ui.h"

namespace hx::os {
namespace win32 {
namespace {

void Pause(unsigned ms) { SleepMs(ms); }

ServiceApi g_services = DefaultServiceApi();

}  // namespace

ServiceApi DefaultServiceApi() {
    return ServiceApi{OpenSCManagerW, OpenServiceW,     ControlService, DeleteService,
                      CreateServiceW, CloseServiceHandle, Pause};
}

ServiceApi& Services() { return g_services; }

}  // namespace win32

namespace {

using win32::Services;

constexpr UINT kSystemDirectoryChars = 1024;
// The driver file of this build's WinIo: a 64-bit process installs the
// 64-bit kernel driver that WinIo64.dll talks to.
#if defined(_WIN64)
constexpr wchar_t kDriverFile[] = L"\\winio64.sys";
#else
constexpr wchar_t kDriverFile[] = L"\\winio32.sys";
#endif
constexpr wchar_t kServiceName[] = L"WINIO";
constexpr wchar_t kDisplayName[] = L"WINIO";
constexpr DWORD kScManagerAllAccess = 0xF003F;  // SC_MANAGER_ALL_ACCESS
constexpr DWORD kServiceAllAccess = 0xF01FF;    // SERVICE_ALL_ACCESS
constexpr DWORD kKernelDriver = 1;              // SERVICE_KERNEL_DRIVER
constexpr DWORD kSystemStart = 1;               // SERVICE_SYSTEM_START
constexpr DWORD kErrorNormal = 1;               // SERVICE_ERROR_NORMAL
constexpr DWORD kControlStop = 1;               // SERVICE_CONTROL_STOP

// Pauses that give the service manager time to stop the old driver and to
// finish deleting its service before the new one takes the name.
constexpr u32 kAfterStopMs = 1000;
constexpr u32 kAfterDeleteMs = 500;

constexpr wchar_t kInstalledMessage[] =
    L"Successfully install the WinIo driver!\n\nClick OK to reboot your system to take effect.";

// The system directory followed by the driver file name; an empty path when
// the directory does not fit (the service would not start from it anyway).
void BuildDriverPath(wchar_t (&path)[kSystemDirectoryChars + sizeof kDriverFile / sizeof(wchar_t)]) {
    path[0] = L'\0';
    const UINT n = GetSystemDirectoryW(path, kSystemDirectoryChars);
    if (n == 0 || n >= kSystemDirectoryChars) {
        path[0] = L'\0';
        return;
    }
    lstrcatW(path, kDriverFile);
}

// An installed "WINIO" is stopped and deleted so that the new one replaces it.
void RemoveExistingService(SC_HANDLE manager) {
    const win32::ServiceApi& scm = Services();
    SC_HANDLE old = scm.openService(manager, kServiceName, kServiceAllAccess);
    if (!old) return;
    SERVICE_STATUS status{};
    scm.control(old, kControlStop, &status);  // a stopped driver refuses; that is fine
    scm.sleepMs(kAfterStopMs);
    scm.remove(old);
    scm.sleepMs(kAfterDeleteMs);
    scm.close(old);
}

}  // namespace

namespace win32 {
u32 RegisterWinIoService() {
    HwClose();  // this process keeps no hardware access from here on

    wchar_t driverPath[kSystemDirectoryChars + sizeof kDriverFile / sizeof(wchar_t)];
    BuildDriverPath(driverPath);

    const win32::ServiceApi& scm = Services();
    SC_HANDLE manager = scm.openManager(nullptr, nullptr, kScManagerAllAccess);
    if (!manager) return 0;
    RemoveExistingService(manager);

    SC_HANDLE service = scm.create(manager, kServiceName, kDisplayName, kServiceAllAccess, kKernelDriver, kSystemStart,
                                   kErrorNormal, driverPath, nullptr, nullptr, nullptr, nullptr, nullptr);
    scm.close(manager);
    if (!service) return 0;
    scm.close(service);

    if (win32::ShowMessage(kInstalledMessage, MB_OKCANCEL) == IDOK) win32::Ui().requestRestart();
    return 1;
}

}  // namespace win32
}  // namespace hx::os
