#include "backends/win32/registry_ports.h"

#include <windows.h>

#include "core/state.h"

namespace hx::os::win32 {
namespace {

static_assert(sizeof(wchar_t) == sizeof(RegChar), "UTF-16 registry text");

constexpr REGSAM kKeyRead = KEY_READ;  // 20019h

const wchar_t* W(const RegChar* s) { return reinterpret_cast<const wchar_t*>(s); }
HKEY K(RegKey key) { return reinterpret_cast<HKEY>(key); }

RegKey OpenKey(const RegChar* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(path), 0, kKeyRead, &key) != ERROR_SUCCESS) return kNoRegKey;
    return reinterpret_cast<RegKey>(key);
}

bool SubKeyCount(RegKey key, u32* count) {
    DWORD n = 0;
    if (RegQueryInfoKeyW(K(key), nullptr, nullptr, nullptr, &n, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    *count = n;
    return true;
}

bool EnumSubKey(RegKey key, u32 index, RegChar* name, u32 capacity) {
    DWORD chars = capacity;
    return RegEnumKeyExW(K(key), index, reinterpret_cast<wchar_t*>(name), &chars, nullptr, nullptr, nullptr,
                         nullptr) == ERROR_SUCCESS;
}

bool QueryValue(RegKey key, const RegChar* name, u8* data, u32* size) {
    DWORD bytes = *size;
    if (RegQueryValueExW(K(key), W(name), nullptr, nullptr, data, &bytes) != ERROR_SUCCESS) return false;
    *size = bytes;
    return true;
}

void CloseKey(RegKey key) { RegCloseKey(K(key)); }

// The open that the link itself makes: read/write, no sharing, overlapped.
bool TestOpen(const RegChar* devicePath) {
    HANDLE h = CreateFileW(W(devicePath), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(h);
    return true;
}

constexpr RegistrySource kRegistry{OpenKey, SubKeyCount, EnumSubKey, QueryValue, CloseKey, TestOpen};

}  // namespace

const RegistrySource& WindowsRegistry() { return kRegistry; }

bool FindMcuPortInRegistry(u32 portKind, wchar_t* path) {
    return RegistryFindMcuPort(kRegistry, OsMajorVersion.load(), portKind, reinterpret_cast<RegChar*>(path)) != 0;
}

}  // namespace hx::os::win32
