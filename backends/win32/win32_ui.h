// What the Windows back-end shows the user and asks of the system: its two
// kinds of message boxes, the WOW64 question and the restart request. Each
// goes through a replaceable function so that tests can answer in place of
// the user and the system.
#pragma once

#include <windows.h>

namespace hx::os::win32 {

// Every message box of the library carries this caption and has no owner.
inline constexpr wchar_t kCaption[] = L"Corvane DIO/WDT";

using MessageBoxFn = int(WINAPI*)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style);
using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE process, PBOOL wow64);

struct UiHooks {
    MessageBoxFn messageBox;                     // MessageBoxW
    IsWow64ProcessFn (*lookUpIsWow64Process)();  // kernel32's IsWow64Process, or none
    bool (*requestRestart)();                    // asks the system to restart
};

// The hooks in force; tests replace members and restore DefaultUiHooks().
UiHooks& Ui();
UiHooks DefaultUiHooks();

// Shows `text` with the library's caption and no owner window.
int ShowMessage(const wchar_t* text, UINT style);

// IsWow64Process looked up at run time: it is missing from old kernel32s.
IsWow64ProcessFn LookUpIsWow64Process();

// Takes the shutdown privilege and asks for a restart; false when refused.
bool RequestRestart();

}  // namespace hx::os::win32
