// Entry point of Halvex32.dll. Process attach runs the load sequence on the
// WinIo back-end and returns its result, so a library whose hardware access
// cannot be opened fails to load; process detach runs the unload sequence.
#include <windows.h>

#include "core/backend.h"
#include "frame/lifecycle.h"
#include "backends/win32/winio_backend.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            // No thread notifications: the library keeps no per-thread state.
            DisableThreadLibraryCalls(module);
            hx::UseBackend(hx::os::win32::WinIoBackend());
            return hx::ProcessAttach() ? TRUE : FALSE;
        case DLL_PROCESS_DETACH:
            hx::ProcessDetach();
            return TRUE;
        default:
            return TRUE;
    }
}
