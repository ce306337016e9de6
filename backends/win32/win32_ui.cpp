#include "backends/win32/win32_ui.h"

namespace hx::os::win32 {
namespace {

constexpr wchar_t kKernel32[] = L"kernel32";
constexpr char kIsWow64Process[] = "IsWow64Process";
constexpr wchar_t kShutdownPrivilege[] = L"SeShutdownPrivilege";

// A restart asked for by an installer: planned, so the shutdown is logged as
// such and not as an unexpected one.
constexpr DWORD kRestartReason = SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION |
                                 SHTDN_REASON_FLAG_PLANNED;

UiHooks g_hooks = DefaultUiHooks();

bool EnableShutdownPrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool ok = LookupPrivilegeValueW(nullptr, kShutdownPrivilege, &privileges.Privileges[0].Luid) &&
              AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    // AdjustTokenPrivileges succeeds without granting a privilege the
    // account lacks; only the last error tells.
    ok = ok && GetLastError() == ERROR_SUCCESS;
    ::CloseHandle(token);
    return ok;
}

}  // namespace

UiHooks DefaultUiHooks() { return UiHooks{MessageBoxW, LookUpIsWow64Process, RequestRestart}; }

UiHooks& Ui() { return g_hooks; }

int ShowMessage(const wchar_t* text, UINT style) { return g_hooks.messageBox(nullptr, text, kCaption, style); }

IsWow64ProcessFn LookUpIsWow64Process() {
    HMODULE kernel = GetModuleHandleW(kKernel32);
    if (!kernel) return nullptr;
    return reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(GetProcAddress(kernel, kIsWow64Process)));
}

bool RequestRestart() {
    if (!EnableShutdownPrivilege()) return false;
    return ExitWindowsEx(EWX_REBOOT, kRestartReason) != 0;
}

}  // namespace hx::os::win32
