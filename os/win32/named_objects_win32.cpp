// Win32 named objects of the link sharing: kernel events, mutexes and a
// paging-file-backed mapping, opened by name in whichever namespace the name
// gives ("Global\..." or the session's own).
#include <windows.h>

#include "os/os.h"

namespace hx::os {
namespace {

HANDLE H(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle FromHandle(HANDLE h) { return h ? reinterpret_cast<Handle>(h) : kNoHandle; }

// Full access when an existing object is opened by name.
constexpr DWORD kEventAllAccess = EVENT_ALL_ACCESS;  // 1F0003h
constexpr DWORD kMutexAllAccess = MUTEX_ALL_ACCESS;  // 1F0001h
constexpr DWORD kMapAllAccess = FILE_MAP_ALL_ACCESS;  // F001Fh
constexpr wchar_t kGlobalCreatePrivilege[] = L"SeCreateGlobalPrivilege";

// The object names are short ASCII texts.
constexpr u32 kNameChars = 64;
struct WideName {
    wchar_t text[kNameChars];
    explicit WideName(const char* name) {
        u32 i = 0;
        for (; name[i] && i + 1 < kNameChars; ++i) text[i] = static_cast<unsigned char>(name[i]);
        text[i] = L'\0';
    }
};

// Created, or when creation fails because the name exists, opened.
template <typename Create, typename Open>
Handle CreateOrOpen(Create create, Open open) {
    HANDLE h = create();
    if (!h && GetLastError() == ERROR_ALREADY_EXISTS) h = open();
    return FromHandle(h);
}

}  // namespace

Handle NamedEventOpen(const char* name) {
    const WideName w(name);
    return CreateOrOpen([&] { return CreateEventW(nullptr, TRUE, FALSE, w.text); },
                        [&] { return OpenEventW(kEventAllAccess, FALSE, w.text); });
}

Handle NamedMutexOpen(const char* name) {
    const WideName w(name);
    return CreateOrOpen([&] { return CreateMutexW(nullptr, FALSE, w.text); },
                        [&] { return OpenMutexW(kMutexAllAccess, FALSE, w.text); });
}

void NamedObjectClose(Handle object) {
    if (HandleIsOpen(object)) ::CloseHandle(H(object));
}

bool NamedEventSet(Handle event) { return HandleIsOpen(event) && SetEvent(H(event)); }
bool NamedEventReset(Handle event) { return HandleIsOpen(event) && ResetEvent(H(event)); }

bool NamedEventWait(Handle event, u32 timeoutMs) {
    return HandleIsOpen(event) && WaitForSingleObject(H(event), timeoutMs) == WAIT_OBJECT_0;
}

MutexWait NamedMutexLock(Handle mutex, void (*repair)()) {
    if (!HandleIsOpen(mutex)) return MutexWait::Failed;
    switch (WaitForSingleObject(H(mutex), INFINITE)) {
        case WAIT_OBJECT_0: return MutexWait::Acquired;
        case WAIT_ABANDONED:
            if (repair) repair();
            return MutexWait::Abandoned;
        default: return MutexWait::Failed;
    }
}

void NamedMutexUnlock(Handle mutex) {
    if (HandleIsOpen(mutex)) ReleaseMutex(H(mutex));
}

Handle SharedMappingOpen(const char* name, u32 size) {
    const WideName w(name);
    HANDLE h = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, w.text);
    if (h && GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(h);
        h = OpenFileMappingW(kMapAllAccess, FALSE, w.text);
    }
    return FromHandle(h);
}

void* SharedMappingView(Handle mapping, u32 size) {
    return HandleIsOpen(mapping) ? MapViewOfFile(H(mapping), kMapAllAccess, 0, 0, size) : nullptr;
}

void SharedMappingClose(Handle mapping, void* view) {
    if (view) UnmapViewOfFile(view);
    if (HandleIsOpen(mapping)) ::CloseHandle(H(mapping));
}

bool EnableGlobalCreatePrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool enabled = LookupPrivilegeValueW(nullptr, kGlobalCreatePrivilege, &privileges.Privileges[0].Luid) &&
                   AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    // The adjustment succeeds without the privilege when the account lacks it.
    enabled = enabled && GetLastError() != ERROR_NOT_ALL_ASSIGNED;
    ::CloseHandle(token);
    return enabled;
}

bool SharedBlockNumbered() { return false; }

}  // namespace hx::os
