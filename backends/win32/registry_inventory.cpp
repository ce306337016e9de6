#include "backends/win32/registry_inventory.h"

#include <windows.h>

#include <cstring>

namespace hx::os::win32 {
namespace {

constexpr wchar_t kSmbiosKey[] = L"SYSTEM\\CurrentControlSet\\Services\\mssmbios\\Data";
constexpr wchar_t kSmbiosValue[] = L"SMBiosData";
constexpr REGSAM kKeyRead = 0x20019;  // KEY_READ

// Large enough for any SMBIOS table a board's firmware hands Windows.
constexpr DWORD kLargeSmbiosBuffer = 64 * 1024;
BYTE g_largeSmbios[kLargeSmbiosBuffer];

constexpr wchar_t kNtdll[] = L"ntdll.dll";
constexpr char kRtlGetVersion[] = "RtlGetVersion";

// RTL_OSVERSIONINFOEXW, as RtlGetVersion fills it.
struct RtlOsVersionInfoEx {
    ULONG size;
    ULONG majorVersion;
    ULONG minorVersion;
    ULONG buildNumber;
    ULONG platformId;
    WCHAR csdVersion[128];
    USHORT servicePackMajor;
    USHORT servicePackMinor;
    USHORT suiteMask;
    UCHAR productType;
    UCHAR reserved;
};
constexpr ULONG kRtlOsVersionInfoExSize = 284;
static_assert(sizeof(RtlOsVersionInfoEx) == kRtlOsVersionInfoExSize, "RTL_OSVERSIONINFOEXW layout");

using RtlGetVersionFn = LONG(WINAPI*)(RtlOsVersionInfoEx* info);

// Second read of a value too long for the caller's buffer; the first bytes
// of the value go to the caller.
void ReadWholeValue(HKEY key, u8* buffer, u32 capacity, SmbiosRead& r) {
    DWORD type = REG_NONE;
    DWORD length = kLargeSmbiosBuffer;
    if (RegQueryValueExW(key, kSmbiosValue, nullptr, &type, g_largeSmbios, &length) != ERROR_SUCCESS) return;
    r.isBinary = type == REG_BINARY;
    r.reportedLength = length;
    r.writtenLength = length < capacity ? length : capacity;
    std::memcpy(buffer, g_largeSmbios, r.writtenLength);
}

}  // namespace

SmbiosRead ReadRegistrySmbios(u8* buffer, u32 capacity) {
    SmbiosRead r;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSmbiosKey, 0, kKeyRead, &key) != ERROR_SUCCESS) return r;
    r.found = true;
    DWORD type = REG_NONE;
    DWORD length = capacity;
    const LONG status = RegQueryValueExW(key, kSmbiosValue, nullptr, &type, buffer, &length);
    r.isBinary = type == REG_BINARY;
    r.reportedLength = length;
    // ERROR_MORE_DATA leaves the buffer unfilled and reports the full length.
    if (status == ERROR_SUCCESS) {
        r.writtenLength = length;
    } else if (status == ERROR_MORE_DATA) {
        ReadWholeValue(key, buffer, capacity, r);
    }
    RegCloseKey(key);
    return r;
}

u32 RtlMajorVersion() {
    HMODULE ntdll = LoadLibraryW(kNtdll);
    if (!ntdll) return 0;
    u32 major = 0;
    auto rtlGetVersion =
        reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, kRtlGetVersion)));
    if (rtlGetVersion) {
        RtlOsVersionInfoEx info{};
        info.size = kRtlOsVersionInfoExSize;
        rtlGetVersion(&info);
        major = info.majorVersion;
    }
    FreeLibrary(ntdll);
    return major;
}

}  // namespace hx::os::win32
