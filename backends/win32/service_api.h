// The service control manager calls that RegisterWinIOService makes, and its
// pauses, through a replaceable table so that tests can record the exact
// sequence and answer as a manager that refuses or fails would.
#pragma once

#include <windows.h>

namespace hx::os::win32 {

struct ServiceApi {
    SC_HANDLE(WINAPI* openManager)(LPCWSTR machine, LPCWSTR database, DWORD access);
    SC_HANDLE(WINAPI* openService)(SC_HANDLE manager, LPCWSTR name, DWORD access);
    BOOL(WINAPI* control)(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status);
    BOOL(WINAPI* remove)(SC_HANDLE service);
    SC_HANDLE(WINAPI* create)(SC_HANDLE manager, LPCWSTR name, LPCWSTR displayName, DWORD access, DWORD type,
                              DWORD start, DWORD errorControl, LPCWSTR binaryPath, LPCWSTR loadOrderGroup,
                              LPDWORD tagId, LPCWSTR dependencies, LPCWSTR account, LPCWSTR password);
    BOOL(WINAPI* close)(SC_HANDLE handle);
    void (*sleepMs)(unsigned ms);
};

// The table in force; tests replace members and restore DefaultServiceApi().
ServiceApi& Services();
ServiceApi DefaultServiceApi();

}  // namespace hx::os::win32
