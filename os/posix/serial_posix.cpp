// POSIX serial ports of the OS seam: termios raw mode, exclusive ownership
// (flock across processes, TIOCEXCL for later opens of the device), reads
// that poll the port together with the link's stop and I/O events.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "os/os.h"
#include "os/posix/wait_posix.h"

namespace hx::os {
namespace {

int Fd(Handle h) { return static_cast<int>(h - 1); }

// Unix98 pseudo-terminal slaves use character majors 136 to 143.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

bool IsPseudoTerminal(int fd) {
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    return m >= kPtySlaveMajorFirst && m <= kPtySlaveMajorLast;
}

bool SpeedFor(u32 baud, speed_t* speed) {
    struct Rate {
        u32 baud;
        speed_t speed;
    };
    static constexpr Rate kRates[] = {
        {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
        {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
    };
    for (const Rate& r : kRates) {
        if (r.baud == baud) {
            *speed = r.speed;
            return true;
        }
    }
    return false;
}

void LowerModemLines(int fd, int lines) {
    // A pseudo-terminal has no modem lines and refuses; nothing to lower.
    (void)ioctl(fd, TIOCMBIC, &lines);
}

}  // namespace

Handle SerialOpen(const PathChar* path) {
    const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return kInvalidHandle;
    // The lock fails while another open description holds the port, in this
    // process or any other; TIOCEXCL turns away later opens of the device by
    // unprivileged programs that do not take the lock.
    if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return kInvalidHandle;
    }
    (void)ioctl(fd, TIOCEXCL);
    return static_cast<Handle>(fd) + 1;
}

bool SerialSetup(Handle port, u32 baud) {
    if (!HandleIsOpen(port)) return false;
    const int fd = Fd(port);
    speed_t speed{};
    termios t{};
    if (!SpeedFor(baud, &speed) || tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | PARMRK);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARODD | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CS8 | PARENB | CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) return false;
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        // A pseudo-terminal carries no parity bit: it drops PARENB on the
        // first request and refuses it with EINVAL afterwards. The frame
        // bytes are the same either way.
        if (errno != EINVAL || !IsPseudoTerminal(fd)) return false;
        t.c_cflag &= ~static_cast<tcflag_t>(PARENB);
        if (tcsetattr(fd, TCSANOW, &t) != 0) return false;
    }
    LowerModemLines(fd, TIOCM_DTR | TIOCM_RTS);
    return true;
}

void SerialResetLine(Handle port) {
    if (!HandleIsOpen(port)) return;
    const int fd = Fd(port);
    // Errors are of no interest here: there is no error state to clear
    // beyond what the purge discards.
    (void)ioctl(fd, TIOCCBRK);
    (void)tcdrain(fd);
    LowerModemLines(fd, TIOCM_RTS);
    (void)tcflush(fd, TCIOFLUSH);
}

// There is no overlapped completion here: the read waits on the port itself,
// so `ioEvent` plays no part. Whoever signals it to end a read (stopping a
// receive thread) has signalled `stopEvent` before it.
bool SerialRead(Handle port, Handle stopEvent, Handle, void* buffer, u32 count, u32* got, u32 timeoutMs) {
    *got = 0;
    if (!HandleIsOpen(port)) return false;
    enum { kStop, kPort, kWaited };
    pollfd fds[kWaited] = {{Fd(stopEvent), POLLIN, 0}, {Fd(port), POLLIN, 0}};
    u8* bytes = static_cast<u8*>(buffer);
    const i64 deadline = timeoutMs == kInfinite ? 0 : MonotonicMs() + timeoutMs;
    // What is waiting already completes the read without looking at the
    // events, as ReadFile completes at once. A raw read with VMIN 0 answers
    // 0 when nothing is waiting; a port that has gone shows in the poll.
    u32 taken = 0;
    const ssize_t first = ::read(Fd(port), bytes, count);
    if (first > 0) taken = static_cast<u32>(first);
    else if (first < 0 && errno != EAGAIN && errno != EINTR) return false;
    while (taken < count) {
        u32 wait = kInfinite;
        if (timeoutMs != kInfinite) {
            const i64 left = deadline - MonotonicMs();
            wait = left > 0 ? static_cast<u32>(left) : 0;
        }
        // Time-out, stop (also when the last bytes came with it), hang-up or
        // error: the bytes taken so far are dropped, like those of a
        // cancelled overlapped read.
        if (PollFor(fds, kWaited, wait) <= 0 || fds[kStop].revents != 0) return false;
        if ((fds[kPort].revents & POLLIN) == 0) return false;
        const ssize_t r = ::read(Fd(port), bytes + taken, count - taken);
        if (r > 0) {
            taken += static_cast<u32>(r);
            continue;
        }
        // End of file: the device has gone away. EAGAIN: a purge took the
        // bytes; wait on.
        if (r == 0 || (errno != EAGAIN && errno != EINTR)) return false;
    }
    *got = taken;
    return true;
}

bool SerialWrite(Handle port, const void* buffer, u32 count, u32* written) {
    *written = 0;
    if (!HandleIsOpen(port)) return false;
    const int fd = Fd(port);
    const u8* bytes = static_cast<const u8*>(buffer);
    while (*written < count) {
        const ssize_t n = ::write(fd, bytes + *written, count - *written);
        if (n > 0) {
            *written += static_cast<u32>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd out{fd, POLLOUT, 0};
            if (PollFor(&out, 1, kInfinite) < 0 || (out.revents & POLLOUT) == 0) return false;
            continue;
        }
        return false;
    }
    return true;
}

void SerialPurge(Handle port, bool output) {
    if (HandleIsOpen(port)) (void)tcflush(Fd(port), output ? TCIOFLUSH : TCIFLUSH);
}

}  // namespace hx::os
