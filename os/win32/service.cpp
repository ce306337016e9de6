// RegisterWinIOService: installs the WinIo kernel driver, which must already
// be in the system directory, as the service "WINIO", then offers a restart.
#include <windows.h>

#include "frame/hw_access.h"
#include "os/os.h"
#include "os/win32/win32_ui.h"

namespace hx::os {
namespace {

constexpr UINT kSystemDirectoryChars = 1024;
constexpr wchar_t kDriverFile[] = L"\\winio32.sys";
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
    SC_HANDLE old = OpenServiceW(manager, kServiceName, kServiceAllAccess);
    if (!old) return;
    SERVICE_STATUS status{};
    ControlService(old, kControlStop, &status);  // a stopped driver refuses; that is fine
    SleepMs(kAfterStopMs);
    DeleteService(old);
    SleepMs(kAfterDeleteMs);
    CloseServiceHandle(old);
}

}  // namespace

u32 RegisterAccessService() {
    HwClose();  // this process keeps no hardware access from here on

    wchar_t driverPath[kSystemDirectoryChars + sizeof kDriverFile / sizeof(wchar_t)];
    BuildDriverPath(driverPath);

    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, kScManagerAllAccess);
    if (!manager) return 0;
    RemoveExistingService(manager);

    SC_HANDLE service = CreateServiceW(manager, kServiceName, kDisplayName, kServiceAllAccess, kKernelDriver,
                                       kSystemStart, kErrorNormal, driverPath, nullptr, nullptr, nullptr,
                                       nullptr, nullptr);
    CloseServiceHandle(manager);
    if (!service) return 0;
    CloseServiceHandle(service);

    if (win32::ShowMessage(kInstalledMessage, MB_OKCANCEL) == IDOK) win32::Ui().requestRestart();
    return 1;
}

}  // namespace hx::os
