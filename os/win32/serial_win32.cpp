// Win32 serial ports of the OS seam: overlapped I/O on a COM port opened
// without sharing, so that exactly one process owns the MCU link.
#include <windows.h>

#include "os/os.h"

namespace hx::os {
namespace {

HANDLE H(Handle h) { return reinterpret_cast<HANDLE>(h); }

constexpr DWORD kDcbLength = 28;
constexpr DWORD kPurgeReceive = PURGE_RXABORT | PURGE_RXCLEAR;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

}  // namespace

Handle SerialOpen(const PathChar* path) {
    HANDLE h = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                           nullptr);
    return h == INVALID_HANDLE_VALUE ? kInvalidHandle : reinterpret_cast<Handle>(h);
}

bool SerialSetup(Handle port, u32 baud) {
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = kDcbLength;
    if (!GetCommState(H(port), &dcb)) return false;
    // Every other flag keeps what the driver reported.
    dcb.BaudRate = baud;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fTXContinueOnXoff = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = 0;
    dcb.ByteSize = 8;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = ONESTOPBIT;
    return SetCommState(H(port), &dcb) != 0;
}

void SerialResetLine(Handle port) {
    HANDLE h = H(port);
    ClearCommError(h, nullptr, nullptr);
    ClearCommBreak(h);
    FlushFileBuffers(h);
    EscapeCommFunction(h, CLRRTS);
    PurgeComm(h, kPurgeAll);
}

bool SerialRead(Handle port, Handle stopEvent, Handle ioEvent, void* buffer, u32 count, u32* got, u32 timeoutMs) {
    OVERLAPPED ov;
    ZeroMemory(&ov, sizeof ov);
    ov.hEvent = H(ioEvent);
    DWORD read = 0;
    const BOOL done = ReadFile(H(port), buffer, count, &read, &ov);
    *got = read;
    if (done) return true;
    if (GetLastError() != ERROR_IO_PENDING) {
        if (read == count) return true;
        *got = 0;
        return false;
    }
    HANDLE pair[2] = {H(stopEvent), H(ioEvent)};
    const DWORD r = WaitForMultipleObjects(2, pair, FALSE, timeoutMs);
    if (r == WAIT_OBJECT_0 + 1) {
        const BOOL ok = GetOverlappedResult(H(port), &ov, &read, FALSE);
        if (ok) {
            *got = read;
            return true;
        }
    }
    // Stop, time-out or failure: the read must not complete later into a
    // buffer and an OVERLAPPED that no longer exist, so it is cancelled and
    // its end awaited here.
    if (CancelIoEx(H(port), &ov) || GetLastError() != ERROR_NOT_FOUND) {
        DWORD ignored = 0;
        GetOverlappedResult(H(port), &ov, &ignored, TRUE);
    }
    *got = 0;
    return false;
}

bool SerialWrite(Handle port, const void* buffer, u32 count, u32* written) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event) return false;
    OVERLAPPED ov;
    ZeroMemory(&ov, sizeof ov);
    ov.hEvent = event;
    DWORD n = 0;
    bool ok = WriteFile(H(port), buffer, count, &n, &ov) != 0;
    if (!ok && GetLastError() == ERROR_IO_PENDING) {
        ok = WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0 && GetOverlappedResult(H(port), &ov, &n, FALSE);
    }
    *written = n;
    ::CloseHandle(event);
    return ok;
}

void SerialPurge(Handle port, bool output) {
    if (HandleIsOpen(port)) PurgeComm(H(port), output ? kPurgeAll : kPurgeReceive);
}

}  // namespace hx::os
